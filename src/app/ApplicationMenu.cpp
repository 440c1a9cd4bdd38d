#include "app/ApplicationMenu.h"

#include "editor/EditorViewModel.h"
#include "ui/EditorWindow.h"

#include <QMenuBar>

namespace pelorin {

QMenuBar* buildApplicationMenu(EditorViewModel& editor, std::function<void()> checkForUpdates, QWidget* parent)
{
    auto* bar = new QMenuBar(parent);
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QAction* newShot = file->addAction(QStringLiteral("New Screenshot"), &editor, &EditorViewModel::captureNewScreenshot);
    newShot->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    file->addSeparator();
    QAction* save = file->addAction(QStringLiteral("Save to Desktop"), &editor, [&editor] { editor.saveViaShortcut(); });
    save->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    QAction* saveAs = file->addAction(QStringLiteral("Save As..."), &editor, [&editor] { editor.saveAs(); });
    saveAs->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    if (auto* window = qobject_cast<EditorWindow*>(parent)) {
        edit->addAction(window->undoAction());
        edit->addAction(window->redoAction());
        edit->addSeparator();
    }
    QAction* copy = edit->addAction(QStringLiteral("Copy to Clipboard"), &editor, [&editor] { editor.copyViaShortcut(); });
    copy->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));

    QMenu* capture = bar->addMenu(QStringLiteral("&Capture"));
    capture->addAction(QStringLiteral("Capture Region"), &editor, &EditorViewModel::captureNewScreenshot);
    capture->addAction(QStringLiteral("Capture Window"), &editor, &EditorViewModel::captureWindow);
    capture->addSeparator();
    capture->addAction(QStringLiteral("Capture Self"), &editor, &EditorViewModel::captureSelf);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Check for Updates…"), bar, [checkForUpdates = std::move(checkForUpdates)] {
        if (checkForUpdates)
            checkForUpdates();
    });

    const auto syncEnabled = [&editor, save, saveAs, copy] {
        for (QAction* action : {save, saveAs, copy})
            action->setEnabled(editor.hasDocument());
    };
    syncEnabled();
    QObject::connect(&editor, &EditorViewModel::documentChanged, bar, syncEnabled);
    return bar;
}

} // namespace pelorin
