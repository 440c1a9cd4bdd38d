#include "ui/EditorWindow.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"
#include "ui/AnnotationStylePanel.h"
#include "ui/CanvasView.h"
#include "ui/EditorToolbar.h"
#include "ui/AnalysisPanel.h"
#include "platform/WallpaperService.h"
#include "ui/StyleSidebar.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace pelorin {

namespace {

// Only drops the editor can open: image data or files on this machine.
bool isOpenableDrop(const QMimeData* data)
{
    if (data->hasImage())
        return true;
    if (!data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return !urls.isEmpty() && urls.first().isLocalFile();
}

} // namespace

EditorWindow::EditorWindow(EditorViewModel& editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
{
    setWindowTitle(QStringLiteral("Pelorin"));
    setAcceptDrops(true);
    setMinimumSize(760, 520);
    resize(1280, 820);

    // The canvas and the export read the same desktop picture; where it lies is asked again
    // only when the desktop's settings change, not on every show of the editor.
    const std::shared_ptr<WallpaperCache> wallpaper = std::make_shared<WallpaperCache>();
    watchWallpaperSettings(wallpaper, this, QDir::homePath());
    m_editor.setWallpaperProvider([wallpaper] { return wallpaper->picture(); });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_toolbar = new EditorToolbar(editor, this);
    // The whole selection goes, as one step, however many are selected.
    connect(m_toolbar, &EditorToolbar::deleteRequested, &editor, [&editor] { editor.deleteSelection(); });
    column->addWidget(m_toolbar);
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    m_canvas = new CanvasView(editor, this);
    m_canvas->setWallpaperProvider([wallpaper] { return wallpaper->picture(); });
    row->addWidget(m_canvas, 1);
    row->addWidget(new AnalysisPanel(editor, this));
    // The right-hand panel shows the style of the annotation being worked on while there is
    // one, and the framing style otherwise.
    auto* panels = new QStackedWidget(this);
    m_sidebar = new StyleSidebar(editor, [wallpaper](QSize size) { return wallpaper->thumbnail(size); }, panels);
    m_inspector = new AnnotationStylePanel(editor, panels);
    panels->addWidget(m_sidebar);
    panels->addWidget(m_inspector);
    const auto showPanel = [panels, this](bool inspecting) {
        panels->setCurrentWidget(inspecting ? static_cast<QWidget*>(m_inspector) : m_sidebar);
    };
    connect(m_inspector, &AnnotationStylePanel::inspectingChanged, panels, showPanel);
    showPanel(m_inspector->kind().has_value());
    row->addWidget(panels);
    column->addLayout(row, 1);

    installShortcuts();
    connect(&m_editor, &EditorViewModel::errorMessageChanged, this, &EditorWindow::showErrorMessage);
    showErrorMessage();
}

void EditorWindow::installShortcuts()
{
    const auto shortcut = [this](QKeySequence keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, action] {
            if (m_editor.hasDocument())
                (m_editor.*action)();
        });
    };
    // Actions rather than shortcuts: the Edit menu shows these same actions, and a text being
    // typed into keeps Ctrl+Z for itself.
    m_undo = new QAction(QStringLiteral("Undo"), this);
    m_undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    connect(m_undo, &QAction::triggered, &m_editor, &EditorViewModel::undoAnnotationChange);
    m_redo = new QAction(QStringLiteral("Redo"), this);
    m_redo->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
    connect(m_redo, &QAction::triggered, &m_editor, &EditorViewModel::redoAnnotationChange);
    addActions({m_undo, m_redo});
    const auto syncHistory = [this] {
        m_undo->setEnabled(m_editor.canUndoAnnotationChange());
        m_redo->setEnabled(m_editor.canRedoAnnotationChange());
    };
    connect(&m_editor, &EditorViewModel::annotationHistoryChanged, this, syncHistory);
    syncHistory();

    // Like Undo, these leave a text being typed into its own Ctrl+A.
    m_selectAll = new QAction(QStringLiteral("Select All Annotations"), this);
    m_selectAll->setShortcut(QKeySequence::SelectAll);
    connect(m_selectAll, &QAction::triggered, &m_editor, &EditorViewModel::selectAllAnnotations);
    m_duplicate = new QAction(QStringLiteral("Duplicate"), this);
    m_duplicate->setShortcut(QKeySequence(QStringLiteral("Ctrl+D")));
    connect(m_duplicate, &QAction::triggered, &m_editor, &EditorViewModel::duplicateSelection);
    // An image (or an image file) on the clipboard opens as the document, as a drop would.
    m_paste = new QAction(QStringLiteral("Paste Image"), this);
    m_paste->setShortcut(QKeySequence::Paste);
    connect(m_paste, &QAction::triggered, this, [this] {
        if (const QMimeData* held = QGuiApplication::clipboard()->mimeData(); held && isOpenableDrop(held))
            m_editor.handleDroppedFile(*held);
    });
    addActions({m_selectAll, m_duplicate, m_paste});

    shortcut(QKeySequence::Copy, &EditorViewModel::copyViaShortcut);
    shortcut(QKeySequence(QStringLiteral("Ctrl+S")), &EditorViewModel::saveViaShortcut);
    shortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")), &EditorViewModel::saveAs);
}

void EditorWindow::showErrorMessage()
{
    const QString message = m_editor.errorMessage();
    if (message.isEmpty()) {
        if (m_alert)
            m_alert->close();
        return;
    }
    if (m_alert) {
        m_alert->setText(message);
        return;
    }
    // Window-modal and asynchronous: the event loop keeps running while the alert is up.
    m_alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Error"), message, QMessageBox::Ok, this);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    m_alert->setWindowModality(Qt::WindowModal);
    connect(m_alert, &QMessageBox::finished, this, [this] { m_editor.clearErrorMessage(); });
    m_alert->open();
}

void EditorWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::chrome());
}

void EditorWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (isOpenableDrop(event->mimeData()))
        event->acceptProposedAction();
}

void EditorWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (isOpenableDrop(event->mimeData()))
        event->acceptProposedAction();
}

void EditorWindow::dropEvent(QDropEvent* event)
{
    if (m_editor.handleDroppedFile(*event->mimeData()))
        event->acceptProposedAction();
}

void EditorWindow::closeEvent(QCloseEvent* event)
{
    // Accepted, never refused: a window that refuses its close refuses the app's Quit with it.
    // Without delete-on-close, an accepted close only hides the window; the document stays.
    event->accept();
}

} // namespace pelorin
