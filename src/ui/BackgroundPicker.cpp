#include "ui/BackgroundPicker.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"
#include "platform/BackgroundWork.h"
#include "render/ImageComposition.h"
#include "ui/Glyphs.h"
#include "ui/UiStyle.h"

#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>
#include <QtConcurrent>

namespace pelorin {

namespace {

constexpr int columns = 3;
constexpr double swatchRadius = 9;

double luminance(const CodableColor& c)
{
    return 0.2126 * c.red + 0.7152 * c.green + 0.0722 * c.blue;
}

// Captions stay legible on the pale presets.
bool isLight(const BackgroundStyle& style)
{
    if (const auto* preset = std::get_if<BackgroundPreset>(&style.value)) {
        const GradientDefinition g = gradientDefinition(*preset);
        double sum = 0;
        for (const CodableColor& c : g.colors)
            sum += luminance(c);
        return !g.colors.empty() && sum / double(g.colors.size()) > 0.68;
    }
    return false;
}

void paintChecker(QPainter& painter, const QRectF& rect)
{
    painter.fillRect(rect, QColor(0xd9, 0xd9, 0xde));
    const double cell = 8;
    for (int row = 0; row * cell < rect.height(); ++row)
        for (int col = 0; col * cell < rect.width(); ++col)
            if ((row + col) % 2 == 0)
                painter.fillRect(QRectF(rect.left() + col * cell, rect.top() + row * cell, cell, cell), QColor(0xa8, 0xa8, 0xb0));
}

} // namespace

BackgroundSwatch::BackgroundSwatch(BackgroundStyle style, QString caption, QWidget* parent)
    : QAbstractButton(parent)
    , m_style(std::move(style))
    , m_caption(std::move(caption))
{
    setAccessibleName(m_caption);
    setCursor(Qt::PointingHandCursor);
    const int side = int(AppConstants::presetThumbnailSize);
    setFixedSize(side, side);
}

QSize BackgroundSwatch::sizeHint() const
{
    const int side = int(AppConstants::presetThumbnailSize);
    return {side, side};
}

void BackgroundSwatch::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

void BackgroundSwatch::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void BackgroundSwatch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF outer = QRectF(rect()).adjusted(1, 1, -1, -1);
    const QRectF inner = outer.adjusted(2.5, 2.5, -2.5, -2.5);
    QPainterPath shape;
    shape.addRoundedRect(inner, swatchRadius - 2.5, swatchRadius - 2.5);

    painter.save();
    painter.setClipPath(shape);
    if (const auto* preset = std::get_if<BackgroundPreset>(&m_style.value)) {
        drawGradient(painter, gradientDefinition(*preset), inner);
    } else if (std::holds_alternative<TransparentBackground>(m_style.value)) {
        paintChecker(painter, inner);
    } else if (!m_picture.isNull()) {
        drawWallpaperBackground(painter, m_picture, inner);
    } else {
        painter.fillRect(inner, Theme::controlFill());
        paintGlyph(painter, Glyph::photoFill, inner.adjusted(18, 14, -18, -22), secondaryText());
    }
    if (!m_caption.isEmpty()) {
        const bool light = isLight(m_style) || std::holds_alternative<TransparentBackground>(m_style.value);
        // A long single word gets no second line to wrap onto.
        painter.setFont(uiFont(!m_caption.contains(QLatin1Char(' ')) && m_caption.size() > 9 ? 8 : 9, QFont::Medium));
        painter.setPen(light ? QColor::fromRgbF(0, 0, 0, 0.7f) : QColor::fromRgbF(1, 1, 1, 0.95f));
        painter.drawText(inner.adjusted(1, 0, -1, -5), Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap, m_caption);
    }
    painter.restore();

    painter.setPen(QPen(Theme::imageOutline(), 1));
    painter.drawPath(shape);
    if (m_selected || m_hovered) {
        painter.setPen(QPen(m_selected ? Theme::accent() : QColor::fromRgbF(1, 1, 1, 0.3f), 2));
        painter.drawRoundedRect(outer, swatchRadius, swatchRadius);
    }
}

void BackgroundSwatch::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void BackgroundSwatch::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

BackgroundPicker::BackgroundPicker(EditorViewModel& editor, WallpaperThumbnail thumbnail, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
    , m_thumbnail(std::move(thumbnail))
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);

    auto* wallpaper = new BackgroundSwatch(BackgroundStyle::wallpaper(), QString(), this);
    wallpaper->setToolTip(QStringLiteral("Desktop Wallpaper"));
    wallpaper->setAccessibleName(QStringLiteral("Desktop Wallpaper"));
    m_swatches.push_back(wallpaper);
    m_swatches.push_back(new BackgroundSwatch(BackgroundStyle::transparent(), QStringLiteral("Transparent"), this));
    for (BackgroundPreset preset : allBackgroundPresets())
        m_swatches.push_back(new BackgroundSwatch(BackgroundStyle::preset(preset), displayName(preset), this));
    for (std::size_t i = 0; i < m_swatches.size(); ++i) {
        BackgroundSwatch* swatch = m_swatches[i];
        grid->addWidget(swatch, int(i) / columns, int(i) % columns, Qt::AlignLeft);
        connect(swatch, &QAbstractButton::clicked, this, [this, swatch] { choose(swatch->style()); });
    }
    for (int c = 0; c < columns; ++c)
        grid->setColumnStretch(c, 1);

    connect(&m_wallpaperJob, &QFutureWatcher<std::optional<QImage>>::finished, this, [this] {
        if (const std::optional<QImage> picture = m_wallpaperJob.result())
            wallpaperSwatch()->setPicture(*picture);
    });
    connect(&m_editor, &EditorViewModel::stylingChanged, this, &BackgroundPicker::refreshSelection);
    refreshSelection();
}

BackgroundPicker::~BackgroundPicker()
{
    m_wallpaperJob.waitForFinished();
}

void BackgroundPicker::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The desktop picture may have changed while the editor was hidden.
    reloadWallpaper();
}

void BackgroundPicker::reloadWallpaper()
{
    if (!m_thumbnail || m_wallpaperJob.isRunning())
        return;
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = QSize(int(AppConstants::presetThumbnailSize), int(AppConstants::presetThumbnailSize)) * ratio;
    m_wallpaperJob.setFuture(runInBackground([thumbnail = m_thumbnail, pixels, ratio] {
        std::optional<QImage> picture = thumbnail(pixels);
        if (picture)
            picture->setDevicePixelRatio(ratio);
        return picture;
    }));
}

void BackgroundPicker::refreshSelection()
{
    const BackgroundStyle& current = m_editor.styling().background;
    for (BackgroundSwatch* swatch : m_swatches)
        swatch->setSelected(swatch->style() == current);
}

void BackgroundPicker::choose(const BackgroundStyle& style)
{
    if (const auto* preset = std::get_if<BackgroundPreset>(&style.value)) {
        m_editor.setBackground(*preset);
    } else if (std::holds_alternative<WallpaperBackground>(style.value)) {
        m_editor.setBackgroundToWallpaper();
    } else {
        StylingConfiguration styling = m_editor.styling();
        styling.background = style;
        m_editor.setStyling(styling);
    }
}

} // namespace pelorin
