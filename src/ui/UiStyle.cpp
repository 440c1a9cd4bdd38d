#include "ui/UiStyle.h"

#include "core/AppConstants.h"
#include "core/Fonts.h"

#include <QLabel>

namespace pelorin {

QFont uiFont(double pixelSize, QFont::Weight weight)
{
    loadBundledFonts();
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(std::max(1, qRound(pixelSize)));
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QLabel* styledLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

QColor primaryText()
{
    return QColor::fromRgbF(1, 1, 1, 0.92f);
}

QColor secondaryText()
{
    return QColor::fromRgbF(1, 1, 1, 0.55f);
}

QColor tertiaryText()
{
    return QColor::fromRgbF(1, 1, 1, 0.35f);
}

QColor panelBackground()
{
    return Theme::chrome();
}

} // namespace pelorin
