#include "ui/PinWindow.h"

#include "editor/FileExportService.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace pelorin {

PinWindow::PinWindow(QImage image, Pasteboard& pasteboard)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_image(std::move(image))
    , m_clipboard(pasteboard)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Pinned Screenshot"));
    setToolTip(QStringLiteral("Drag to move · wheel to zoom · Ctrl+wheel for opacity · Esc to close"));
    setCursor(Qt::OpenHandCursor);
    setZoom(1.0);
}

void PinWindow::setZoom(double zoom)
{
    // From a thumbnail to four times the point size; never so small it cannot be grabbed.
    m_zoom = std::clamp(zoom, 0.1, 4.0);
    const QSizeF points = QSizeF(m_image.size()) / std::max(0.01, m_image.devicePixelRatio());
    const QSize size(std::max(16, qRound(points.width() * m_zoom)), std::max(16, qRound(points.height() * m_zoom)));
    // Zoom about the middle, so the pin stays where the eye is.
    const QPoint middle = geometry().center();
    resize(size);
    if (isVisible())
        move(middle - QPoint(size.width() / 2, size.height() / 2));
}

void PinWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_zoom != 1.0);
    painter.drawImage(rect(), m_image);
    // A hairline tells the pin from the screen behind it when their edges look alike.
    painter.setPen(QColor(122, 104, 246, 160));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void PinWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_grab = event->position().toPoint();
}

void PinWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        move(event->globalPosition().toPoint() - m_grab);
}

void PinWindow::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (event->modifiers() & Qt::ControlModifier)
        setWindowOpacity(std::clamp(windowOpacity() + 0.1 * steps, 0.2, 1.0));
    else
        setZoom(m_zoom * std::pow(1.1, steps));
}

void PinWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else if (event->matches(QKeySequence::Copy))
        m_clipboard.copyImageToClipboard(m_image);
    else
        QWidget::keyPressEvent(event);
}

void PinWindow::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Copy"), this, [this] { m_clipboard.copyImageToClipboard(m_image); });
    menu->addAction(QStringLiteral("Save As…"), this, [this] { saveAs(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Close"), this, &QWidget::close);
    menu->popup(event->globalPos());
}

void PinWindow::saveAs()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    auto* dialog = new QFileDialog(this, QStringLiteral("Save Pinned Screenshot"), folder + QStringLiteral("/Pinned Screenshot.png"),
                                   QStringLiteral("Images (*.png *.jpg *.jpeg *.tif *.tiff)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        try {
            FileExportService::saveImage(m_image, path);
        } catch (const ExportError& error) {
            QMessageBox::warning(this, QStringLiteral("Pelorin"), QStringLiteral("Failed to save: ") + error.description());
        }
    });
    dialog->open();
}

} // namespace pelorin
