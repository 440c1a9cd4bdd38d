#pragma once

#include "app/update/UpdateFeed.h"

#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

namespace pelorin {

struct StagingPlace {
    QUrl siteBase;
    QString stagingRoot;    // $XDG_DATA_HOME/Pelorin/Updates
    QString currentVersion;
};

// Downloads the feed's release archive into <staging root>/<version>/update.tar.gz, unpacks
// it read-only into "mnt", copies the application folder found there to
// <staging root>/<version>/Pelorin and checks that its VERSION is newer than the running
// one. "mnt" is removed again on every path once it was created. Returns the staged folder;
// throws UpdateError with the user-facing message on any failure.
QCoro::Task<QString> stageUpdate(UpdateFeed feed, StagingPlace place);

} // namespace pelorin
