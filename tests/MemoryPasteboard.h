#pragma once

#include "platform/Pasteboard.h"

namespace pelorin::test {

// A clipboard of our own: what was last written, and how often it changed.
class MemoryPasteboard : public Pasteboard {
public:
    int changes = 0;
    QByteArray png, tiff;
    QString string;

    int changeCount() const override { return changes; }
    // Only the code that looks at copied text asks for the types.
    QStringList types() const override { return string.isEmpty() ? QStringList() : QStringList{QStringLiteral("text/plain")}; }
    QString text() const override { return string; }
    void clear() override
    {
        png.clear();
        tiff.clear();
        string.clear();
        ++changes;
    }
    void writeImage(const QByteArray& p, const QByteArray& t) override
    {
        png = p;
        tiff = t;
        ++changes;
    }
    void writeText(const QString& s) override
    {
        string = s;
        ++changes;
    }
};

} // namespace pelorin::test
