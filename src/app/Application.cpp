#include "app/Application.h"

#include "app/AppIcons.h"
#include "app/CommandLine.h"
#include "app/CommandSupport.h"
#include "app/DarkPalette.h"
#include "app/SingleInstance.h"
#include "app/TrayApplication.h"
#include "app/update/ApplicationUpdates.h"
#include "platform/AppPaths.h"
#include "platform/FreedMemory.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace pelorin {

int runPelorin(int argc, char** argv)
{
    if (const std::optional<int> code = runCommandLine(argc, argv))
        return *code;
    if (!haveDisplay()) {
        std::fputs("pelorin: no display (set DISPLAY or WAYLAND_DISPLAY to start the app)\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelorin"));
    QApplication::setApplicationVersion(QStringLiteral(PELORIN_VERSION));
    QApplication::setDesktopFileName(QString::fromLatin1(applicationId));
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList arguments = QApplication::arguments().mid(1);
    const StartArguments start = parseStartArguments(arguments);
    if (!start.error.isEmpty()) {
        std::fprintf(stderr, "pelorin: %s\n", qPrintable(start.error));
        return 2;
    }
    // Each one was named on standard error; a script must not take the run for a success.
    // Nothing starts and nothing is handed over.
    if (!start.notFiles.isEmpty())
        return 2;

    // --capture… comes from a key bound in the compositor: the running app (started here when
    // none runs) captures, and this process ends at once. --pin hands its images over alike.
    const bool capture = !start.capture.isEmpty();
    const bool pin = !start.pins.isEmpty();
    SingleInstance instance;
    if (capture ? instance.sendCaptureRequest(start.capture)
            : pin ? instance.sendPinRequest(start.pins)
                  : instance.sendToRunningInstance(start.files))
        return 0;
    if (!instance.listen())
        std::fputs("pelorin: could not claim the single-instance socket; running anyway\n", stderr);
    returnLargeBlocksWhenFreed();

    // Start-up, in order: a staged update replaces this process before anything else starts;
    // dark appearance, registered defaults, then the shell: global shortcut, tray, editor,
    // clipboard watcher; the quiet update check last.
    SettingsStore& settings = SettingsStore::shared();
    ApplicationUpdates updates(settings);
    if (updates.installPendingUpdate())
        return 0;
    applyDarkAppearance(app);
    QApplication::setWindowIcon(applicationIcon());
    settings.registerDefaults(registeredDefaults());
    TrayApplication shell(settings, NotificationCenter::defaultCenter(), updates);
    QObject::connect(&instance, &SingleInstance::filesReceived, &app, [&shell](const QStringList& received) {
        if (received.isEmpty())
            shell.windows().showEditor();
        else
            shell.openFiles(received);
    });
    const auto startCapture = [](const QVariantMap& request) {
        NotificationCenter::defaultCenter().post(Notifications::triggerCapture, request);
    };
    QObject::connect(&instance, &SingleInstance::captureRequested, &app, startCapture);
    QObject::connect(&instance, &SingleInstance::pinRequested, &app, [&shell](const QStringList& files) { shell.pinFiles(files); });
    shell.start(start.background || capture || pin, start.files);
    if (capture)
        QTimer::singleShot(0, &app, [startCapture, request = start.capture] { startCapture(request); });
    if (pin)
        shell.pinFiles(start.pins);
    updates.autoCheckIfDue();
    return QApplication::exec();
}

} // namespace pelorin
