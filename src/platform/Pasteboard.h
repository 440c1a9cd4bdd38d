#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pelorin {

// The system clipboard as the app uses it. The change counter moves on every change of the
// clipboard's contents, ours included.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual int changeCount() const = 0;
    virtual QStringList types() const = 0;
    virtual QString text() const = 0;
    virtual void clear() = 0;
    // One clipboard item offering each non-empty representation.
    virtual void writeImage(const QByteArray& png, const QByteArray& tiff) = 0;
    virtual void writeText(const QString& text) = 0;
};

// The general clipboard of the running application (needs a QGuiApplication).
Pasteboard& systemPasteboard();

} // namespace pelorin
