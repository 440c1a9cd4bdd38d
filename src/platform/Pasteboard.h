#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

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
    // The same item with each representation encoded only when a program first asks for it
    // (then kept): copying returns at once, and a paste usually wants just one of them. An
    // encoder that gives nothing leaves its type out. By default both are encoded now.
    using Encoder = std::function<QByteArray()>;
    virtual void writeImageOnDemand(Encoder png, Encoder tiff) { writeImage(png(), tiff()); }
    virtual void writeText(const QString& text) = 0;
};

// The general clipboard of the running application (needs a QGuiApplication).
Pasteboard& systemPasteboard();

} // namespace pelorin
