#include "ui/AnnotationColorPicker.h"

#include "core/AppConstants.h"
#include "ui/UiStyle.h"

#include <QColorDialog>
#include <QConicalGradient>
#include <QHBoxLayout>
#include <QPainter>

#include <cmath>

namespace pelorin {

namespace {

constexpr int buttonSide = 24;
constexpr double dotDiameter = 18;

// One round swatch. Its checked state is the picker's "chosen" mark; clicks do not toggle it.
class SwatchButton : public QAbstractButton {
public:
    SwatchButton(const QColor& color, bool custom, const QString& name, QWidget* parent)
        : QAbstractButton(parent)
        , m_color(color)
        , m_custom(custom)
    {
        setCheckable(true);
        setFixedSize(buttonSide, buttonSide);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setToolTip(name);
        setAccessibleName(name);
    }

    void setColor(const QColor& color)
    {
        m_color = color;
        update();
    }

protected:
    void nextCheckState() override {}

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        const QPointF centre = box.center();
        const double r = dotDiameter / 2;
        const QRectF dot(centre - QPointF(r, r), QSizeF(dotDiameter, dotDiameter));
        painter.setPen(Qt::NoPen);
        if (m_custom) {
            // A hue wheel ring; while the current colour is a custom one it fills the middle.
            QConicalGradient wheel(centre, 90);
            for (int i = 0; i <= 6; ++i)
                wheel.setColorAt(i / 6.0, QColor::fromHsvF(float(i % 6) / 6.0f, 0.85f, 1.0f));
            painter.setBrush(wheel);
            painter.drawEllipse(dot);
            const double inner = isChecked() ? r - 3.5 : r - 4.5;
            painter.setBrush(isChecked() ? m_color : panelBackground());
            painter.drawEllipse(centre, inner, inner);
        } else {
            painter.setBrush(m_color);
            painter.drawEllipse(dot);
            // Light swatches need an edge against the light ring of the chosen mark.
            painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.25f), 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
        }
        if (isChecked() || underMouse() || hasFocus()) {
            QColor ring = isChecked() ? primaryText() : secondaryText();
            if (hasFocus() && !isChecked())
                ring = Theme::accentHover();
            painter.setPen(QPen(ring, 1.6));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(centre, r + 2.2, r + 2.2);
        }
    }

    void enterEvent(QEnterEvent* event) override
    {
        update();
        QAbstractButton::enterEvent(event);
    }
    void leaveEvent(QEvent* event) override
    {
        update();
        QAbstractButton::leaveEvent(event);
    }

private:
    QColor m_color;
    bool m_custom;
};

const char* const swatchNames[AnnotationColorPicker::swatchCount] = {"Red",  "Orange", "Yellow", "Green",
                                                                     "Cyan", "Blue",   "Purple", "White"};

} // namespace

const std::array<QColor, AnnotationColorPicker::swatchCount>& AnnotationColorPicker::swatchColors()
{
    static const std::array<QColor, swatchCount> colors{
        QColor::fromRgbF(1.0f, 0.27f, 0.23f),  QColor::fromRgbF(1.0f, 0.62f, 0.04f), QColor::fromRgbF(1.0f, 0.84f, 0.04f),
        QColor::fromRgbF(0.2f, 0.84f, 0.29f),  QColor::fromRgbF(0.39f, 0.82f, 1.0f), QColor::fromRgbF(0.04f, 0.52f, 1.0f),
        QColor::fromRgbF(0.75f, 0.35f, 0.95f), QColor::fromRgbF(1.0f, 1.0f, 1.0f),
    };
    return colors;
}

bool AnnotationColorPicker::swatchMatches(const QColor& swatch, const QColor& current)
{
    const QColor a = swatch.toRgb();
    const QColor b = current.toRgb();
    return std::fabs(a.redF() - b.redF()) < 0.01 && std::fabs(a.greenF() - b.greenF()) < 0.01
        && std::fabs(a.blueF() - b.blueF()) < 0.01;
}

AnnotationColorPicker::AnnotationColorPicker(const QString& name, QWidget* parent)
    : QWidget(parent)
    , m_color(AppConstants::defaultAnnotationColor())
{
    setAccessibleName(name);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < swatchCount; ++i) {
        const QColor color = swatchColors()[i];
        auto* button = new SwatchButton(color, false, QLatin1String(swatchNames[i]), this);
        connect(button, &QAbstractButton::clicked, this, [this, color] { Q_EMIT colorChosen(color); });
        m_swatches[i] = button;
        row->addWidget(button);
        row->addStretch(1);
    }
    m_custom = new SwatchButton(m_color, true, QStringLiteral("Custom Color…"), this);
    connect(m_custom, &QAbstractButton::clicked, this, &AnnotationColorPicker::openCustomDialog);
    row->addWidget(m_custom);
    updateChosen();
}

void AnnotationColorPicker::setColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    updateChosen();
    if (m_dialog) {
        const QSignalBlocker blocker(m_dialog);
        m_dialog->setCurrentColor(color);
    }
}

void AnnotationColorPicker::updateChosen()
{
    bool matched = false;
    for (int i = 0; i < swatchCount; ++i) {
        const bool chosen = swatchMatches(swatchColors()[i], m_color);
        m_swatches[i]->setChecked(chosen);
        matched = matched || chosen;
    }
    m_custom->setChecked(!matched);
    static_cast<SwatchButton*>(m_custom)->setColor(m_color);
}

void AnnotationColorPicker::openCustomDialog()
{
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    // The widget-based chooser: its hue/saturation field, brightness bar and HSV fields look
    // and behave the same on every desktop.
    m_dialog = new QColorDialog(m_color, this);
    m_dialog->setOption(QColorDialog::DontUseNativeDialog);
    m_dialog->setWindowTitle(QStringLiteral("Custom Color"));
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QColorDialog::colorSelected, this, [this](const QColor& color) {
        QColor opaque = color;
        opaque.setAlphaF(1);
        Q_EMIT colorChosen(opaque);
    });
    // Asynchronous: the editor keeps drawing while the chooser is up.
    m_dialog->open();
}

} // namespace pelorin
