#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

namespace pelorin {

// A labelled on/off switch for the sidebars: the label on the left, the switch on the right;
// a click anywhere on the row flips it.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(const QString& label, QWidget* parent = nullptr);

    // Shows a state without announcing it as a user change.
    void setCheckedQuietly(bool checked);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void checkStateSet() override;
    void nextCheckState() override;

private:
    void animateKnob();

    double m_knob = 0; // 0 off … 1 on
    QVariantAnimation m_animation;
};

} // namespace pelorin
