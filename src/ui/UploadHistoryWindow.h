#pragma once

#include "upload/UploadedFile.h"

#include <QWidget>

#include <QCoro/QCoroTask>

#include <functional>

class QLabel;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace pelorin {

class CloudAPI;
class Pasteboard;
class UploadHistoryStore;
class UploadService;

// Warnings of the history window, behind an interface so tests can answer them.
class HistoryAlerts {
public:
    virtual ~HistoryAlerts() = default;
    virtual void warning(const QString& message, const QString& informativeText) = 0;
};

// A modal warning box over the given window.
class MessageBoxHistoryAlerts final : public HistoryAlerts {
public:
    explicit MessageBoxHistoryAlerts(QWidget* parent = nullptr)
        : m_parent(parent)
    {
    }
    void setParent(QWidget* parent) { m_parent = parent; }
    void warning(const QString& message, const QString& informativeText) override;

private:
    QWidget* m_parent;
};

// What the rows need from the rest of the app.
struct UploadHistoryServices {
    UploadHistoryStore& history;
    UploadService& uploads;
    CloudAPI& cloud;
    Pasteboard& pasteboard;
    HistoryAlerts& alerts;
};

// The kind of file a row's icon shows, by the content type of its name.
enum class UploadFileKind { photo, film, waveform, richText, text, document };
UploadFileKind uploadFileKind(const QString& fileName);

// "date  ·  size" under a row's name.
QString uploadDetailText(const UploadedFile& file);

// One history entry with its copy-link and delete buttons.
class UploadHistoryRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int copiedFlashMs = 1200;
    static constexpr qint64 cloudLinkSeconds = 7 * 24 * 60 * 60;

    UploadHistoryRow(const UploadedFile& file, const UploadHistoryServices& services, QWidget* parent = nullptr);

    const UploadedFile& file() const { return m_file; }
    bool showsCopied() const { return m_showsCopied; }
    bool isDeleting() const { return m_isDeleting; }
    QWidget* copyButton() const { return m_copy; }
    QWidget* deleteButton() const { return m_delete; }
    QString detailText() const;

    // A fresh week-long link for cloud entries, the stored link otherwise or on any failure;
    // then the check mark, held until 1.2 s after the latest copy.
    QCoro::Task<void> copyLink();
    // Deletes the object; the store drops the entry on success. A failure is shown.
    QCoro::Task<void> deleteFile();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void flashCopied();

    UploadedFile m_file;
    UploadHistoryServices m_services;
    QWidget* m_copy = nullptr;
    QWidget* m_delete = nullptr;
    QLabel* m_detail = nullptr;
    bool m_hovered = false;
    bool m_showsCopied = false;
    int m_copyFlashToken = 0;
    bool m_isDeleting = false;
};

// The "Uploads" window: every upload, newest first, or an empty state. Files dropped on it
// go to the drop handler (images open in the editor, others upload).
class UploadHistoryWindow : public QWidget {
    Q_OBJECT
public:
    explicit UploadHistoryWindow(const UploadHistoryServices& services, QWidget* parent = nullptr);

    void setDropHandler(std::function<void(const QStringList& paths)> handler) { m_onDrop = std::move(handler); }

    // Shows, raises and activates the window; it is created once and only hidden on close.
    void present();

    QList<UploadHistoryRow*> rows() const;
    bool showsEmptyState() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void rebuild();

    UploadHistoryServices m_services;
    QStackedWidget* m_pages = nullptr;
    QVBoxLayout* m_list = nullptr;
    std::function<void(const QStringList&)> m_onDrop;
};

} // namespace pelorin
