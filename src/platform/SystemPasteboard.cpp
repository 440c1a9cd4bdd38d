#include "platform/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <array>

namespace pelorin {

namespace {

// Clipboard data whose image types are encoded on the first request for each.
class OnDemandImageData : public QMimeData {
public:
    OnDemandImageData(Pasteboard::Encoder png, Pasteboard::Encoder tiff)
        : m_types{{{QStringLiteral("image/png"), std::move(png), {}, false},
                   {QStringLiteral("image/tiff"), std::move(tiff), {}, false}}}
    {
    }

    QStringList formats() const override
    {
        QStringList names;
        for (const Type& type : m_types)
            if (!type.made || !type.bytes.isEmpty())
                names << type.name;
        return names;
    }

    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType) const override
    {
        for (Type& type : m_types) {
            if (type.name != mimeType)
                continue;
            if (!type.made) {
                type.bytes = type.encode();
                type.made = true;
                type.encode = nullptr; // lets go of the image once both are made
            }
            return type.bytes.isEmpty() ? QVariant() : QVariant(type.bytes);
        }
        return {};
    }

private:
    struct Type {
        QString name;
        Pasteboard::Encoder encode;
        QByteArray bytes;
        bool made;
    };
    mutable std::array<Type, 2> m_types;
};

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

    void writeImageOnDemand(Encoder png, Encoder tiff) override
    {
        QGuiApplication::clipboard()->setMimeData(new OnDemandImageData(std::move(png), std::move(tiff)));
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
