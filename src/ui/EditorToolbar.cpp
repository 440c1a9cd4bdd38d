#include "ui/EditorToolbar.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"
#include "ui/ChromeButton.h"
#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include <cmath>

namespace pelorin {

namespace {

struct ToolEntry {
    AnnotationTool tool;
    Glyph glyph;
    const char* name;
};

constexpr ToolEntry toolEntries[] = {
    {AnnotationTool::text, Glyph::textTool, "Text"},
    {AnnotationTool::arrow, Glyph::arrowTool, "Arrow"},
    {AnnotationTool::shape, Glyph::shapeTool, "Shape"},
    {AnnotationTool::redact, Glyph::redactTool, "Redact"},
    {AnnotationTool::quick, Glyph::quickTool, "Quick Annotate"},
    {AnnotationTool::pixelate, Glyph::pixelateTool, "Pixelate"},
    {AnnotationTool::pen, Glyph::penTool, "Pen"},
    {AnnotationTool::highlighter, Glyph::highlighterTool, "Highlighter"},
    {AnnotationTool::step, Glyph::stepTool, "Numbered Step"},
};

QWidget* separator(QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setFixedSize(1, 20);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(1, 1, 1, 0.12f));
    line->setPalette(palette);
    return line;
}

} // namespace

EditorToolbar::EditorToolbar(EditorViewModel& editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
{
    setFixedHeight(48);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 9, 12, 9);
    row->setSpacing(4);

    for (const ToolEntry& entry : toolEntries) {
        const QString name = QString::fromLatin1(entry.name);
        auto* button = new ChromeButton(ChromeButton::Kind::icon, entry.glyph,
                                        QStringLiteral("%1 (%2)").arg(name, shortcutDigit(entry.tool)), this);
        button->setCheckable(true);
        m_tools[entry.tool] = button;
        row->addWidget(button);
        connect(button, &QAbstractButton::clicked, this, [this, tool = entry.tool] {
            // The same toggle as the digit keys: choosing the current tool puts it away.
            m_editor.selectTool(m_editor.selectedTool() == tool ? std::nullopt : std::optional(tool));
            refresh();
        });
    }
    row->addSpacing(6);
    row->addWidget(separator(this));
    row->addSpacing(6);
    m_delete = new ChromeButton(ChromeButton::Kind::icon, Glyph::trash, QStringLiteral("Delete selected annotation"), this);
    row->addWidget(m_delete);
    connect(m_delete, &QAbstractButton::clicked, this, [this] {
        if (!m_editor.selectedAnnotationId().isNull())
            Q_EMIT deleteRequested(m_editor.selectedAnnotationId());
    });

    row->addSpacing(6);
    m_analyze = new ChromeButton(ChromeButton::Kind::toolbarText, Glyph::viewfinder, QStringLiteral("Analyze"), this);
    m_analyze->setToolTip(QStringLiteral("Find the screenshot's components and their text"));
    m_clearAnalysis = new ChromeButton(ChromeButton::Kind::icon, Glyph::arrowCounterclockwise, QStringLiteral("Clear analysis"), this);
    row->addWidget(m_analyze);
    row->addWidget(m_clearAnalysis);
    connect(m_analyze, &QAbstractButton::clicked, &m_editor, &EditorViewModel::analyzeComponents);
    connect(m_clearAnalysis, &QAbstractButton::clicked, &m_editor, &EditorViewModel::clearComponentAnalysis);
    for (auto signal : {&EditorViewModel::isAnalyzingChanged, &EditorViewModel::detectedComponentsChanged,
                        &EditorViewModel::showComponentOverlayChanged})
        connect(&m_editor, signal, this, &EditorToolbar::refresh);

    row->addStretch(1);

    m_zoomOut = new ChromeButton(ChromeButton::Kind::icon, Glyph::zoomOut, QStringLiteral("Zoom Out"), this);
    m_zoomLabel = new QLabel(this);
    m_zoomLabel->setFont(uiFont(12, QFont::Medium));
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    m_zoomLabel->setMinimumWidth(46);
    QPalette labelPalette = m_zoomLabel->palette();
    labelPalette.setColor(QPalette::WindowText, secondaryText());
    m_zoomLabel->setPalette(labelPalette);
    m_zoomIn = new ChromeButton(ChromeButton::Kind::icon, Glyph::zoomIn, QStringLiteral("Zoom In"), this);
    m_fit = new ChromeButton(ChromeButton::Kind::icon, Glyph::fitToWindow, QStringLiteral("Zoom to Fit"), this);
    row->addWidget(m_zoomOut);
    row->addWidget(m_zoomLabel);
    row->addWidget(m_zoomIn);
    row->addWidget(m_fit);
    connect(m_zoomOut, &QAbstractButton::clicked, &m_editor, &EditorViewModel::zoomOut);
    connect(m_zoomIn, &QAbstractButton::clicked, &m_editor, &EditorViewModel::zoomIn);
    connect(m_fit, &QAbstractButton::clicked, &m_editor, &EditorViewModel::zoomToFit);

    row->addSpacing(8);
    row->addWidget(separator(this));
    row->addSpacing(8);
    m_copy = new ChromeButton(ChromeButton::Kind::toolbarText, Glyph::copy, QStringLiteral("Copy"), this);
    m_copy->setToolTip(QStringLiteral("Copy (Ctrl+C)"));
    m_save = new ChromeButton(ChromeButton::Kind::toolbarText, Glyph::save, QStringLiteral("Save"), this);
    m_save->setToolTip(QStringLiteral("Save (Ctrl+S)"));
    for (ChromeButton* button : {m_copy, m_save}) {
        button->setGlyphSize(15);
        row->addWidget(button);
    }
    // Started without waiting: each runs to its end on the event loop.
    connect(m_copy, &QAbstractButton::clicked, this, [this] { m_editor.copyViaShortcut(); });
    connect(m_save, &QAbstractButton::clicked, this, [this] { m_editor.saveViaShortcut(); });

    for (auto signal : {&EditorViewModel::selectedToolChanged, &EditorViewModel::selectedAnnotationIdChanged,
                        &EditorViewModel::canvasTransformChanged, &EditorViewModel::documentChanged,
                        &EditorViewModel::annotationsChanged})
        connect(&m_editor, signal, this, &EditorToolbar::refresh);
    refresh();
}

QString EditorToolbar::zoomText(double zoomLevel)
{
    return QStringLiteral("%1%").arg(std::lround(zoomLevel * 100));
}

void EditorToolbar::refresh()
{
    const bool hasDocument = m_editor.hasDocument();
    for (const auto& [tool, button] : m_tools) {
        button->setEnabled(hasDocument);
        button->setChecked(m_editor.selectedTool() == tool);
    }
    m_delete->setEnabled(hasDocument && !m_editor.selectedAnnotationId().isNull());
    m_analyze->setEnabled(hasDocument && !m_editor.isAnalyzing());
    m_clearAnalysis->setEnabled(hasDocument && (m_editor.showComponentOverlay() || !m_editor.detectedComponents().empty()));
    const double zoom = m_editor.canvasTransform().zoomLevel;
    m_zoomLabel->setText(zoomText(zoom));
    m_zoomOut->setEnabled(hasDocument && zoom > CanvasLimits::minZoom);
    m_zoomIn->setEnabled(hasDocument && zoom < CanvasLimits::maxZoom);
    m_fit->setEnabled(hasDocument);
    m_copy->setEnabled(hasDocument);
    m_save->setEnabled(hasDocument);
}

void EditorToolbar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), panelBackground());
    painter.fillRect(QRect(0, height() - 1, width(), 1), Theme::divider());
}

} // namespace pelorin
