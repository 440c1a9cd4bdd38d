#include "ui/EmptyStateView.h"

#include "editor/EditorViewModel.h"
#include "ui/ChromeButton.h"
#include "ui/Glyphs.h"
#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace pelorin {

namespace {

class GlyphLabel : public QWidget {
public:
    GlyphLabel(Glyph glyph, double side, QColor color, QWidget* parent)
        : QWidget(parent)
        , m_glyph(glyph)
        , m_color(color)
    {
        setFixedSize(int(side), int(side));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        // The light weight of the large symbol.
        paintGlyph(painter, m_glyph, QRectF(rect()), m_color, 0.75);
    }

private:
    Glyph m_glyph;
    QColor m_color;
};

QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    QLabel* label = styledLabel(text, font, color, parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

EmptyStateView::EmptyStateView(EditorViewModel& editor, QWidget* parent)
    : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setSpacing(0);
    column->addStretch(1);

    auto* icon = new GlyphLabel(Glyph::photoOnRectangleAngled, 56, QColor::fromRgbF(1, 1, 1, 0.18f), this);
    column->addWidget(icon, 0, Qt::AlignHCenter);
    column->addSpacing(18);
    column->addWidget(textLabel(QStringLiteral("Drop an image to get started"), uiFont(15, QFont::Medium),
                                QColor::fromRgbF(1, 1, 1, 0.85f), this));
    column->addSpacing(6);
    column->addWidget(textLabel(QStringLiteral("or capture something new"), uiFont(12), secondaryText(), this));
    column->addSpacing(22);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch(1);
    m_region = new ChromeButton(ChromeButton::Kind::prominentPill, Glyph::viewfinder, QStringLiteral("Capture Region"), this);
    m_window = new ChromeButton(ChromeButton::Kind::plainPill, Glyph::window, QStringLiteral("Capture Window"), this);
    buttons->addWidget(m_region);
    buttons->addWidget(m_window);
    buttons->addStretch(1);
    column->addLayout(buttons);
    column->addStretch(1);

    connect(m_region, &QAbstractButton::clicked, &editor, &EditorViewModel::captureNewScreenshot);
    connect(m_window, &QAbstractButton::clicked, &editor, &EditorViewModel::captureWindow);
    const auto refresh = [this, &editor] {
        m_region->setEnabled(!editor.isCapturing());
        m_window->setEnabled(!editor.isCapturing());
    };
    connect(&editor, &EditorViewModel::isCapturingChanged, this, refresh);
    refresh();
}

} // namespace pelorin
