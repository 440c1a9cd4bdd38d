#include "ui/EditorWindow.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>

namespace pelorin {

EditorWindow::EditorWindow(EditorViewModel& editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
{
    setWindowTitle(QStringLiteral("Pelorin"));
    setAcceptDrops(true);
    resize(1100, 720);
    connect(&m_editor, &EditorViewModel::documentChanged, this, qOverload<>(&QWidget::update));
    connect(&m_editor, &EditorViewModel::canvasTransformChanged, this, qOverload<>(&QWidget::update));
    const auto shortcut = [this](QKeySequence keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, action] {
            if (m_editor.hasDocument())
                (m_editor.*action)();
        });
    };
    shortcut(QKeySequence::Copy, &EditorViewModel::copyViaShortcut);
    shortcut(QKeySequence(QStringLiteral("Ctrl+S")), &EditorViewModel::saveViaShortcut);
    shortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")), &EditorViewModel::saveAs);
    connect(&m_editor, &EditorViewModel::errorMessageChanged, this, [this] {
        const QString message = m_editor.errorMessage();
        if (message.isEmpty())
            return;
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"), message, QMessageBox::Ok, this);
        box.exec();
        m_editor.clearErrorMessage();
    });
}

void EditorWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::canvasBackdrop());
    const auto& document = m_editor.document();
    if (!document) {
        painter.setPen(QColor::fromRgbF(1, 1, 1, 0.85f));
        QFont font = painter.font();
        font.setPointSizeF(15);
        painter.setFont(font);
        painter.drawText(rect().adjusted(0, -20, 0, -20), Qt::AlignCenter, QStringLiteral("Drop an image to get started"));
        font.setPointSizeF(12);
        painter.setFont(font);
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect().adjusted(0, 20, 0, 20), Qt::AlignCenter, QStringLiteral("or capture something new"));
        return;
    }
    const QSizeF size = document->imagePointSize() * m_editor.canvasTransform().zoomLevel;
    const QPointF centre = QPointF(width() / 2.0, height() / 2.0)
        + QPointF(m_editor.canvasTransform().canvasOffset.width(), m_editor.canvasTransform().canvasOffset.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size), document->image);
}

void EditorWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_editor.updateViewportSize(QSizeF(size()));
}

void EditorWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() || event->mimeData()->hasImage())
        event->acceptProposedAction();
}

void EditorWindow::dropEvent(QDropEvent* event)
{
    if (m_editor.handleDroppedFile(*event->mimeData()))
        event->acceptProposedAction();
}

void EditorWindow::closeEvent(QCloseEvent* event)
{
    // The title-bar close only hides the window; the document stays open.
    event->ignore();
    hide();
}

} // namespace pelorin
