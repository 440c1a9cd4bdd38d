#include "app/UploadCommand.h"

#include "cloud/KeychainStore.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "upload/UploadFilesCommand.h"
#include "upload/UploadService.h"

#include <QCoreApplication>
#include <QTextStream>

#include <QCoro/QCoroTask>

#include <cstdio>
#include <memory>

namespace pelorin {

namespace {

const char* const usage = R"(Usage: pelorin upload FILE...

Uploads each FILE under its own name to the upload destination chosen in Settings (your own
S3 / R2 bucket, or Pelorin Cloud when signed in) and prints its public link, one per line.
Every upload is added to the upload history.
)";

QCoro::Task<int> run(QStringList files)
{
    // Nothing may escape: an exception would leave the waiting event loop running forever.
    try {
        SettingsStore& settings = SettingsStore::shared();
        settings.registerDefaults(registeredDefaults());
        UploadService& service = UploadService::shared();
        // Only the cloud needs the keyring; a bucket upload should not wake an unlock prompt.
        if (service.currentDestination() == UploadDestination::pelorinCloud)
            co_await KeychainStore::shared().load();
        QTextStream out(stdout);
        QTextStream err(stderr);
        co_return co_await uploadFilesCommand(service, files, out, err);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pelorin upload: %s\n", error.what());
    }
    co_return 1;
}

} // namespace

int runUploadCommand(const QStringList& arguments)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    QStringList files;
    for (const QString& argument : arguments) {
        if (argument.startsWith(u'-') && argument != QLatin1String("-")) {
            std::fprintf(stderr, "pelorin upload: unknown option %s\n", argument.toLocal8Bit().constData());
            return 2;
        }
        files.append(argument);
    }
    if (files.isEmpty()) {
        std::fputs("pelorin upload: no file given (pelorin upload FILE...)\n", stderr);
        return 2;
    }
    // The network and the keyring answer through an event loop; a caller that has none yet
    // gets one for the length of the command.
    std::unique_ptr<QCoreApplication> ownApp;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "pelorin";
        static char* argv[] = {name, nullptr};
        ownApp = std::make_unique<QCoreApplication>(argc, argv);
    }
    return QCoro::waitFor(run(files));
}

} // namespace pelorin
