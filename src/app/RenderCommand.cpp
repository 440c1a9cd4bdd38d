#include "app/RenderCommand.h"

#include "app/CommandSupport.h"

#include "core/ImageFile.h"
#include "core/StylingJson.h"
#include "editor/FileExportService.h"
#include "editor/FinalRender.h"
#include "editor/ScreenshotDocument.h"
#include "platform/WallpaperService.h"
#include "render/BrowserChromeRenderer.h"
#include "render/MatrixMath.h"
#include "render/OffscreenContext.h"
#include "render/OffscreenSceneRenderer.h"
#include "render/SceneRenderer.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <thread>

namespace pelorin {

namespace {

const char* const usage = R"(Usage: pelorin render IN -o OUT [options]

Frames the screenshot IN the way the editor exports it and writes OUT. The format follows
OUT's extension: png (default), jpg/jpeg, tif/tiff, gif, bmp.

Style (later options override earlier ones, --style-json included):
  --style-json JSON         a whole style as JSON
  --preset NAME             gradient preset (oceanBreeze, sunset, …)
  --solid R,G,B[,A]         solid colour, components 0–255 (or all 0–1)
  --transparent             no background
  --wallpaper               the desktop picture (the default gradient when there is none)
  --corner-radius POINTS    --padding POINTS    --shadow-radius POINTS
  --shadow-opacity 0..1     --shadow-offset X,Y --dim AMOUNT
  --browser dark|light      draw a browser window around the screenshot
  --url TEXT                address shown in the browser frame
  --no-address-bar          browser frame without its toolbar
  --yaw DEGREES             --pitch DEGREES   tilt the card in 3D
)";

struct UsageError {
    QString message;
};

[[noreturn]] void fail(const QString& message)
{
    throw UsageError{message};
}

double number(const QString& option, const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        fail(QStringLiteral("%1 expects a number, got \"%2\"").arg(option, text));
    return value;
}

std::vector<double> numbers(const QString& option, const QString& text, qsizetype minCount, qsizetype maxCount)
{
    const QStringList parts = text.split(u',');
    if (parts.size() < minCount || parts.size() > maxCount)
        fail(QStringLiteral("%1 expects %2 comma-separated numbers, got \"%3\"")
                 .arg(option, minCount == maxCount ? QString::number(minCount)
                                                   : QStringLiteral("%1 to %2").arg(minCount).arg(maxCount),
                      text));
    std::vector<double> values;
    for (const QString& part : parts)
        values.push_back(number(option, part.trimmed()));
    return values;
}

CodableColor solidColor(const QString& text)
{
    std::vector<double> c = numbers(QStringLiteral("--solid"), text, 3, 4);
    const bool bytes = std::any_of(c.begin(), c.end(), [](double v) { return v > 1; });
    for (double& v : c) {
        if (v < 0 || v > (bytes ? 255 : 1))
            fail(QStringLiteral("--solid components must lie in 0–255 (or all in 0–1), got \"%1\"").arg(text));
        if (bytes)
            v /= 255;
    }
    return {c[0], c[1], c[2], c.size() == 4 ? c[3] : 1.0};
}

struct RenderJob {
    QString input;
    QString output;
    StylingConfiguration styling;
    BrowserChromeSettings chrome;
    SceneState scene;
};

RenderJob parse(const QStringList& args)
{
    RenderJob job;
    const auto needs = [&](qsizetype& i, const QString& option) -> QString {
        if (i + 1 >= args.size())
            fail(option + QStringLiteral(" needs a value"));
        return args[++i];
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString option = args[i];
        QString inlineValue;
        bool hasInline = false;
        if (option.startsWith(QLatin1String("--")) && option.contains(u'=')) {
            inlineValue = option.section(u'=', 1);
            option = option.section(u'=', 0, 0);
            hasInline = true;
        }
        const auto value = [&] { return hasInline ? inlineValue : needs(i, option); };
        if (option == u"-o" || option == u"--output") {
            job.output = value();
        } else if (option == u"--style-json") {
            QString error;
            const auto styling = decodeStylingConfiguration(value().toUtf8(), &error);
            if (!styling)
                fail(QStringLiteral("--style-json is not a valid style: ") + error);
            job.styling = *styling;
        } else if (option == u"--preset") {
            const QString name = value();
            const auto preset = backgroundPresetFromRawValue(name);
            if (!preset) {
                QStringList known;
                for (BackgroundPreset p : allBackgroundPresets())
                    known << rawValue(p);
                fail(QStringLiteral("unknown preset \"%1\" (one of: %2)").arg(name, known.join(QStringLiteral(", "))));
            }
            job.styling.background = BackgroundStyle::preset(*preset);
        } else if (option == u"--solid") {
            job.styling.background = BackgroundStyle::solidColor(solidColor(value()));
        } else if (option == u"--transparent") {
            job.styling.background = BackgroundStyle::transparent();
        } else if (option == u"--wallpaper") {
            job.styling.background = BackgroundStyle::wallpaper();
        } else if (option == u"--corner-radius") {
            job.styling.cornerRadius = number(option, value());
        } else if (option == u"--padding") {
            job.styling.padding = number(option, value());
            if (job.styling.padding < 0)
                fail(QStringLiteral("--padding cannot be negative"));
        } else if (option == u"--shadow-radius") {
            job.styling.shadow.radius = number(option, value());
        } else if (option == u"--shadow-opacity") {
            job.styling.shadow.opacity = number(option, value());
        } else if (option == u"--shadow-offset") {
            const auto xy = numbers(option, value(), 2, 2);
            job.styling.shadow.offsetX = xy[0];
            job.styling.shadow.offsetY = xy[1];
        } else if (option == u"--dim") {
            job.styling.dimming = {true, number(option, value())};
        } else if (option == u"--browser") {
            const auto style = browserChromeStyleFromRawValue(value());
            if (!style)
                fail(QStringLiteral("--browser expects dark or light"));
            job.chrome.isEnabled = true;
            job.chrome.style = *style;
        } else if (option == u"--url") {
            job.chrome.urlText = value();
        } else if (option == u"--no-address-bar") {
            job.chrome.showsAddressBar = false;
        } else if (option == u"--yaw" || option == u"--pitch") {
            const float radians = static_cast<float>(number(option, value()) * std::numbers::pi / 180);
            (option == u"--yaw" ? job.scene.yaw : job.scene.pitch) = radians;
            job.scene.isPerspective = true;
        } else if (option.startsWith(u'-') && option.size() > 1) {
            fail(QStringLiteral("unknown option ") + option);
        } else if (job.input.isEmpty()) {
            job.input = option;
        } else {
            fail(QStringLiteral("more than one input image given"));
        }
    }
    if (job.input.isEmpty())
        fail(QStringLiteral("no input image given"));
    if (job.output.isEmpty())
        fail(QStringLiteral("no output file given (-o OUT)"));
    return job;
}

// The tilted card's corners as the scene renderer projects them on a canvas of `canvas`
// points at zoom 1: their distance from the canvas centre, largest across and down.
QSizeF tiltedCardReach(QSizeF card, QSizeF canvas, const SceneState& scene)
{
    SceneRenderParams params;
    params.imageSize = card;
    params.isPerspective = scene.isPerspective;
    const QSize pixels(int(std::ceil(canvas.width())), int(std::ceil(canvas.height())));
    const SceneCamera camera = SceneRenderer::cameraFor(params, pixels);
    QMatrix4x4 model = MatrixMath::makeRotationY(scene.yaw) * MatrixMath::makeRotationX(scene.pitch);
    model.scale(float(card.width() / card.height()), 1, 1);
    QSizeF reach(card.width() / 2, card.height() / 2);
    for (const QPointF corner : {QPointF(-0.5, -0.5), QPointF(0.5, -0.5), QPointF(0.5, 0.5), QPointF(-0.5, 0.5)}) {
        const QVector4D clip = camera.viewProjection * model * QVector4D(float(corner.x()), float(corner.y()), 0, 1);
        if (clip.w() <= 0)
            continue;
        reach = reach.expandedTo(QSizeF(std::fabs(clip.x() / clip.w()) * pixels.width() / 2,
                                        std::fabs(clip.y() / clip.w()) * pixels.height() / 2));
    }
    return reach;
}

// A canvas that holds the whole tilted card with its padding and shadow, the card in the
// middle. A farther camera on a larger canvas flattens the perspective a little, so the size
// is found again until it settles.
QSizeF canvasForTiltedCard(QSizeF card, const StylingConfiguration& styling, const SceneState& scene)
{
    const ShadowConfiguration& shadow = styling.shadow;
    const double margin = styling.padding
        + (shadow.opacity > 0 ? 1.5 * (shadow.radius + std::max(std::fabs(shadow.offsetX), std::fabs(shadow.offsetY))) : 0);
    QSizeF canvas(card.width() + 2 * styling.padding, card.height() + 2 * styling.padding);
    for (int round = 0; round < 4; ++round) {
        const QSizeF reach = tiltedCardReach(card, canvas, scene);
        canvas = canvas.expandedTo(QSizeF(std::ceil(2 * (reach.width() + margin)), std::ceil(2 * (reach.height() + margin))));
    }
    return canvas;
}

void printError(const QString& message, const char* command = "render")
{
    std::fprintf(stderr, "pelorin %s: %s\n", command, message.toLocal8Bit().constData());
}

int renderJob(QImage image, const RenderJob& job, const char* command)
{
    // The editor's own export, of a screenshot on a canvas exactly the size of its padded card
    // at zoom 1: the framed screenshot at its native resolution with the card in the middle. A
    // tilted card reaches beyond its flat outline: the canvas grows to hold all of it, and all
    // of it is exported. The user's stored style is neither read nor changed.
    ScreenshotDocument document = ScreenshotDocument::create(image, std::nullopt, SourceType::file, image.devicePixelRatio());
    if (job.chrome.isEnabled)
        document.image = BrowserChromeRenderer::composited(document.baseImage, job.chrome);
    const QSizeF card = document.imagePointSize();
    const double p = job.styling.padding;
    const bool tilted = job.scene.yaw != 0 || job.scene.pitch != 0;
    const QSizeF canvas = tilted ? canvasForTiltedCard(card, job.styling, job.scene)
                                 : QSizeF(card.width() + 2 * p, card.height() + 2 * p);
    // The editor's frame around the padded card, centred on the canvas; the tilted card's
    // canvas is exported whole.
    const QRectF cardRect(canvas.width() / 2 - card.width() / 2, canvas.height() / 2 - card.height() / 2, card.width(),
                          card.height());
    const QRectF frame = tilted ? QRectF(QPointF(0, 0), canvas) : paddedCardFrame(cardRect, p, canvas);

    FinalRenderJob render;
    render.screenshot = document.image;
    render.imageSize = card;
    render.screenScale = document.screenScale;
    render.styling = job.styling;
    if (std::holds_alternative<WallpaperBackground>(job.styling.background.value))
        render.wallpaper = [] { return WallpaperService().currentWallpaper(); };
    render.sceneState = job.scene;
    render.output = canvas;
    render.scale = exportScaleFor(document.imageScale, 1, canvas);
    const double imageScale = document.imageScale;
    // The job holds the only copy of the screenshot, which the renderer lets go of once it is
    // a texture: the frame is drawn into the memory it leaves.
    const QSize imagePixels = image.size();
    document = {};
    image = QImage();

    QString renderError;
    // OpenGL starts when the renderer first draws, once the background is painted: the
    // background then lies next to the decoded screenshot, and the frame fits in the memory
    // the two leave.
    OffscreenSceneRenderer renderer;
    try {
        if (!frameFinalRender(render, frame, imageScale)) {
            renderError = QStringLiteral("The export would be smaller than one pixel");
            throw ExportError(ExportError::Kind::failedToCreateImage);
        }
        saveFinalRender(std::move(render), renderer, job.output, &renderError);
    } catch (const ExportError& error) {
        // A renderer that tried to start OpenGL and could not says why; nothing is started again.
        if (!renderer.isInitialized() && !renderer.errorString().isEmpty())
            renderError = QStringLiteral("No usable OpenGL (install libgl1-mesa-dri and libegl1): ") + renderer.errorString();
        if (error.kind() == ExportError::Kind::failedToCreateImage)
            printError(QStringLiteral("cannot render %1 (%2 × %3 pixels): %4")
                           .arg(job.input.isEmpty() ? QStringLiteral("the capture") : job.input)
                           .arg(imagePixels.width())
                           .arg(imagePixels.height())
                           .arg(renderError),
                       command);
        else if (error.description().startsWith(job.output))
            printError(QStringLiteral("cannot write ") + error.description(), command); // it names the file itself
        else
            printError(QStringLiteral("cannot write %1: %2").arg(job.output, error.description()), command);
        return 1;
    }
    std::printf("%s\n", QFileInfo(job.output).absoluteFilePath().toLocal8Bit().constData());
    return 0;
}

// The style options alone, as `capture` passes them on: parsed with a stand-in image and file.
RenderJob parseStyle(const QStringList& styleArguments, const QString& output)
{
    RenderJob job = parse(styleArguments + QStringList{QStringLiteral("-o"), output, QStringLiteral("captured.png")});
    job.input.clear();
    return job;
}

} // namespace

QString renderStyleError(const QStringList& styleArguments)
{
    try {
        parseStyle(styleArguments, QStringLiteral("out.png"));
    } catch (const UsageError& error) {
        return error.message;
    }
    return {};
}

int renderFramedImage(const QImage& image, const QStringList& styleArguments, const QString& output, const char* command)
{
    try {
        return renderJob(image, parseStyle(styleArguments, output), command);
    } catch (const UsageError& error) {
        printError(error.message, command);
        return 2;
    }
}

int runRenderCommand(const QStringList& arguments)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    RenderJob job;
    try {
        job = parse(arguments);
    } catch (const UsageError& error) {
        printError(error.message);
        return 2;
    }
    // Loading the OpenGL driver takes about as long as decoding a large screenshot: the two
    // run side by side. The driver stays loaded until the render is done.
    std::optional<OffscreenContext::DriverLoad> driver;
    std::jthread loading([&driver] { driver.emplace(); });
    QString readError;
    std::optional<QImage> image = readImageFile(job.input, &readError);
    loading.join();
    if (!image) {
        printError(QStringLiteral("cannot read image %1: %2").arg(job.input, readError));
        return 1;
    }
    return renderJob(std::move(*image), job, "render");
}

int runRenderProgram(int argc, char** argv)
{
    if (!haveDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quietQtMessages();
    QGuiApplication app(argc, argv);
    const int status = runRenderCommand(QGuiApplication::arguments().mid(2));
#if !defined(__SANITIZE_ADDRESS__)
    // Everything is written and closed: the system takes back the application, the fonts
    // and the driver's state at once, sooner than they are torn down piece by piece.
    std::fflush(stdout);
    std::_Exit(status);
#else
    return status; // the leak checker runs at exit
#endif
}

} // namespace pelorin
