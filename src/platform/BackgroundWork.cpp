#include "platform/BackgroundWork.h"

#include <sys/resource.h>
#include <unistd.h>

namespace pelorin {

QThreadPool& backgroundPool()
{
    static QThreadPool* pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(1);
        return created;
    }();
    return *pool;
}

bool backgroundWorkRunning()
{
    return backgroundPool().activeThreadCount() > 0 || QThreadPool::globalInstance()->activeThreadCount() > 0;
}

void lowerThisThreadsPriority()
{
    // On Linux a nice value belongs to the thread; raising it is allowed, lowering it again
    // is not, which is why the pool has threads of its own.
    thread_local const bool lowered = ::setpriority(PRIO_PROCESS, ::gettid(), 10) == 0;
    (void)lowered;
}

} // namespace pelorin
