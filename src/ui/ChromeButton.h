#pragma once

#include "ui/Glyphs.h"

#include <QAbstractButton>

#include <optional>

namespace pelorin {

// The editor's own buttons, drawn in the application palette so they look the same on every
// desktop theme.
class ChromeButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind {
        icon,      // square icon button; checked shows the selection fill
        plainPill, // capsule on the control fill
        prominentPill, // capsule in the accent colour
        toolbarText,   // rounded rectangle with icon and text, for the toolbar
    };

    ChromeButton(Kind kind, std::optional<Glyph> glyph, const QString& text, QWidget* parent = nullptr);

    void setGlyph(std::optional<Glyph> glyph);
    std::optional<Glyph> glyph() const { return m_glyph; }
    // Icon-only buttons show their text as the tooltip and accessible name instead.
    void setLabel(const QString& text);
    void setFontPixelSize(double size) { m_fontSize = size; updateGeometry(); }
    void setGlyphSize(double size) { m_glyphSize = size; updateGeometry(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QColor fillColor() const;
    QColor contentColor() const;

    Kind m_kind;
    std::optional<Glyph> m_glyph;
    double m_fontSize = 13;
    double m_glyphSize = 16;
    bool m_hovered = false;
};

} // namespace pelorin
