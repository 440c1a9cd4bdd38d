#include "app/Application.h"

#include "app/RenderCommand.h"
#include "app/WindowManager.h"
#include "core/Fonts.h"
#include "platform/AppPaths.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "ui/EditorWindow.h"
#include "ui/FileDialogSavePanel.h"

#include <QApplication>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>

namespace pelorin {

namespace {

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int runPelorin(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "render") == 0) {
        // Works without any display: the renderer has its own window-system-free context.
        if (!haveDisplay())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // A command's standard error carries its own message only; Qt's chatter about the
        // session (missing runtime folder and the like) is kept for PELORIN_DEBUG=1.
        if (qEnvironmentVariableIsEmpty("PELORIN_DEBUG"))
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
                if (type == QtCriticalMsg || type == QtFatalMsg)
                    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
            });
        QGuiApplication app(argc, argv);
        return runRenderCommand(QGuiApplication::arguments().mid(2));
    }
    if (!haveDisplay()) {
        std::fputs("pelorin: no display (set DISPLAY or WAYLAND_DISPLAY to start the app)\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelorin"));
    QApplication::setDesktopFileName(QString::fromLatin1(applicationId));
    QApplication::setQuitOnLastWindowClosed(false);
    loadBundledFonts();

    SettingsStore& settings = SettingsStore::shared();
    settings.registerDefaults(registeredDefaults());

    WindowManager windows;
    EditorViewModel editor(settings, NotificationCenter::defaultCenter());
    editor.setWindowHost(&windows);
    EditorWindow window(editor);
    windows.setMainWindow(&window);
    FileDialogSavePanel savePanel(&window);
    editor.setSavePanel(&savePanel);

    for (const QString& argument : QApplication::arguments().mid(1)) {
        if (QFileInfo(argument).isFile())
            NotificationCenter::defaultCenter().post(Notifications::openDroppedFile, QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath()));
    }
    windows.showEditorWindow();
    return QApplication::exec();
}

} // namespace pelorin
