#include "EditorFixture.h"
#include "MemoryPasteboard.h"

#include "core/Fonts.h"
#include "detection/DeviceComponentAnalyzer.h"
#include "editor/PngWriter.h"
#include "platform/SettingsKeys.h"
#include "upload/UploadConfig.h"
#include "upload/UploadHistoryStore.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace pelorin;
using test::readBytes;

namespace {

// Stands in for the storage service, which lives outside the editor.
class ScriptedUploader : public Uploader {
public:
    bool configured = true;
    bool fails = false;
    int uploads = 0;
    bool isConfigured() const override { return configured; }
    QCoro::Task<UploadedFile> upload(QByteArray data, QString fileName) override
    {
        ++uploads;
        if (fails)
            throw ServiceError(QStringLiteral("Upload failed (403): denied"));
        co_return UploadedFile{QUuid::createUuid(), fileName, fileName, QStringLiteral("https://cdn.example/") + fileName,
                               QDateTime::currentDateTime(), data.size(), std::nullopt};
    }
};

class ScriptedSavePanel : public SavePanel {
public:
    std::optional<QString> answer;
    QCoro::Task<std::optional<QString>> chooseSaveLocation(QString, QStringList) override
    {
        std::optional<QString> copy = answer; // g++ 12 moves from a member named in co_return
        co_return copy;
    }
};

// Keeps what Ctrl+C offers, to be rendered when a program pastes.
struct DeferredPasteboard : test::MemoryPasteboard {
    Encoder encodePng, encodeTiff;
    void writeImageOnDemand(Encoder p, Encoder t) override
    {
        encodePng = std::move(p);
        encodeTiff = std::move(t);
        ++changes;
    }
};

// Its left half opaque red, its right half transparent.
QImage halfTransparentRed()
{
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 0, 0));
    QPainter(&image).fillRect(0, 0, 20, 20, QColor(255, 0, 0));
    return image;
}

class EditorExport : public test::EditorFixture {
protected:
    EditorExport()
    {
        editor->setPasteboard(pasteboard);
        editor->setUploader(&uploader);
        editor->setSavePanel(&panel);
        editor->setWallpaperProvider([] { return std::nullopt; });
    }

    void openScreenshot(QSize pixels = {400, 300}, double scale = 1)
    {
        editor->loadImage(solidImage(pixels, scale, QColor(20, 120, 220)), SourceType::clipboard, false);
    }

    DeferredPasteboard pasteboard;
    ScriptedUploader uploader;
    ScriptedSavePanel panel;
};

} // namespace

// The card and its padding are exported whole at the screenshot's scale wherever the canvas cuts it
// off, a frame of the user's as it is; no edge pixel comes from beyond the export. The export scale
// follows the zoom up to the largest texture; a stored frame is clamped into the viewport or dropped.
TEST_F(EditorExport, TheWholeCardOrTheUsersFrameIsExported)
{
    openScreenshot({800, 600}, 2.0);
    editor->setZoomLevel(0.5);
    EXPECT_DOUBLE_EQ(editor->exportScale({3000, 800}), 8192.0 / 3000.0);
    editor->setZoomLevel(1.0);
    editor->setCanvasOffset(QSizeF(10, -20));
    EXPECT_EQ(editor->cardRect({1000, 800}), QRectF(500 + 10 - 200, 400 - 20 - 150, 400, 300));
    EXPECT_FALSE(editor->cardRect({0, 800}));
    EXPECT_TRUE(editor->cardRect({1, 800})) << "a one-pixel screenshot rendered at padding 0";

    openScreenshot({400, 300});
    const struct { double padding, zoom; QRectF frame; } derived[] = {
        {0, 1, QRectF(300, 250, 400, 300)}, {40, 1, QRectF(260, 210, 480, 380)},
        {40, 0.5, QRectF(380, 305, 240, 190)}, {400, 1, QRectF(0, 0, 1000, 800)}};
    for (const auto& c : derived) {
        editor->setPadding(c.padding);
        editor->setZoomLevel(c.zoom);
        EXPECT_EQ(editor->derivedExportFrame({1000, 800}), c.frame) << c.padding << " at " << c.zoom;
    }
    editor->clearDocument();
    EXPECT_EQ(editor->derivedExportFrame({1000, 800}), QRectF(40, 40, 920, 720));

    editor->updateViewportSize({1000, 800});
    const std::pair<QRectF, std::optional<QRectF>> stored[] = {
        {{-50, 100, 300, 200}, QRectF(0, 100, 300, 200)},
        {{900, 700, 300, 200}, QRectF(700, 600, 300, 200)},
        {{0, 0, 2000, 100}, QRectF(0, 0, 1000, 100)},
        {{10, 10, 100, 100}, std::nullopt},
    };
    for (const auto& [frame, clamped] : stored) {
        editor->setExportFrameRect(frame);
        editor->clampExportFrame();
        EXPECT_EQ(editor->exportFrameRect(), clamped) << frame.x();
    }

    StylingConfiguration style = editor->styling();
    style.background = BackgroundStyle::transparent();
    style.shadow.opacity = 0;
    editor->setStyling(style);
    const struct {
        const char* name;
        QSize pixels;
        double scale;
        QSizeF viewport;
        double padding, zoom;
        std::optional<QRectF> frame;
        QSize expected;
    } cases[] = {
        {"the card at 2 pixels per point", {400, 300}, 2, {1000, 800}, 0, 1, std::nullopt, {400, 300}},
        {"padded", {400, 300}, 2, {1000, 800}, 40, 1, std::nullopt, {560, 460}},
        {"a panel narrows the canvas", {400, 300}, 1, {420, 800}, 40, 1, std::nullopt, {480, 380}},
        {"larger than the canvas at the smallest zoom", {5120, 3200}, 1, {1008, 750}, 40, 0.25, std::nullopt, {5200, 3280}},
        {"card half a pixel off", {400, 300}, 1, {1001, 701}, 0, 1, std::nullopt, {400, 300}},
        {"a frame of the user's on a narrow canvas", {400, 300}, 2, {420, 800}, 40, 1, QRectF(120, 340, 100, 50), {200, 100}},
        {"a frame at fractional points", {400, 300}, 1, {1000, 800}, 0, 1, QRectF(320.4, 260.7, 300.5, 200.2), {300, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openScreenshot(c.pixels, c.scale);
        editor->updateViewportSize(c.viewport);
        editor->setPadding(c.padding);
        editor->setZoomLevel(c.zoom);
        editor->setExportFrameRect(c.frame);
        const auto image = editor->renderFinalImage();
        ASSERT_TRUE(image) << editor->renderError().toStdString();
        EXPECT_EQ(image->size(), c.expected);
        EXPECT_DOUBLE_EQ(image->devicePixelRatio(), c.scale / c.zoom) << "the export scale follows the zoom";
        const int w = image->width() - 1, h = image->height() - 1;
        const QRgb blue = qRgb(20, 120, 220), clear = qRgba(0, 0, 0, 0);
        EXPECT_EQ(image->pixel(w / 2, h / 2), blue);
        for (const QPoint p : {QPoint(w / 2, 0), QPoint(w, h / 2), QPoint(w / 2, h), QPoint(0, h / 2)})
            EXPECT_EQ(image->pixel(p), c.padding > 0 && !c.frame ? clear : blue) << p.x() << "," << p.y();
        for (const QPoint p : {QPoint(0, 0), QPoint(w, h)})
            EXPECT_EQ(image->pixel(p), c.frame ? blue : clear) << p.x() << "," << p.y();
        // Saved by strips straight from the renderer: the same pixels, RGB when opaque.
        const QString path = dir.filePath(QStringLiteral("export.png"));
        editor->saveFinalImage(path);
        const QImage saved(path);
        EXPECT_EQ(saved.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  image->convertToFormat(QImage::Format_ARGB32_Premultiplied));
        EXPECT_EQ(int(uchar(test::readBytes(path).at(25))), c.frame ? 2 : 6);
        EXPECT_EQ(saved.dotsPerMeterX(), qRound(image->devicePixelRatio() * 72 / 0.0254));
        if (c.frame && c.frame->topLeft() == c.frame->topLeft().toPoint()) { // a crop is that part of the whole frame
            editor->setExportFrameRect(QRectF(QPointF(), c.viewport));
            const auto whole = editor->renderFinalImage();
            ASSERT_TRUE(whole);
            const QRect part((c.frame->topLeft() * c.scale).toPoint(), image->size());
            EXPECT_EQ(whole->copy(part).convertToFormat(QImage::Format_ARGB32), image->convertToFormat(QImage::Format_ARGB32));
        }

    }
}

TEST_F(EditorExport, DimHolesComeFromShapes)
{
    openScreenshot();
    ShapeAnnotation circle = ShapeAnnotation::make(QRectF(10, 10, 100, 60), Qt::red);
    circle.shapeType = ShapeType::circle;
    editor->addAnnotation(RedactAnnotation::make(QRectF(0, 0, 5, 5), Qt::black));
    EXPECT_FALSE(editor->hasShapeAnnotation());
    editor->addAnnotation(circle);
    EXPECT_TRUE(editor->hasShapeAnnotation());
    EXPECT_EQ(editor->currentDimState().amount, 0) << "dimming off";

    StylingConfiguration s = editor->styling();
    s.dimming = {true, 0.6};
    editor->setStyling(s);
    DimState dim = editor->currentDimState();
    EXPECT_FLOAT_EQ(dim.amount, 0.6f);
    ASSERT_EQ(dim.holes.size(), 1u);
    EXPECT_EQ(dim.holes[0], (DimHoleSpec{QRectF(30, 10, 60, 60), 0, true}));

    // A shape being dragged replaces its stored geometry; a new one is appended.
    editor->setLiveDimHole(circle.id, {QRectF(0, 0, 10, 10), 4, false});
    editor->setLiveDimHole(std::nullopt, {QRectF(50, 50, 20, 20), 0, false});
    dim = editor->currentDimState();
    ASSERT_EQ(dim.holes.size(), 2u);
    EXPECT_EQ(dim.holes[0].rect, QRectF(30, 10, 60, 60)) << "only the last live hole is kept";
    EXPECT_EQ(dim.holes[1].rect, QRectF(50, 50, 20, 20));
    editor->clearLiveDimHole();
    EXPECT_EQ(editor->currentDimState().holes.size(), 1u);

    editor->setSelectedAnnotationId(circle.id);
    editor->removeAnnotation(circle.id);
    EXPECT_FALSE(editor->hasShapeAnnotation());
    EXPECT_TRUE(editor->selectedAnnotationId().isNull());
    EXPECT_EQ(editor->currentDimState().amount, 0) << "no shape left: nothing dims";
}

// Ctrl+C puts the image or its link on the clipboard, the image if the upload fails. What a program
// pastes later is the picture as it was at Ctrl+C, whether the editor closed or the picture changed since.
TEST_F(EditorExport, CopyPutsTheImageAsItWasOrItsLinkOnTheClipboard)
{
    const struct {
        const char* name;
        bool configured;
        const char *content, *followUp;
        bool fails, linkOnClipboard, closes, error;
    } cases[] = {
        {"no uploads: PNG and TIFF", false, "image", "close", false, false, true, false},
        {"no uploads, the editor stays", false, "image", "stay", false, false, false, false},
        {"image + background upload", true, "image", "close", false, false, true, false},
        {"link", true, "url", "close", false, true, true, false},
        {"link upload fails: image instead", true, "url", "close", true, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings.store().setValue(QLatin1String(SettingsKeys::copyClipboardContent), QLatin1String(c.content));
        settings.store().setValue(QLatin1String(SettingsKeys::copyFollowUp), QLatin1String(c.followUp));
        uploader.configured = c.configured;
        uploader.fails = c.fails;
        uploader.uploads = 0;
        editor->clearErrorMessage();
        pasteboard.clear();
        pasteboard.encodePng = pasteboard.encodeTiff = nullptr;
        openScreenshot({300, 200}, 2);
        editor->addAnnotation(ShapeAnnotation::make(QRectF(10, 10, 40, 40), Qt::red));
        const std::optional<QImage> atCopy = editor->renderFinalImage();
        ASSERT_TRUE(atCopy);
        QCoro::waitFor(editor->copyViaShortcut());
        if (editor->hasDocument()) {
            editor->setPadding(90);
            editor->addAnnotation(ShapeAnnotation::make(QRectF(5, 5, 30, 30), Qt::green));
        }
        EXPECT_EQ(uploader.uploads, c.configured ? 1 : 0);
        EXPECT_EQ(pasteboard.string.startsWith(QLatin1String("https://cdn.example/Screenshot ")), c.linkOnClipboard);
        ASSERT_EQ(pasteboard.encodePng && pasteboard.encodeTiff, !c.linkOnClipboard);
        if (pasteboard.encodePng) {
            EXPECT_EQ(pasteboard.encodePng(), FileExportService::encode(*atCopy, ImageFileType::png));
            EXPECT_EQ(pasteboard.encodeTiff(), FileExportService::encode(*atCopy, ImageFileType::tiff));
        }
        EXPECT_EQ(!editor->hasDocument(), c.closes);
        EXPECT_EQ(editor->errorMessage().startsWith(QStringLiteral("Upload failed — copied the image instead. Upload failed (403)")), c.error);
    }
}

// Ctrl+S saves to the desktop folder when there is one, else to the pictures folder; Save As
// writes the chosen file, and a failure names the whole path.
TEST_F(EditorExport, SaveFindsAFolderAndSaveAsWritesTheChosenFile)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QDir().mkpath(config);
    const QString desktop = dir.filePath(QStringLiteral("Desk")), pictures = dir.filePath(QStringLiteral("Pics/Shots"));
    const QString dirs = config + QStringLiteral("/user-dirs.dirs");
    ASSERT_TRUE(test::writeBytes(dirs, QStringLiteral("XDG_DESKTOP_DIR=\"%1\"\nXDG_PICTURES_DIR=\"%2\"\n").arg(desktop, pictures).toUtf8()));
    uploader.configured = false;
    settings.store().setValue(QLatin1String(SettingsKeys::saveFollowUp), QStringLiteral("stay"));
    openScreenshot();
    QSignalSpy saved(editor.get(), &EditorViewModel::imageSaved);
    QCoro::waitFor(editor->saveViaShortcut()); // no desktop folder: the pictures folder, made for it
    QDir().mkpath(desktop);
    QCoro::waitFor(editor->saveViaShortcut());
    QCoro::waitFor(editor->saveViaShortcut());
    ASSERT_EQ(saved.size(), 3);
    EXPECT_TRUE(saved[0][0].toString().startsWith(pictures) && saved[0][1].toBool()) << "the notification says why Pictures";
    EXPECT_TRUE(saved[1][0].toString().startsWith(desktop) && !saved[1][1].toBool());
    EXPECT_TRUE(editor->errorMessage().isEmpty()) << editor->errorMessage().toStdString();
    EXPECT_EQ(QDir(pictures).entryList({QStringLiteral("Screenshot *.png")}).size(), 1);
    EXPECT_EQ(QDir(desktop).entryList({QStringLiteral("Screenshot *.png")}).size(), 2);
    EXPECT_TRUE(editor->hasDocument());

    panel.answer = dir.filePath(QStringLiteral("chosen.JPG"));
    QCoro::waitFor(editor->saveAs());
    EXPECT_TRUE(QFileInfo::exists(*panel.answer)) << editor->errorMessage().toStdString();
    EXPECT_EQ(editor->document()->originalURL, QUrl::fromLocalFile(*panel.answer));
    panel.answer = QStringLiteral("/sys/pelorin-denied.png");
    QCoro::waitFor(editor->saveAs());
    EXPECT_TRUE(editor->errorMessage().startsWith(QStringLiteral("Failed to save: /sys/pelorin-denied.png: ")))
        << editor->errorMessage().toStdString();
    QFile::remove(dirs);
}

// Text in 13-point type on a 2× screenshot, pixelated or blurred: the bundled OCR reads it on the plain
// export and no word of it on the redacted one, which shows the screenshot's own pixels, not a fill.
TEST_F(EditorExport, PixelateAndBlurLeaveNoReadableText)
{
    const QStringList lines{QStringLiteral("jane.doe@example.com"), QStringLiteral("Invoice 4821 due Friday")};
    QImage screenshot(QSize(800, 240), QImage::Format_ARGB32_Premultiplied);
    screenshot.fill(Qt::white);
    screenshot.setDevicePixelRatio(2);
    {
        QPainter painter(&screenshot);
        QFont font = textFont(TextDesign::standard, FontWeight::regular, false, 13);
        font.setPixelSize(13);
        painter.setFont(font);
        painter.setPen(QColor(30, 30, 30));
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(QPointF(40, 40 + i * 30), lines[i]);
    }
    editor->loadImage(screenshot, SourceType::clipboard, false);
    StylingConfiguration style = editor->styling();
    style.cornerRadius = 0;
    editor->setStyling(style);
    const auto wordsRead = [&](const QImage& exported) { // each line's region: the card is exported at 2 pixels per point
        QStringList read;
        for (int i = 0; i < lines.size(); ++i)
            read << DeviceComponentAnalyzer::recognizeLine(exported.copy(QRect(60, 44 + i * 60, 500, 44))).text.toLower();
        return read.join(u' ');
    };
    const std::optional<QImage> plain = editor->renderFinalImage();
    ASSERT_TRUE(plain) << "needs a working EGL/OpenGL";
    ASSERT_EQ(plain->size(), QSize(800, 240));
    ASSERT_TRUE(wordsRead(*plain).contains(QStringLiteral("example"))) << wordsRead(*plain).toStdString();

    for (const RedactStyle redactStyle : {RedactStyle::pixelate, RedactStyle::blur}) {
        SCOPED_TRACE(rawValue(redactStyle).toStdString());
        RedactAnnotation redact = RedactAnnotation::make(QRectF(25, 20, 270, 70), Qt::black);
        redact.redactStyle = redactStyle;
        editor->addAnnotation(redact);
        const std::optional<QImage> redacted = editor->renderFinalImage();
        ASSERT_TRUE(redacted);
        const QString read = wordsRead(*redacted);
        for (const char* word : {"jane", "doe", "example", "com", "invoice", "4821", "due", "friday"})
            EXPECT_FALSE(read.contains(QLatin1String(word))) << read.toStdString();
        // The screenshot's own pixels, changed: neither the original nor one flat colour.
        const QImage region = redacted->copy(QRect(60, 44, 500, 100)).convertToFormat(QImage::Format_Grayscale8);
        const QImage before = plain->copy(QRect(60, 44, 500, 100)).convertToFormat(QImage::Format_Grayscale8);
        int darkest = 255, lightest = 0;
        long changed = 0;
        for (int y = 0; y < region.height(); ++y) {
            for (int x = 0; x < region.width(); ++x) {
                const int v = region.pixelColor(x, y).red();
                darkest = std::min(darkest, v);
                lightest = std::max(lightest, v);
                changed += std::abs(v - before.pixelColor(x, y).red()) > 24 ? 1 : 0;
            }
        }
        EXPECT_GT(lightest - darkest, 8) << "not a flat fill";
        EXPECT_GT(darkest, 40) << "no black fill and no dark glyph left";
        EXPECT_GT(changed, 2000) << "differs from the original";
        editor->removeAnnotation(redact.id);
    }
}

// Names follow the template; three saves in one second get numbered; in Save As, the chosen filter
// supplies a missing suffix. The type comes from the extension, PNG for an unknown one; a type without
// alpha turns transparency white; a PNG keeps pixels, scale and text, and drops the alpha channel only
// when opaque (type 2, not 6).
TEST(FileExport, NamesAreNumberedAndEachTypeKeepsWhatItCan)
{
    QTemporaryDir dir;
    const QStringList allowed{QStringLiteral("image/png"), QStringLiteral("image/jpeg"), QStringLiteral("image/tiff")};
    const struct { const char* typed; const char* filter; const char* saved; ImageFileType type; } suffixes[] = {
        {"/t/shot", "image/jpeg", "/t/shot.jpg", ImageFileType::jpeg},
        {"/t/shot", "image/tiff", "/t/shot.tif", ImageFileType::tiff},
        {"/t/shot.JPEG", "image/png", "/t/shot.JPEG", ImageFileType::jpeg}, // a suffix typed on purpose wins
        {"/t/v1.2", "image/png", "/t/v1.2.png", ImageFileType::png},
    };
    for (const auto& c : suffixes) {
        const QString saved = FileExportService::withSuffixFor(QString::fromUtf8(c.typed), QString::fromUtf8(c.filter), allowed);
        EXPECT_EQ(saved, QString::fromUtf8(c.saved)) << c.typed;
        EXPECT_EQ(FileExportService::imageFileType(saved), c.type) << c.typed;
    }
    const QDateTime when(QDate(2026, 12, 5), QTime(16, 10, 24));
    EXPECT_EQ(FileExportService::generateFilename(QStringLiteral("{time}-{date}-{time}"), QStringLiteral("jpg"), when),
              QStringLiteral("16.10.24-2026-12-05-16.10.24.jpg"));
    const QString first = FileExportService::generateFilename(QLatin1String(FileExportService::defaultTemplate), QStringLiteral("png"), when);
    EXPECT_EQ(first, QStringLiteral("Screenshot 2026-12-05 at 16.10.24.png"));
    QStringList written;
    for (int i = 0; i < 3; ++i) {
        const QString path = FileExportService::uniqueURL(dir.filePath(first));
        FileExportService::saveImage(halfTransparentRed(), path);
        written << QFileInfo(path).fileName();
    }
    EXPECT_EQ(written, (QStringList{first, QStringLiteral("Screenshot 2026-12-05 at 16.10.24 (1).png"),
                                    QStringLiteral("Screenshot 2026-12-05 at 16.10.24 (2).png")}));

    QImage opaque(30, 20, QImage::Format_RGB32);
    opaque.fill(QColor(10, 120, 240));
    opaque.setPixelColor(3, 4, QColor(250, 1, 7));
    opaque.setDevicePixelRatio(2);
    QImage translucent(30, 20, QImage::Format_RGBA8888_Premultiplied);
    translucent.fill(QColor(200, 100, 50, 128));
    translucent.setPixelColor(0, 0, QColor(0, 0, 0, 0));
    translucent.setPixelColor(1, 0, QColor(255, 255, 255, 1));
    QImage captioned = halfTransparentRed();
    captioned.setText(QStringLiteral("Description"), QStringLiteral("Größe"));
    captioned.setDevicePixelRatio(1.5);
    enum Kept { everything, alpha, nothingTransparent };
    struct Case { const char* name; QImage image; QByteArray format; Kept kept; int pngColorType = 6; };
    const QImage half = halfTransparentRed();
    const Case cases[] = {
        {"shot.PNG", half, "png", everything},       {"shot.JPG", half, "jpeg", nothingTransparent},
        {"shot.jpeg", half, "jpeg", nothingTransparent}, {"shot.tif", half, "tiff", alpha},
        {"shot.gif", half, "gif", nothingTransparent},   {"shot.bmp", half, "bmp", nothingTransparent},
        {"shot.webp", half, "png", everything},      {"opaque.png", opaque, "png", everything, 2},
        {"translucent.png", translucent, "png", everything}, {"captioned.png", captioned, "png", everything},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QLatin1String(c.name));
        FileExportService::saveImage(c.image, path);
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        EXPECT_EQ(reader.format(), c.format);
        const QImage read = reader.read();
        ASSERT_EQ(read.size(), c.image.size());
        if (c.kept == alpha) {
            EXPECT_EQ(read.pixelColor(35, 10).alpha(), 0);
        } else if (c.kept == nothingTransparent) {
            EXPECT_GT(read.pixelColor(35, 10).lightness(), 240) << "transparency turns white";
            EXPECT_GT(read.pixelColor(5, 10).red(), 200);
        } else {
            EXPECT_EQ(int(uchar(readBytes(path).at(25))), c.pngColorType);
            EXPECT_EQ(read.dotsPerMeterX(), qRound(c.image.devicePixelRatio() * 72 / 0.0254));
            EXPECT_EQ(read.text(), c.image.text());
            const QImage expected = c.image.convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(read.convertToFormat(QImage::Format_ARGB32), expected);
        }
    }
}

// A failed save names the path and the system's reason and leaves nothing behind, streamed or encoded;
// a PNG whose rows run out halfway leaves the old file of its name as it was.
TEST(FileExport, AFailedWriteNamesThePathAndTheReasonAndLeavesNothing)
{
    QTemporaryDir dir;
    // Permissions do not stop root; sysfs refuses new files to everyone.
    QString locked = QStringLiteral("/sys");
    if (geteuid() != 0) {
        locked = dir.filePath(QStringLiteral("locked"));
        ASSERT_TRUE(QDir().mkpath(locked));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    }
    const auto entries = [&] { return QDir(locked).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden); };
    const QStringList before = entries();
    const QString kept = dir.filePath(QStringLiteral("kept.png"));
    ASSERT_TRUE(test::writeBytes(kept, "old contents"));
    const QImage image = halfTransparentRed();
    png::RowSource halfway = png::rowsOf(image);
    halfway.row = [&image](int y) { return y < 12 ? image.constScanLine(y) : nullptr; };
    const struct { QString path; const char* reason; bool rowsRunOut = false; } cases[] = {
        {locked + QStringLiteral("/pelorin-shot.png"), "ermission"},
        {locked + QStringLiteral("/pelorin-shot.jpg"), "ermission"},
        {dir.filePath(QStringLiteral("no/such/folder/shot.png")), "No such file"},
        {dir.filePath(QStringLiteral("no/such/folder/shot.jpg")), "No such file"},
        {kept, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            if (c.rowsRunOut)
                FileExportService::savePng(halfway, c.path);
            else
                FileExportService::saveImage(image, c.path);
            ADD_FAILURE() << "the save should fail";
        } catch (const ExportError& error) {
            EXPECT_EQ(error.kind(), ExportError::Kind::failedToWrite);
            EXPECT_TRUE(error.description().startsWith(c.path)) << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(QLatin1String(c.reason))) << error.description().toStdString();
        }
    }
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(readBytes(kept), "old contents");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.png")});
    EXPECT_THROW(FileExportService::saveImage(QImage(), dir.filePath(QStringLiteral("x.png"))), ExportError);

    // A device that refuses the bytes: its own words come back.
    QFile full(QStringLiteral("/dev/full"));
    ASSERT_TRUE(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QString why;
    EXPECT_FALSE(png::write(full, image, {}, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("space"))) << why.toStdString();
}

namespace {

QImage noise(int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(image.bits()), image.sizeInBytes() / 4);
    return image;
}

// Runs `write` with writes past `bytes` refused, as on a full disk.
bool writeWithFileSizeLimit(rlim_t bytes, const std::function<bool()>& write)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = write();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    return written;
}

} // namespace

// On a full disk every writer keeps the old file, leaves no temporary and reports the failure. Pelorin's
// own files are never written through a link out of its folders; a link within the folder is followed.
TEST(StateFileSafety, AFullDiskOrALinkOutLeavesEveryOtherFileAsItWas)
{
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("bashrc"));
    // Encoded in pieces that stay in the file's buffer until it is committed.
    const auto exports = [](const QString& path, bool large) {
        try {
            FileExportService::saveImage(noise(large ? 60 : 4), path);
            return true;
        } catch (const ExportError&) {
            return false;
        }
    };
    // Each writes a small first version, then one far larger; own files are Pelorin's, not exports.
    const struct { const char* name; QString file; bool ownFile; std::function<bool(const QString&, bool)> write; } writers[] = {
        {"settings", QStringLiteral("Pelorin.json"), true,
         [](const QString& path, bool large) {
             const QByteArray note(large ? 12'000 : 10, 'n');
             SettingsStore(path).setValue(QStringLiteral("note"), QString::fromLatin1(note));
             return readBytes(QFileInfo(path).canonicalFilePath()).contains(note);
         }},
        {"upload history", QStringLiteral("uploads.json"), true,
         [](const QString& path, bool large) {
             UploadHistoryStore history(path, QString());
             const QString url = QStringLiteral("https://cdn/") + QString(large ? 12'000 : 10, u'u');
             history.add({QUuid::createUuid(), QStringLiteral("a.png"), QStringLiteral("k"), url, QDateTime::currentDateTimeUtc(), 1, {}});
             return UploadHistoryStore(path, QString()).files().size() == (large ? 2 : 1);
         }},
        {"upload settings", QStringLiteral("upload-config.json"), true,
         [](const QString& path, bool large) {
             return UploadConfigFile(path, {}).save(
                 {QStringLiteral("a"), QStringLiteral("k"), QString(large ? 12'000 : 10, u's'), QStringLiteral("b"), QStringLiteral("u")});
         }},
        {"PNG export", QStringLiteral("shot.png"), false, exports},
        {"JPEG export", QStringLiteral("shot.jpg"), false, exports},
    };
    for (const auto& writer : writers) {
        SCOPED_TRACE(writer.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(writer.file);
        ASSERT_TRUE(writer.write(path, false));
        const QByteArray old = readBytes(path);
        ASSERT_FALSE(old.isEmpty());
        EXPECT_FALSE(writeWithFileSizeLimit(old.size() + 2048, [&] { return writer.write(path, true); }));
        EXPECT_EQ(readBytes(path), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{writer.file}) << "a temporary was left";
        if (!writer.ownFile)
            continue;

        ASSERT_TRUE(test::writeBytes(victim, "alias ll='ls -l'\n"));
        // The same file the failed write was meant for: the settings keep that write to retry.
        const QString link = path, inside = dir.filePath(QStringLiteral("real-") + writer.file);
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(QFile::link(victim, link));
        writer.write(link, false);
        EXPECT_EQ(readBytes(victim), "alias ll='ls -l'\n");
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(inside, link));
        EXPECT_TRUE(writer.write(link, false));
        EXPECT_FALSE(readBytes(inside).isEmpty());
        EXPECT_TRUE(QFileInfo(link).isSymLink());
    }
}
