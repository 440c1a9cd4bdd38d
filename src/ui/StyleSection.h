#pragma once

#include "ui/Glyphs.h"

#include <QWidget>

class QVBoxLayout;

namespace pelorin {

class ChromeButton;

// One group of the style sidebar: a header with icon and title and, for sections that have
// one, a reset button that shows only while the section differs from its defaults.
class StyleSection : public QWidget {
    Q_OBJECT
public:
    StyleSection(Glyph glyph, const QString& title, bool hasReset, QWidget* parent = nullptr);

    QVBoxLayout* content() const { return m_content; }
    QString title() const { return m_title; }
    // Null for sections without a reset.
    ChromeButton* resetButton() const { return m_reset; }
    void setResetShown(bool shown);

Q_SIGNALS:
    void resetClicked();

private:
    QString m_title;
    QVBoxLayout* m_content;
    ChromeButton* m_reset = nullptr;
};

} // namespace pelorin
