#include "platform/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace pelorin {

namespace {

class SystemPasteboard : public Pasteboard {
public:
    SystemPasteboard()
    {
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [this] { ++m_changes; });
    }

    int changeCount() const override { return m_changes; }

    QStringList types() const override
    {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data ? data->formats() : QStringList();
    }

    QString text() const override { return QGuiApplication::clipboard()->text(); }

    void clear() override { QGuiApplication::clipboard()->clear(); }

    void writeImage(const QByteArray& png, const QByteArray& tiff) override
    {
        auto* data = new QMimeData;
        if (!png.isEmpty())
            data->setData(QStringLiteral("image/png"), png);
        if (!tiff.isEmpty())
            data->setData(QStringLiteral("image/tiff"), tiff);
        QGuiApplication::clipboard()->setMimeData(data);
    }

    void writeText(const QString& text) override { QGuiApplication::clipboard()->setText(text); }

private:
    int m_changes = 0;
};

} // namespace

Pasteboard& systemPasteboard()
{
    static SystemPasteboard pasteboard;
    return pasteboard;
}

} // namespace pelorin
