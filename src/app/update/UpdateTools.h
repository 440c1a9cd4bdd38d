#pragma once

#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

namespace pelorin {

// Runs an external program to its end without blocking the event loop. A failed start
// throws UpdateError with the launcher's message; a non-zero exit throws "<name> failed
// (<status>): <its first line of errors>". Standard output is returned.
QCoro::Task<QByteArray> runTool(QString program, QStringList arguments);

// Whether every member of `tar --list` output stays inside the folder it is unpacked into:
// no absolute path and no ".." component.
bool archiveMembersStayInside(const QByteArray& listing);
// Whether `tar --list --verbose` output holds only folders, files and links: device nodes,
// pipes and other special files have no place in an application folder.
bool archiveMembersAreOrdinary(const QByteArray& verboseListing);

// The names the updater creates in a staging folder (Updates/<version>/): the download, its
// archive, the unpacked image and the staged application folder.
bool isStagingFolder(const QString& folder);
// Whether the staging root is a real folder of its own, not a link leading elsewhere.
bool isOwnStagingRoot(const QString& root);

// Adds or removes write permission on every folder and file below `path` (and `path`
// itself), never following symbolic links out of the tree.
void setTreeWritable(const QString& path, bool writable);

// Removes a folder and everything in it, even when parts of it were made read-only.
// Symbolic links are removed, never followed. True when nothing is left.
bool removeTree(const QString& path);

// Drops the attributes that browsers set on downloads (user.xdg.origin.url,
// user.xdg.referrer.url) from every entry below `path`. Throws UpdateError when an
// attribute is present but cannot be removed.
void clearDownloadMarks(const QString& path);

// The version in a folder's VERSION file (its first line), "0" when there is none.
QString folderVersion(const QString& folder);

// Whether `folder` is an application folder: a VERSION file and bin/pelorin.
bool isApplicationFolder(const QString& folder);

} // namespace pelorin
