#include "ui/ChromeButton.h"

#include "core/AppConstants.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace pelorin {

namespace {

constexpr double iconSide = 30;
constexpr double pillHeight = 32;
constexpr double toolbarHeight = 30;
constexpr double glyphGap = 6;

} // namespace

ChromeButton::ChromeButton(Kind kind, std::optional<Glyph> glyph, const QString& text, QWidget* parent)
    : QAbstractButton(parent)
    , m_kind(kind)
    , m_glyph(glyph)
{
    setCursor(Qt::PointingHandCursor);
    // Like toolbar buttons everywhere: a click does not take the keyboard focus away.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    if (m_kind == Kind::prominentPill || m_kind == Kind::plainPill)
        m_fontSize = 13;
    setLabel(text);
}

void ChromeButton::setGlyph(std::optional<Glyph> glyph)
{
    m_glyph = glyph;
    update();
}

void ChromeButton::setLabel(const QString& text)
{
    if (m_kind == Kind::icon) {
        setToolTip(text);
        setAccessibleName(text);
        setText(text);
    } else {
        setText(text);
        setAccessibleName(text);
    }
    updateGeometry();
    update();
}

QSize ChromeButton::sizeHint() const
{
    if (m_kind == Kind::icon)
        return {int(iconSide), int(iconSide)};
    const QFontMetricsF metrics(uiFont(m_fontSize, QFont::Medium));
    double width = metrics.horizontalAdvance(text());
    if (m_glyph)
        width += m_glyphSize + glyphGap;
    switch (m_kind) {
    case Kind::plainPill:
    case Kind::prominentPill:
        return {int(std::ceil(width + 2 * 16)), int(pillHeight)};
    case Kind::toolbarText:
        return {int(std::ceil(width + 2 * 11)), int(toolbarHeight)};
    case Kind::icon:
        break;
    }
    return {int(iconSide), int(iconSide)};
}

QColor ChromeButton::fillColor() const
{
    const bool pressed = isDown();
    switch (m_kind) {
    case Kind::prominentPill:
        return (m_hovered || pressed) && isEnabled() ? Theme::accentHover() : Theme::accent();
    case Kind::plainPill:
    case Kind::toolbarText:
        if (isChecked())
            return Theme::selectionFill();
        return (m_hovered || pressed) && isEnabled() ? Theme::controlFillHover() : Theme::controlFill();
    case Kind::icon:
        if (isChecked())
            return Theme::selectionFill();
        return (m_hovered || pressed) && isEnabled() ? Theme::controlFillHover() : QColor(Qt::transparent);
    }
    return Qt::transparent;
}

QColor ChromeButton::contentColor() const
{
    if (!isEnabled())
        return tertiaryText();
    switch (m_kind) {
    case Kind::prominentPill:
        return Qt::white;
    case Kind::icon:
        return isChecked() ? Theme::accentHover() : primaryText();
    case Kind::plainPill:
    case Kind::toolbarText:
        return primaryText();
    }
    return primaryText();
}

void ChromeButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = (m_kind == Kind::plainPill || m_kind == Kind::prominentPill) ? box.height() / 2 : Theme::controlRadius;
    QColor fill = fillColor();
    if (!isEnabled() && m_kind == Kind::prominentPill)
        fill.setAlphaF(0.4f);
    if (fill.alpha() > 0) {
        QPainterPath path;
        path.addRoundedRect(box, radius, radius);
        painter.fillPath(path, fill);
    }
    if (hasFocus() && focusPolicy() != Qt::NoFocus) {
        painter.setPen(QPen(Theme::accentHover(), 1.5));
        painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    }
    const QColor content = contentColor();
    if (m_kind == Kind::icon) {
        if (m_glyph) {
            const QRectF glyphBox(box.center() - QPointF(m_glyphSize / 2, m_glyphSize / 2), QSizeF(m_glyphSize, m_glyphSize));
            paintGlyph(painter, *m_glyph, glyphBox, content);
        }
        return;
    }
    const QFont font = uiFont(m_fontSize, QFont::Medium);
    const QFontMetricsF metrics(font);
    const double textWidth = metrics.horizontalAdvance(text());
    const double total = textWidth + (m_glyph ? m_glyphSize + glyphGap : 0);
    double x = box.center().x() - total / 2;
    if (m_glyph) {
        paintGlyph(painter, *m_glyph, QRectF(x, box.center().y() - m_glyphSize / 2, m_glyphSize, m_glyphSize), content);
        x += m_glyphSize + glyphGap;
    }
    painter.setFont(font);
    painter.setPen(content);
    const double baseline = box.center().y() + (metrics.ascent() - metrics.descent()) / 2;
    painter.drawText(QPointF(x, baseline), text());
}

void ChromeButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ChromeButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace pelorin
