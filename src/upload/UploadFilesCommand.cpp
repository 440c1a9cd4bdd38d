#include "upload/UploadFilesCommand.h"

#include "net/ServiceError.h"
#include "upload/UploadService.h"

#include <QFile>
#include <QFileInfo>

namespace pelorin {

QCoro::Task<int> uploadFilesCommand(UploadService& service, QStringList paths, QTextStream& out, QTextStream& err)
{
    int exitCode = 0;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        QFile file(path);
        QString problem;
        if (!info.exists())
            problem = QStringLiteral("no such file");
        else if (!info.isFile())
            problem = QStringLiteral("not a regular file");
        else if (!file.open(QIODevice::ReadOnly))
            problem = file.errorString();
        if (!problem.isEmpty()) {
            err << "pelorin: cannot read " << path << ": " << problem << Qt::endl;
            exitCode = 1;
            continue;
        }
        const QByteArray data = file.readAll();
        file.close();
        try {
            const UploadedFile uploaded = co_await service.upload(data, info.fileName());
            out << uploaded.publicUrl << Qt::endl;
        } catch (const ServiceError& error) {
            err << "pelorin: " << path << ": " << error.description() << Qt::endl;
            exitCode = 1;
        }
    }
    co_return exitCode;
}

} // namespace pelorin
