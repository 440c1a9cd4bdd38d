#include "app/ApplicationMenu.h"

#include "editor/EditorViewModel.h"
#include "ui/EditorWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QImageReader>
#include <QMenuBar>
#include <QMimeDatabase>
#include <QShortcut>
#include <QStandardPaths>

namespace pelorin {

namespace {

// A file dialog for the images Qt can read; it opens the chosen file without blocking the app.
void chooseImageToOpen(EditorViewModel& editor, QWidget* parent)
{
    auto* dialog = new QFileDialog(parent, QStringLiteral("Open Image"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    QStringList patterns;
    for (const QByteArray& type : QImageReader::supportedMimeTypes())
        patterns << QMimeDatabase().mimeTypeForName(QString::fromLatin1(type)).globPatterns();
    patterns.removeDuplicates();
    dialog->setNameFilters({QStringLiteral("Images (%1)").arg(patterns.join(u' ')), QStringLiteral("All files (*)")});
    dialog->setDirectory(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    QObject::connect(dialog, &QFileDialog::fileSelected, &editor,
                     [&editor](const QString& path) { editor.loadImage(QUrl::fromLocalFile(path)); });
    dialog->open();
}

// Our keys plus the platform's standard ones, each once: a key listed twice on one action is
// ambiguous to Qt, and then does nothing.
QList<QKeySequence> keysWithStandard(const QString& own, QKeySequence::StandardKey standard)
{
    QList<QKeySequence> keys{QKeySequence(own)};
    for (const QKeySequence& key : QKeySequence::keyBindings(standard))
        if (!keys.contains(key))
            keys << key;
    return keys;
}

void callIfSet(const std::function<void()>& action)
{
    if (action)
        action();
}

} // namespace

void quitApplication()
{
    // Qt asks every visible window to close first and gives up when one refuses; the app
    // quits whatever its windows say.
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}

QMenuBar* buildApplicationMenu(EditorViewModel& editor, ApplicationMenuActions actions, QWidget* parent)
{
    auto* bar = new QMenuBar(parent);
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QAction* newShot = file->addAction(QStringLiteral("New Screenshot"), &editor, &EditorViewModel::captureNewScreenshot);
    newShot->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    QAction* open = file->addAction(QStringLiteral("Open…"), bar, [&editor, bar] { chooseImageToOpen(editor, bar->window()); });
    open->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    file->addSeparator();
    QAction* save = file->addAction(QStringLiteral("Save to Desktop"), &editor, [&editor] { editor.saveViaShortcut(); });
    save->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    QAction* saveAs = file->addAction(QStringLiteral("Save As..."), &editor, [&editor] { editor.saveAs(); });
    saveAs->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    QAction* pin = file->addAction(QStringLiteral("Pin to Screen"), bar, [pin = actions.pinToScreen] { callIfSet(pin); });
    pin->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    file->addSeparator();
    QAction* settings = file->addAction(QStringLiteral("Settings…"), bar, [open = actions.openSettings] { callIfSet(open); });
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    settings->setMenuRole(QAction::PreferencesRole);
    QAction* quit = file->addAction(QStringLiteral("Quit"), bar, [quit = actions.quit] { callIfSet(quit); });
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    if (auto* window = qobject_cast<EditorWindow*>(parent)) {
        edit->addAction(window->undoAction());
        edit->addAction(window->redoAction());
        edit->addSeparator();
        edit->addAction(window->pasteAction());
        edit->addAction(window->selectAllAction());
        edit->addAction(window->duplicateAction());
        edit->addSeparator();
    }
    QAction* copy = edit->addAction(QStringLiteral("Copy to Clipboard"), &editor, [&editor] { editor.copyViaShortcut(); });
    copy->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    edit->addSeparator();
    // The way back after a stray Esc or a copy that closed the editor.
    QAction* reopen = edit->addAction(QStringLiteral("Reopen Closed Screenshot"), &editor, &EditorViewModel::reopenClosedDocument);
    reopen->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+T")));

    // Keyboard zoom, as image viewers and editors on Linux have it; Ctrl+= is Ctrl++ without Shift.
    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    QAction* zoomIn = view->addAction(QStringLiteral("Zoom In"), &editor, &EditorViewModel::zoomIn);
    zoomIn->setShortcuts(keysWithStandard(QStringLiteral("Ctrl+="), QKeySequence::ZoomIn));
    QAction* zoomOut = view->addAction(QStringLiteral("Zoom Out"), &editor, &EditorViewModel::zoomOut);
    zoomOut->setShortcuts(keysWithStandard(QStringLiteral("Ctrl+-"), QKeySequence::ZoomOut));
    QAction* fit = view->addAction(QStringLiteral("Zoom to Fit"), &editor, &EditorViewModel::zoomToFit);
    fit->setShortcut(QKeySequence(QStringLiteral("Ctrl+0")));

    QMenu* capture = bar->addMenu(QStringLiteral("&Capture"));
    capture->addAction(QStringLiteral("Capture Region"), &editor, &EditorViewModel::captureNewScreenshot);
    capture->addAction(QStringLiteral("Capture Window"), &editor, &EditorViewModel::captureWindow);
    capture->addAction(QStringLiteral("Capture Full Screen"), &editor, &EditorViewModel::captureFullScreen);
    capture->addAction(QStringLiteral("Capture Last Region"), &editor, &EditorViewModel::captureLastRegion);
    capture->addSeparator();
    capture->addAction(QStringLiteral("Capture Self"), &editor, &EditorViewModel::captureSelf);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Check for Updates…"), bar, [check = actions.checkForUpdates] { callIfSet(check); });

    const auto syncEnabled = [&editor, save, saveAs, pin, copy, zoomIn, zoomOut, fit, reopen] {
        for (QAction* action : {save, saveAs, pin, copy, zoomIn, zoomOut, fit})
            action->setEnabled(editor.hasDocument());
        reopen->setEnabled(editor.hasClosedDocument());
    };
    syncEnabled();
    QObject::connect(&editor, &EditorViewModel::documentChanged, bar, syncEnabled);
    QObject::connect(&editor, &EditorViewModel::closedDocumentChanged, bar, syncEnabled);

    // The window binds Copy, Save and Save As for itself when it has no menu; with the menu,
    // those keys belong to the menu's actions, and a second binding would make both dead.
    if (parent) {
        QList<QKeySequence> menuKeys;
        for (const QAction* top : bar->actions())
            for (const QAction* action : top->menu()->actions())
                menuKeys << action->shortcuts();
        for (QShortcut* duplicate : parent->findChildren<QShortcut*>())
            if (menuKeys.contains(duplicate->key()))
                delete duplicate;
    }
    return bar;
}

} // namespace pelorin
