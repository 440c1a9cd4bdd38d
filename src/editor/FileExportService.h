#pragma once

#include <QCoroTask>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

namespace pelorin {

namespace png {
struct RowSource;
}

// A failed save, with the text the user sees after "Failed to save: ".
class ExportError : public std::exception {
public:
    enum class Kind { failedToCreateImage, failedToEncode, failedToWrite };

    explicit ExportError(Kind kind, QString fileSystemMessage = {})
        : m_kind(kind)
        , m_message(std::move(fileSystemMessage))
    {
    }

    Kind kind() const { return m_kind; }
    // The file system's own words for a failed write, else the fixed text of the kind.
    QString description() const;
    const char* what() const noexcept override { return "export failed"; }

private:
    Kind m_kind;
    QString m_message;
};

enum class ImageFileType { png, jpeg, tiff, gif, bmp };

// Asks where to save; empty when the user cancels. The app shows a file dialog (without
// blocking the event loop), tests answer.
class SavePanel {
public:
    virtual ~SavePanel() = default;
    virtual QCoro::Task<std::optional<QString>> chooseSaveLocation(QString suggestedFileName, QStringList allowedTypes) = 0;
};

// Turns images into files: names, locations, formats, atomic writes.
class FileExportService {
public:
    static constexpr const char* defaultTemplate = "Screenshot {date} at {time}";

    // The type for a destination, from its extension in any letter case; PNG for anything unknown.
    static ImageFileType imageFileType(const QString& path);
    // The template with every "{date}" (yyyy-MM-dd) and "{time}" (HH.mm.ss) filled in, then "." + format.
    static QString generateFilename(const QString& templ, const QString& format,
                                    const QDateTime& now = QDateTime::currentDateTime());
    // The default folder plus `filename`, or the generated default name.
    static QString defaultSaveURL(const std::optional<QString>& filename = std::nullopt);
    // The desktop folder when it exists, else the pictures folder (made when missing).
    static QString defaultSaveFolder();
    // Whether the user has a desktop folder (the home folder itself does not count).
    static bool hasDesktopFolder();
    // `path` with the suffix of `mimeType` appended unless it already ends in one of the
    // allowed types' suffixes: a name typed without one takes the chosen filter's format.
    static QString withSuffixFor(const QString& path, const QString& mimeType, const QStringList& allowedTypes);
    // The path itself when free, else "name (1).ext", "name (2).ext", …
    static QString uniqueURL(const QString& path);

    // Encodes by the destination's type and writes atomically. JPEG, GIF and BMP are flattened
    // over white. Throws ExportError.
    static void saveImage(const QImage& image, const QString& path);
    // Encodes the rows as PNG straight into the file, atomically. Throws ExportError.
    static void savePng(const png::RowSource& rows, const QString& path);
    // The encoded bytes alone (the same rules), empty on failure.
    static QByteArray encode(const QImage& image, ImageFileType type);
};

} // namespace pelorin
