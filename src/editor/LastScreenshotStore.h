#pragma once

#include <QImage>
#include <QString>

#include <optional>

namespace pelorin {

// "LastScreenshot.png" in the application folder: the most recent capture or opened image.
class LastScreenshotStore {
public:
    LastScreenshotStore();                        // the application folder's file
    explicit LastScreenshotStore(QString path);   // an explicit file (tests)

    // Empty when there is no application folder.
    QString url() const { return m_path; }

    // Writes the image as PNG atomically; returns false on any failure (callers stay silent).
    bool save(const QImage& image) const;
    std::optional<QImage> load() const;

private:
    QString m_path;
};

} // namespace pelorin
