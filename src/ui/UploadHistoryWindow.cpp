#include "ui/UploadHistoryWindow.h"

#include "cloud/CloudAPI.h"
#include "net/ServiceError.h"
#include "platform/Pasteboard.h"
#include "ui/Glyphs.h"
#include "ui/UiStyle.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace pelorin {

namespace {

// The outline of a sheet of paper with a folded corner, in a square box.
QPainterPath pagePath(const QRectF& box)
{
    const double w = box.width() * 0.62, h = box.height() * 0.8, fold = w * 0.32;
    const QRectF page(box.center().x() - w / 2, box.center().y() - h / 2, w, h);
    QPainterPath path;
    path.moveTo(page.topLeft());
    path.lineTo(page.right() - fold, page.top());
    path.lineTo(page.right(), page.top() + fold);
    path.lineTo(page.bottomRight());
    path.lineTo(page.bottomLeft());
    path.closeSubpath();
    path.moveTo(page.right() - fold, page.top());
    path.lineTo(page.right() - fold, page.top() + fold);
    path.lineTo(page.right(), page.top() + fold);
    return path;
}

void paintKindIcon(QPainter& p, UploadFileKind kind, const QRectF& box, const QColor& color)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, std::max(1.2, box.width() / 14));
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double s = box.width();
    const QPointF c = box.center();
    switch (kind) {
    case UploadFileKind::photo: {
        const QRectF frame(c.x() - s * 0.4, c.y() - s * 0.3, s * 0.8, s * 0.6);
        p.drawRoundedRect(frame, s * 0.08, s * 0.08);
        QPainterPath hills;
        hills.moveTo(frame.left() + s * 0.06, frame.bottom() - s * 0.06);
        hills.lineTo(frame.left() + s * 0.3, frame.top() + s * 0.28);
        hills.lineTo(frame.left() + s * 0.48, frame.bottom() - s * 0.2);
        hills.lineTo(frame.left() + s * 0.58, frame.top() + s * 0.36);
        hills.lineTo(frame.right() - s * 0.06, frame.bottom() - s * 0.06);
        p.drawPath(hills);
        p.drawEllipse(QPointF(frame.right() - s * 0.2, frame.top() + s * 0.16), s * 0.06, s * 0.06);
        break;
    }
    case UploadFileKind::film: {
        const QRectF frame(c.x() - s * 0.32, c.y() - s * 0.4, s * 0.64, s * 0.8);
        p.drawRoundedRect(frame, s * 0.06, s * 0.06);
        p.drawLine(QPointF(frame.left() + s * 0.16, frame.top()), QPointF(frame.left() + s * 0.16, frame.bottom()));
        p.drawLine(QPointF(frame.right() - s * 0.16, frame.top()), QPointF(frame.right() - s * 0.16, frame.bottom()));
        for (double t : {0.25, 0.5, 0.75}) {
            const double y = frame.top() + frame.height() * t;
            p.drawLine(QPointF(frame.left(), y), QPointF(frame.left() + s * 0.16, y));
            p.drawLine(QPointF(frame.right() - s * 0.16, y), QPointF(frame.right(), y));
        }
        break;
    }
    case UploadFileKind::waveform: {
        const double heights[] = {0.2, 0.45, 0.7, 0.35, 0.6, 0.25};
        for (int i = 0; i < 6; ++i) {
            const double x = c.x() - s * 0.35 + i * s * 0.14;
            p.drawLine(QPointF(x, c.y() - s * heights[i] / 2), QPointF(x, c.y() + s * heights[i] / 2));
        }
        break;
    }
    case UploadFileKind::richText:
    case UploadFileKind::text:
    case UploadFileKind::document: {
        p.drawPath(pagePath(box));
        const double left = c.x() - s * 0.19, right = c.x() + s * 0.19;
        if (kind == UploadFileKind::text) {
            for (double y : {0.0, 0.14, 0.28})
                p.drawLine(QPointF(left, c.y() + y - s * 0.06), QPointF(right, c.y() + y - s * 0.06));
        } else if (kind == UploadFileKind::richText) {
            p.drawRect(QRectF(left, c.y() - s * 0.1, s * 0.16, s * 0.14));
            p.drawLine(QPointF(c.x() + s * 0.03, c.y() - s * 0.06), QPointF(right, c.y() - s * 0.06));
            p.drawLine(QPointF(left, c.y() + s * 0.16), QPointF(right, c.y() + s * 0.16));
        }
        break;
    }
    }
    p.restore();
}

// Two interlocking rounded links, drawn at 45 degrees.
void paintLink(QPainter& p, const QRectF& box, const QColor& color)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(box.center());
    p.rotate(-45);
    const double s = box.width();
    p.setPen(QPen(color, std::max(1.3, s / 11), Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF link(-s * 0.42, -s * 0.14, s * 0.5, s * 0.28);
    p.drawRoundedRect(link, s * 0.14, s * 0.14);
    p.drawRoundedRect(link.translated(s * 0.34, 0), s * 0.14, s * 0.14);
    p.restore();
}

// A small borderless icon button of a history row.
class RowButton : public QAbstractButton {
public:
    enum class Icon { link, checkmark, trash };

    RowButton(Icon icon, const QString& help, QWidget* parent = nullptr)
        : QAbstractButton(parent)
        , m_icon(icon)
    {
        setToolTip(help);
        setAccessibleName(help);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(28, 28);
        setAttribute(Qt::WA_Hover);
    }
    void setIcon(Icon icon)
    {
        m_icon = icon;
        update();
    }
    Icon icon() const { return m_icon; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (isEnabled() && (underMouse() || isDown())) {
            QColor fill = palette().color(QPalette::WindowText);
            fill.setAlphaF(isDown() ? 0.16f : 0.09f);
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawRoundedRect(QRectF(rect()), 6, 6);
        }
        QColor color = m_icon == Icon::checkmark ? QColor(48, 209, 88) : palette().color(QPalette::PlaceholderText);
        if (!isEnabled())
            color.setAlphaF(0.4f);
        const QRectF box = QRectF(rect()).adjusted(7, 7, -7, -7);
        switch (m_icon) {
        case Icon::link:
            paintLink(p, box, color);
            break;
        case Icon::checkmark:
            paintGlyph(p, Glyph::checkmark, box, color);
            break;
        case Icon::trash:
            paintGlyph(p, Glyph::trash, box, color);
            break;
        }
    }

private:
    Icon m_icon;
};

class KindIcon : public QWidget {
public:
    KindIcon(UploadFileKind kind, QWidget* parent = nullptr)
        : QWidget(parent)
        , m_kind(kind)
    {
        setFixedSize(30, 30);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        paintKindIcon(p, m_kind, QRectF(rect()).adjusted(3, 3, -3, -3), palette().color(QPalette::Highlight));
    }

private:
    UploadFileKind m_kind;
};

QString errorText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ServiceError& e) {
        return e.description();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("An unknown error occurred.");
    }
}

} // namespace

void MessageBoxHistoryAlerts::warning(const QString& message, const QString& informativeText)
{
    // Window-modal and opened, not exec()'d: no nested event loop under the caller's task.
    auto* box = new QMessageBox(QMessageBox::Warning, message, message, QMessageBox::Ok, m_parent);
    box->setInformativeText(informativeText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(m_parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

UploadFileKind uploadFileKind(const QString& fileName)
{
    const QString type = UploadService::mimeType(fileName);
    if (type.startsWith(QLatin1String("image/")))
        return UploadFileKind::photo;
    if (type.startsWith(QLatin1String("video/")))
        return UploadFileKind::film;
    if (type.startsWith(QLatin1String("audio/")))
        return UploadFileKind::waveform;
    if (type == QLatin1String("application/pdf"))
        return UploadFileKind::richText;
    if (type.startsWith(QLatin1String("text/")))
        return UploadFileKind::text;
    return UploadFileKind::document;
}

QString uploadDetailText(const UploadedFile& file)
{
    const QLocale locale;
    const QDateTime local = file.uploadDate.toLocalTime();
    const QString date = locale.toString(local.date(), QStringLiteral("d MMM yyyy")) + QStringLiteral(", ")
                         + locale.toString(local.time(), QLocale::ShortFormat);
    return date + QStringLiteral("  ·  ") + locale.formattedDataSize(file.fileSize, 1, QLocale::DataSizeSIFormat);
}

// ---------------------------------------------------------------------------------------------

UploadHistoryRow::UploadHistoryRow(const UploadedFile& file, const UploadHistoryServices& services, QWidget* parent)
    : QWidget(parent)
    , m_file(file)
    , m_services(services)
{
    setAttribute(Qt::WA_Hover);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 8, 6);
    layout->setSpacing(10);
    layout->addWidget(new KindIcon(uploadFileKind(file.fileName)));

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* name = new QLabel;
    name->setFont(uiFont(13, QFont::Medium));
    // One line: long names are elided in the middle so the extension stays readable.
    name->setText(name->fontMetrics().elidedText(file.fileName, Qt::ElideMiddle, 260));
    name->setToolTip(file.fileName);
    m_detail = new QLabel(uploadDetailText(file));
    m_detail->setFont(uiFont(11));
    m_detail->setForegroundRole(QPalette::PlaceholderText);
    text->addWidget(name);
    text->addWidget(m_detail);
    layout->addLayout(text, 1);

    auto* copy = new RowButton(RowButton::Icon::link, QStringLiteral("Copy URL"));
    auto* remove = new RowButton(RowButton::Icon::trash, QStringLiteral("Delete from storage"));
    m_copy = copy;
    m_delete = remove;
    layout->addWidget(copy);
    layout->addWidget(remove);
    connect(copy, &QAbstractButton::clicked, this, [this] { copyLink(); });
    connect(remove, &QAbstractButton::clicked, this, [this] { deleteFile(); });
}

QString UploadHistoryRow::detailText() const
{
    return m_detail->text();
}

QCoro::Task<void> UploadHistoryRow::copyLink()
{
    // The row can go while the link is fetched (the entry deleted, the window rebuilt); the
    // services outlive it, so the copy still happens, only the flash is skipped.
    const QPointer<UploadHistoryRow> self(this);
    const UploadedFile file = m_file;
    Pasteboard& pasteboard = m_services.pasteboard;
    QString text = file.publicUrl;
    if (file.isCloud()) {
        try {
            const QUrl link = co_await m_services.cloud.objectLink(file.key, cloudLinkSeconds);
            text = link.toString(QUrl::FullyEncoded);
        } catch (...) {
            // Signed out or offline: the stored link is the best we have.
        }
    }
    pasteboard.clear();
    pasteboard.writeText(text);
    if (self)
        self->flashCopied();
}

void UploadHistoryRow::flashCopied()
{
    const int token = ++m_copyFlashToken;
    m_showsCopied = true;
    static_cast<RowButton*>(m_copy)->setIcon(RowButton::Icon::checkmark);
    QTimer::singleShot(copiedFlashMs, this, [this, token] {
        if (token != m_copyFlashToken)
            return;
        m_showsCopied = false;
        static_cast<RowButton*>(m_copy)->setIcon(RowButton::Icon::link);
    });
}

QCoro::Task<void> UploadHistoryRow::deleteFile()
{
    if (m_isDeleting)
        co_return;
    const QPointer<UploadHistoryRow> self(this);
    HistoryAlerts& alerts = m_services.alerts;
    m_isDeleting = true;
    m_delete->setEnabled(false);
    std::exception_ptr failure;
    try {
        co_await m_services.uploads.deleteFile(m_file);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure)
        co_return; // the store dropped the entry; the window removes the row
    if (self) {
        self->m_isDeleting = false;
        self->m_delete->setEnabled(true);
    }
    alerts.warning(QStringLiteral("Delete Failed"), errorText(failure));
}

void UploadHistoryRow::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QWidget::enterEvent(event);
}

void UploadHistoryRow::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QWidget::leaveEvent(event);
}

void UploadHistoryRow::paintEvent(QPaintEvent*)
{
    if (!m_hovered)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(0.06f);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(2, 1, -2, -1), 8, 8);
}

// ---------------------------------------------------------------------------------------------

UploadHistoryWindow::UploadHistoryWindow(const UploadHistoryServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint)
    , m_services(services)
{
    setWindowTitle(QStringLiteral("Uploads"));
    resize(420, 380);
    setAcceptDrops(true);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget;
    outer->addWidget(m_pages);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    m_list = new QVBoxLayout(content);
    m_list->setContentsMargins(8, 8, 8, 8);
    m_list->setSpacing(2);
    m_list->addStretch();
    scroll->setWidget(content);
    m_pages->addWidget(scroll);

    auto* empty = new QWidget;
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addStretch();
    auto* title = new QLabel(QStringLiteral("No uploads yet"));
    title->setFont(uiFont(15, QFont::DemiBold));
    title->setAlignment(Qt::AlignCenter);
    // Dropped images open in the editor rather than upload, so the hint does not promise
    // that every dropped file is uploaded.
    auto* hint = new QLabel(QStringLiteral("Screenshots upload when you copy or save them.\n"
                                           "Drop other files here to upload them."));
    hint->setFont(uiFont(12));
    hint->setAlignment(Qt::AlignCenter);
    hint->setForegroundRole(QPalette::PlaceholderText);
    emptyLayout->addWidget(title);
    emptyLayout->addWidget(hint);
    emptyLayout->addStretch();
    m_pages->addWidget(empty);

    connect(&m_services.history, &UploadHistoryStore::filesChanged, this, &UploadHistoryWindow::rebuild);
    rebuild();
}

void UploadHistoryWindow::present()
{
    if (!isVisible() && !property("placed").toBool()) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        setProperty("placed", true);
    }
    show();
    raise();
    activateWindow();
}

QList<UploadHistoryRow*> UploadHistoryWindow::rows() const
{
    QList<UploadHistoryRow*> rows;
    for (int i = 0; i < m_list->count(); ++i)
        if (auto* row = qobject_cast<UploadHistoryRow*>(m_list->itemAt(i)->widget()))
            rows << row;
    return rows;
}

bool UploadHistoryWindow::showsEmptyState() const
{
    return m_pages->currentIndex() == 1;
}

void UploadHistoryWindow::rebuild()
{
    // Keep the rows of entries that are still listed, so a check mark or a running delete
    // of one row survives a change elsewhere in the list.
    QList<UploadHistoryRow*> old = rows();
    for (UploadHistoryRow* row : old)
        m_list->removeWidget(row);
    const QList<UploadedFile>& files = m_services.history.files();
    int at = 0;
    for (const UploadedFile& file : files) {
        auto reuse = std::find_if(old.begin(), old.end(), [&](UploadHistoryRow* row) { return row->file() == file; });
        UploadHistoryRow* row = nullptr;
        if (reuse != old.end()) {
            row = *reuse;
            old.erase(reuse);
        } else {
            row = new UploadHistoryRow(file, m_services);
        }
        m_list->insertWidget(at++, row);
    }
    for (UploadHistoryRow* row : old) {
        row->hide();
        row->deleteLater();
    }
    m_pages->setCurrentIndex(files.isEmpty() ? 1 : 0);
}

void UploadHistoryWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void UploadHistoryWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty() || !m_onDrop) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // After the drop returns: the handler may raise alerts or other windows.
    QTimer::singleShot(0, this, [handler = m_onDrop, paths] { handler(paths); });
}

} // namespace pelorin
