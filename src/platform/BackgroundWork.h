#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent>

#include <utility>

namespace pelorin {

// Work nobody waits for (the last screenshot's file, the wallpaper's thumbnail) runs on one
// thread of its own at a lower priority, so it does not take the processor from what the user
// waits for: the editor decoding, uploading and drawing a screenshot.
QThreadPool& backgroundPool();
void lowerThisThreadsPriority();
// Whether this pool or the shared one still runs or holds work.
bool backgroundWorkRunning();

template <typename Function>
auto runInBackground(Function function)
{
    return QtConcurrent::run(&backgroundPool(), [function = std::move(function)]() mutable {
        lowerThisThreadsPriority();
        return function();
    });
}

} // namespace pelorin
