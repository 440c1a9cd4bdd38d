#include "ui/StyleSection.h"

#include "ui/ChromeButton.h"
#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace pelorin {

namespace {

class HeaderGlyph : public QWidget {
public:
    HeaderGlyph(Glyph glyph, QWidget* parent)
        : QWidget(parent)
        , m_glyph(glyph)
    {
        setFixedSize(15, 15);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        paintGlyph(painter, m_glyph, QRectF(rect()), secondaryText());
    }

private:
    Glyph m_glyph;
};

} // namespace

StyleSection::StyleSection(Glyph glyph, const QString& title, bool hasReset, QWidget* parent)
    : QWidget(parent)
    , m_title(title)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 16);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(7);
    header->addWidget(new HeaderGlyph(glyph, this));
    auto* label = new QLabel(title, this);
    label->setFont(uiFont(12.5, QFont::DemiBold));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, primaryText());
    label->setPalette(palette);
    header->addWidget(label);
    header->addStretch(1);
    if (hasReset) {
        m_reset = new ChromeButton(ChromeButton::Kind::icon, Glyph::arrowCounterclockwise,
                                   QStringLiteral("Reset %1").arg(title), this);
        m_reset->setFixedSize(22, 22);
        m_reset->setGlyphSize(13);
        // The header keeps its height whether or not the reset is shown.
        QSizePolicy policy = m_reset->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        m_reset->setSizePolicy(policy);
        m_reset->hide();
        header->addWidget(m_reset);
        connect(m_reset, &QAbstractButton::clicked, this, &StyleSection::resetClicked);
    } else {
        header->addSpacing(22);
    }
    column->addLayout(header);

    m_content = new QVBoxLayout;
    m_content->setSpacing(14);
    column->addLayout(m_content);
}

void StyleSection::setResetShown(bool shown)
{
    if (m_reset)
        m_reset->setVisible(shown);
}

} // namespace pelorin
