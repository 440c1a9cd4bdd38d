#include "core/Fonts.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>

#include <array>
#include <mutex>

namespace pelorin {

namespace {

struct DesignFamily {
    const char* family;
    const char* alias;
};

// Indexed by TextDesign.
constexpr std::array<DesignFamily, 4> designFamilies{{
    {"Inter", "sans-serif"},
    {"Noto Serif", "serif"},
    {"Comfortaa", "sans-serif"},
    {"JetBrains Mono", "monospace"},
}};

// Below this a font has no extent (the pixel size rounds to zero); Qt ignores sizes of zero
// or less and would fall back to its default size instead.
constexpr double vanishingPointSize = 0.01;

} // namespace

void loadBundledFonts()
{
    static std::mutex mutex;
    static bool loaded = false;
    const std::lock_guard lock(mutex);
    // The font database needs a GUI application; try again on a later call.
    if (loaded || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    QDirIterator it(QStringLiteral(":/fonts"), {QStringLiteral("Inter-*.otf")}, QDir::Files);
    while (it.hasNext())
        QFontDatabase::addApplicationFont(it.next());
    loaded = true;
}

QString fontFamily(TextDesign design)
{
    const auto index = static_cast<std::size_t>(design);
    // Without a GUI application there is no font database to ask (nor fonts to draw with).
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QString::fromLatin1(designFamilies[index].alias);
    loadBundledFonts();
    // Looking families up walks the whole font database, and hit tests measure text on every
    // pointer move; the installed fonts do not change while the application runs.
    static const std::array<QString, 4> resolved = [] {
        std::array<QString, 4> families;
        for (std::size_t i = 0; i < families.size(); ++i) {
            const QString family = QString::fromLatin1(designFamilies[i].family);
            families[i] = QFontDatabase::hasFamily(family) ? family : QString::fromLatin1(designFamilies[i].alias);
        }
        return families;
    }();
    return resolved[index];
}

QFont::Weight qtFontWeight(FontWeight weight)
{
    // The weights are declared lightest first, so the nine of them fall on Qt's 100 to 900.
    static_assert(static_cast<int>(FontWeight::black) == 8);
    return static_cast<QFont::Weight>(100 * (static_cast<int>(weight) + 1));
}

QFont textFont(TextDesign design, FontWeight weight, bool italic, double pointSize)
{
    QFont font(fontFamily(design));
    font.setPointSizeF(pointSize > vanishingPointSize ? pointSize : vanishingPointSize);
    font.setWeight(qtFontWeight(weight));
    font.setItalic(italic);
    return font;
}

const QPaintDevice* pointResolutionDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        setPointResolution(image);
        return image;
    }();
    return &device;
}

void setPointResolution(QImage& image)
{
    image.setDotsPerMeterX(pointResolutionDotsPerMeter);
    image.setDotsPerMeterY(pointResolutionDotsPerMeter);
}

QFontMetricsF pointMetrics(const QFont& font)
{
    return QFontMetricsF(font, pointResolutionDevice());
}

double lineHeight(const QFontMetricsF& metrics)
{
    return metrics.ascent() + metrics.descent() + metrics.leading();
}

} // namespace pelorin
