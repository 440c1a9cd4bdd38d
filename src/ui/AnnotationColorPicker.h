#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QColorDialog>
#include <QPointer>
#include <QWidget>

#include <array>

namespace pelorin {

// A row of eight colour swatches and a ninth button that opens a hue/saturation/brightness
// chooser for any other colour. The swatch matching the current colour shows as chosen; when
// none does, the custom button does, filled with the current colour.
class AnnotationColorPicker : public QWidget {
    Q_OBJECT
public:
    static constexpr int swatchCount = 8;
    static const std::array<QColor, swatchCount>& swatchColors();
    // A swatch counts as the current colour when each of red, green and blue differs by less
    // than 0.01; opacity is not compared.
    static bool swatchMatches(const QColor& swatch, const QColor& current);

    explicit AnnotationColorPicker(const QString& name, QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    // Shows a colour without announcing it (the editor's value coming back).
    void setColor(const QColor& color);
    QAbstractButton* swatch(int index) const { return m_swatches[index]; }
    QAbstractButton* customButton() const { return m_custom; }
    // The custom colour chooser while it is open.
    QColorDialog* customDialog() const { return m_dialog; }

Q_SIGNALS:
    // The user picked a colour.
    void colorChosen(const QColor& color);

private:
    void openCustomDialog();
    void updateChosen();

    QColor m_color;
    std::array<QAbstractButton*, swatchCount> m_swatches{};
    QAbstractButton* m_custom;
    QPointer<QColorDialog> m_dialog;
};

} // namespace pelorin
