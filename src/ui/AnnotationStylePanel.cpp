#include "ui/AnnotationStylePanel.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"
#include "ui/AnnotationColorPicker.h"
#include "ui/ChromeButton.h"
#include "ui/LabeledSlider.h"
#include "ui/SegmentButton.h"
#include "ui/StyleSection.h"
#include "ui/ToggleSwitch.h"
#include "ui/UiStyle.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <type_traits>

namespace pelorin {

namespace {

const QString sizeLabel = QStringLiteral("Size");
const QString outlineLabel = QStringLiteral("Outline");
const QString outlineColorLabel = QStringLiteral("Outline Color");
const QString thicknessLabel = QStringLiteral("Thickness");
const QString cornerRadiusLabel = QStringLiteral("Corner Radius");
const QString colorLabel = QStringLiteral("Color");
const QString boldName = QStringLiteral("Bold");
const QString italicName = QStringLiteral("Italic");
const QString fillName = QStringLiteral("Fill");
const QString plateName = QStringLiteral("Plate");
const QString plateColorLabel = QStringLiteral("Plate Color");

struct KindEntry {
    AnnotationTool kind;
    Glyph glyph;
    const char* title;
    const char* noun; // what the next one drawn is called in the defaults hint
};

constexpr KindEntry kindEntries[] = {
    {AnnotationTool::text, Glyph::textTool, "Text", "text"},
    {AnnotationTool::arrow, Glyph::arrowTool, "Arrow", "arrow"},
    {AnnotationTool::shape, Glyph::shapeTool, "Shape", "shape"},
    {AnnotationTool::redact, Glyph::redactTool, "Redact", "redaction"},
    {AnnotationTool::pen, Glyph::penTool, "Pen", "pen line"},
    {AnnotationTool::highlighter, Glyph::highlighterTool, "Highlighter", "highlight"},
    {AnnotationTool::step, Glyph::stepTool, "Step", "step"},
};

const KindEntry& entryFor(AnnotationTool kind)
{
    for (const KindEntry& entry : kindEntries) {
        if (entry.kind == kind)
            return entry;
    }
    return kindEntries[0];
}

AnnotationTool kindOf(const Annotation& annotation)
{
    return std::visit(
        [](const auto& record) {
            using R = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<R, TextAnnotation>)
                return AnnotationTool::text;
            else if constexpr (std::is_same_v<R, ArrowAnnotation>)
                return AnnotationTool::arrow;
            else if constexpr (std::is_same_v<R, ShapeAnnotation>)
                return AnnotationTool::shape;
            else if constexpr (std::is_same_v<R, RedactAnnotation>)
                return AnnotationTool::redact;
            else if constexpr (std::is_same_v<R, StrokeAnnotation>)
                return record.kind == StrokeKind::pen ? AnnotationTool::pen : AnnotationTool::highlighter;
            else
                return AnnotationTool::step;
        },
        annotation);
}

// Runs `change` on the annotation when it is a record of type R.
template <class R>
std::function<void(Annotation&)> on(std::function<void(R&)> change)
{
    return [change = std::move(change)](Annotation& annotation) {
        if (auto* record = std::get_if<R>(&annotation))
            change(*record);
    };
}

template <class R>
std::function<void(Annotation&, double)> onValue(std::function<void(R&, double)> change)
{
    return [change = std::move(change)](Annotation& annotation, double value) {
        if (auto* record = std::get_if<R>(&annotation))
            change(*record, value);
    };
}

QLabel* caption(const QString& text, QWidget* parent)
{
    return styledLabel(text, uiFont(12), secondaryText(), parent);
}

void addHead(QPainterPath& fill, QPointF tip, double direction)
{
    const double size = 6;
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip + QPointF(-direction * size, -size * 0.6));
    head.lineTo(tip + QPointF(-direction * size, size * 0.6));
    head.closeSubpath();
    fill.addPath(head);
}

SegmentPainter arrowContent(ArrowStyle style)
{
    return SegmentButton::drawing([style](QPainterPath& stroke, QPainterPath& fill) {
        const double left = style == ArrowStyle::double_ ? 6 : 2;
        const double right = style == ArrowStyle::line ? 22 : 18;
        stroke.moveTo(left, 8);
        stroke.lineTo(right, 8);
        if (style != ArrowStyle::line)
            addHead(fill, {23, 8}, 1);
        if (style == ArrowStyle::double_)
            addHead(fill, {1, 8}, -1);
    });
}

SegmentPainter shapeContent(ShapeType type)
{
    return SegmentButton::drawing([type](QPainterPath& stroke, QPainterPath&) {
        switch (type) {
        case ShapeType::rectangle:
            stroke.addRect(QRectF(3, 2, 18, 12));
            break;
        case ShapeType::roundedRectangle:
            stroke.addRoundedRect(QRectF(3, 2, 18, 12), 4, 4);
            break;
        case ShapeType::ellipse:
            stroke.addEllipse(QRectF(2, 2.5, 20, 11));
            break;
        case ShapeType::circle:
            stroke.addEllipse(QRectF(5.5, 1.5, 13, 13));
            break;
        }
    });
}

QFont designFont(TextDesign design)
{
    TextAnnotation sample;
    sample.design = design;
    sample.fontWeight = FontWeight::medium;
    QFont font = displayFont(sample);
    font.setPixelSize(12);
    return font;
}

} // namespace

AnnotationStylePanel::AnnotationStylePanel(EditorViewModel& editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
{
    setFixedWidth(sidePanelWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 16);
    column->setSpacing(0);

    buildTextPanel();
    buildArrowPanel();
    buildShapePanel();
    buildRedactPanel();
    buildStrokeAndStepPanels();
    for (const KindEntry& entry : kindEntries)
        column->addWidget(m_panels[entry.kind].section);

    m_defaultsHint = new QLabel(this);
    m_defaultsHint->setFont(uiFont(11.5));
    m_defaultsHint->setContentsMargins(16, 0, 16, 0);
    QPalette hintPalette = m_defaultsHint->palette();
    hintPalette.setColor(QPalette::WindowText, secondaryText());
    m_defaultsHint->setPalette(hintPalette);
    column->addWidget(m_defaultsHint);
    column->addStretch(1);

    for (auto signal : {&EditorViewModel::documentChanged, &EditorViewModel::annotationsChanged,
                        &EditorViewModel::selectedAnnotationIdChanged,
                        &EditorViewModel::selectedToolChanged, &EditorViewModel::annotationColorChanged,
                        &EditorViewModel::annotationDefaultsChanged})
        connect(&m_editor, signal, this, &AnnotationStylePanel::refresh);
    refresh();
}

void AnnotationStylePanel::buildTextPanel()
{
    Panel& text = addPanel(AnnotationTool::text);
    auto* designs = new QHBoxLayout;
    designs->setSpacing(6);
    const std::pair<TextDesign, const char*> designNames[] = {
        {TextDesign::standard, "Sans"}, {TextDesign::serif, "Serif"}, {TextDesign::rounded, "Round"}, {TextDesign::mono, "Mono"}};
    for (const auto& [design, name] : designNames) {
        const QString label = QLatin1String(name);
        designs->addWidget(addButton(text, new SegmentButton(label, SegmentButton::text(label, designFont(design)), text.section),
                                     on<TextAnnotation>([design](TextAnnotation& t) { t.design = design; })));
    }
    text.section->content()->addLayout(designs);

    auto* emphasis = new QHBoxLayout;
    emphasis->setSpacing(6);
    QFont bold = uiFont(12.5, QFont::Bold);
    QFont italic = uiFont(12.5, QFont::Medium);
    italic.setItalic(true);
    // Bold and regular take turns; any other weight becomes bold first.
    emphasis->addWidget(addButton(text, new SegmentButton(boldName, SegmentButton::text(boldName, bold), text.section),
                                  on<TextAnnotation>([](TextAnnotation& t) {
                                      t.fontWeight = t.fontWeight == FontWeight::bold ? FontWeight::regular : FontWeight::bold;
                                  })));
    emphasis->addWidget(addButton(text, new SegmentButton(italicName, SegmentButton::text(italicName, italic), text.section),
                                  on<TextAnnotation>([](TextAnnotation& t) { t.isItalic = !t.isItalic; })));
    text.section->content()->addLayout(emphasis);

    addSlider(text, sizeLabel, 10, 96, 1, onValue<TextAnnotation>([](TextAnnotation& t, double v) { t.fontSize = v; }));
    addSlider(text, outlineLabel, AppConstants::textStrokeWidthRange.lower, AppConstants::textStrokeWidthRange.upper, 0.5,
              onValue<TextAnnotation>([](TextAnnotation& t, double v) { t.strokeWidth = v; }));
    auto* outlineRow = new QVBoxLayout;
    outlineRow->setSpacing(8);
    outlineRow->addWidget(caption(outlineColorLabel, text.section));
    m_outlineColor = new AnnotationColorPicker(outlineColorLabel, text.section);
    outlineRow->addWidget(m_outlineColor);
    text.section->content()->addLayout(outlineRow);
    connect(m_outlineColor, &AnnotationColorPicker::colorChosen, this, [this](const QColor& color) {
        m_editor.editInspectedAnnotation(on<TextAnnotation>([color](TextAnnotation& t) { t.strokeColor = color; }));
    });

    // The plate behind the text: white until another colour is chosen.
    auto* plate = new ToggleSwitch(plateName, text.section);
    text.section->content()->addWidget(plate);
    text.buttons.push_back(plate);
    connect(plate, &QAbstractButton::clicked, this, [this] {
        m_editor.editInspectedAnnotation(on<TextAnnotation>([](TextAnnotation& t) {
            t.backgroundColor = t.backgroundColor ? std::nullopt : std::optional<QColor>(Qt::white);
        }));
    });
    auto* plateRow = new QVBoxLayout;
    plateRow->setSpacing(8);
    plateRow->addWidget(caption(plateColorLabel, text.section));
    m_plateColor = new AnnotationColorPicker(plateColorLabel, text.section);
    plateRow->addWidget(m_plateColor);
    text.section->content()->addLayout(plateRow);
    connect(m_plateColor, &AnnotationColorPicker::colorChosen, this, [this](const QColor& color) {
        m_editor.editInspectedAnnotation(on<TextAnnotation>([color](TextAnnotation& t) { t.backgroundColor = color; }));
    });
}

void AnnotationStylePanel::buildArrowPanel()
{
    Panel& arrow = addPanel(AnnotationTool::arrow);
    auto* styles = new QHBoxLayout;
    styles->setSpacing(6);
    const std::pair<ArrowStyle, const char*> styleNames[] = {
        {ArrowStyle::single, "Single"}, {ArrowStyle::double_, "Double"}, {ArrowStyle::line, "Line"}};
    for (const auto& [style, name] : styleNames) {
        styles->addWidget(addButton(arrow, new SegmentButton(QLatin1String(name), arrowContent(style), arrow.section),
                                    on<ArrowAnnotation>([style](ArrowAnnotation& a) { a.style = style; })));
    }
    arrow.section->content()->addLayout(styles);
    addSlider(arrow, thicknessLabel, 1, 12, 1,
              onValue<ArrowAnnotation>([](ArrowAnnotation& a, double v) { a.strokeWidth = v; }));
}

void AnnotationStylePanel::buildShapePanel()
{
    Panel& shape = addPanel(AnnotationTool::shape);
    auto* types = new QHBoxLayout;
    types->setSpacing(6);
    const std::pair<ShapeType, const char*> typeNames[] = {{ShapeType::rectangle, "Rectangle"},
                                                           {ShapeType::roundedRectangle, "Rounded Rectangle"},
                                                           {ShapeType::ellipse, "Ellipse"},
                                                           {ShapeType::circle, "Circle"}};
    for (const auto& [type, name] : typeNames) {
        types->addWidget(addButton(shape, new SegmentButton(QLatin1String(name), shapeContent(type), shape.section),
                                   on<ShapeAnnotation>([type](ShapeAnnotation& s) { s.shapeType = type; })));
    }
    shape.section->content()->addLayout(types);
    addSlider(shape, thicknessLabel, 1, 12, 1,
              onValue<ShapeAnnotation>([](ShapeAnnotation& s, double v) { s.strokeWidth = v; }));
    auto* fill = new ToggleSwitch(fillName, shape.section);
    shape.section->content()->addWidget(fill);
    shape.buttons.push_back(fill);
    connect(fill, &QAbstractButton::clicked, this, [this] {
        m_editor.editInspectedAnnotation(on<ShapeAnnotation>([](ShapeAnnotation& s) {
            if (s.fillColor) {
                s.fillColor.reset();
            } else {
                QColor tint = s.color;
                tint.setAlphaF(0.25f);
                s.fillColor = tint;
            }
        }));
    });
}

void AnnotationStylePanel::buildRedactPanel()
{
    Panel& redact = addPanel(AnnotationTool::redact);
    auto* styles = new QHBoxLayout;
    styles->setSpacing(6);
    const std::pair<RedactStyle, const char*> styleNames[] = {
        {RedactStyle::solid, "Solid"}, {RedactStyle::pixelate, "Pixelate"}, {RedactStyle::blur, "Blur"}};
    for (const auto& [style, name] : styleNames) {
        const QString label = QLatin1String(name);
        styles->addWidget(addButton(redact, new SegmentButton(label, SegmentButton::text(label, uiFont(12, QFont::Medium)), redact.section),
                                    on<RedactAnnotation>([style](RedactAnnotation& r) { r.redactStyle = style; })));
    }
    redact.section->content()->addLayout(styles);
    addSlider(redact, cornerRadiusLabel, 0, 24, 1,
              onValue<RedactAnnotation>([](RedactAnnotation& r, double v) { r.cornerRadius = v; }));
}

void AnnotationStylePanel::buildStrokeAndStepPanels()
{
    Panel& pen = addPanel(AnnotationTool::pen);
    addSlider(pen, thicknessLabel, 1, 24, 1,
              onValue<StrokeAnnotation>([](StrokeAnnotation& s, double v) { s.strokeWidth = v; }));
    Panel& highlighter = addPanel(AnnotationTool::highlighter);
    addSlider(highlighter, thicknessLabel, 8, 48, 1,
              onValue<StrokeAnnotation>([](StrokeAnnotation& s, double v) { s.strokeWidth = v; }));
    // The highlighter's colour is its own, not the colour the other tools share.
    disconnect(highlighter.color, &AnnotationColorPicker::colorChosen, &m_editor, nullptr);
    connect(highlighter.color, &AnnotationColorPicker::colorChosen, this, [this](const QColor& color) {
        m_editor.editInspectedAnnotation(on<StrokeAnnotation>([color](StrokeAnnotation& s) { s.color = color; }));
    });
    Panel& step = addPanel(AnnotationTool::step);
    // Grows and shrinks about its centre, so it stays on what it numbers.
    addSlider(step, sizeLabel, 16, 96, 1, onValue<StepAnnotation>([](StepAnnotation& s, double v) {
                  s.position += QPointF(s.size - v, s.size - v) / 2;
                  s.size = v;
              }));
}

void AnnotationStylePanel::paintEvent(QPaintEvent*)
{
    // The panel behind the sections, with the hairline towards the canvas.
    QPainter painter(this);
    painter.fillRect(rect(), panelBackground());
    painter.fillRect(QRect(0, 0, 1, height()), Theme::divider());
}

AnnotationStylePanel::Panel& AnnotationStylePanel::addPanel(AnnotationTool kind)
{
    const KindEntry& entry = entryFor(kind);
    const QString title = QLatin1String(entry.title);
    Panel& panel = m_panels[kind];
    panel.section = new StyleSection(entry.glyph, title, true, this);
    panel.section->resetButton()->setToolTip(QStringLiteral("Reset %1 to defaults").arg(title.toLower()));
    panel.section->resetButton()->setAccessibleName(QStringLiteral("Reset %1 to defaults").arg(title.toLower()));
    connect(panel.section, &StyleSection::resetClicked, this, [this] { m_editor.resetInspectedAnnotationStyle(); });

    auto* colorRow = new QVBoxLayout;
    colorRow->setSpacing(8);
    colorRow->addWidget(caption(colorLabel, panel.section));
    panel.color = new AnnotationColorPicker(colorLabel, panel.section);
    colorRow->addWidget(panel.color);
    panel.section->content()->addLayout(colorRow);
    // The colour is the editor's shared annotation colour: choosing one also recolours the
    // selected annotation.
    connect(panel.color, &AnnotationColorPicker::colorChosen, &m_editor, &EditorViewModel::setAnnotationColor);
    return panel;
}

LabeledSlider* AnnotationStylePanel::addSlider(Panel& panel, const QString& label, double lower, double upper, double step,
                                              std::function<void(Annotation&, double)> write)
{
    auto* slider = new LabeledSlider(label, lower, upper, step, panel.section);
    panel.section->content()->addWidget(slider);
    panel.sliders.push_back(slider);
    connect(slider, &LabeledSlider::valueEdited, this, [this, write = std::move(write)](double value) {
        m_editor.editInspectedAnnotation([&](Annotation& annotation) { write(annotation, value); });
    });
    // One drag of a slider is one step of undo, however many values it passed through.
    connect(slider, &LabeledSlider::draggingChanged, this, [this](bool dragging) {
        if (dragging)
            m_editor.beginAnnotationEditRun(m_editor.selectedAnnotationId());
        else
            m_editor.endAnnotationEditRun();
    });
    return slider;
}

QAbstractButton* AnnotationStylePanel::addButton(Panel& panel, QAbstractButton* button, std::function<void(Annotation&)> change)
{
    panel.buttons.push_back(button);
    connect(button, &QAbstractButton::clicked, this, [this, change = std::move(change)] { m_editor.editInspectedAnnotation(change); });
    return button;
}

StyleSection* AnnotationStylePanel::section(AnnotationTool kind) const
{
    const auto found = m_panels.find(kind);
    return found == m_panels.end() ? nullptr : found->second.section;
}

LabeledSlider* AnnotationStylePanel::slider(AnnotationTool kind, const QString& label) const
{
    const auto found = m_panels.find(kind);
    if (found == m_panels.end())
        return nullptr;
    for (LabeledSlider* slider : found->second.sliders) {
        if (slider->label() == label)
            return slider;
    }
    return nullptr;
}

QAbstractButton* AnnotationStylePanel::button(AnnotationTool kind, const QString& name) const
{
    const auto found = m_panels.find(kind);
    if (found == m_panels.end())
        return nullptr;
    for (QAbstractButton* button : found->second.buttons) {
        if (button->accessibleName() == name)
            return button;
    }
    return nullptr;
}

AnnotationColorPicker* AnnotationStylePanel::colorPicker(AnnotationTool kind) const
{
    const auto found = m_panels.find(kind);
    return found == m_panels.end() ? nullptr : found->second.color;
}

void AnnotationStylePanel::refresh()
{
    const std::optional<Annotation> annotation = m_editor.inspectedAnnotation();
    const std::optional<AnnotationTool> kind = annotation ? std::optional(kindOf(*annotation)) : std::nullopt;
    for (auto& [panelKind, panel] : m_panels)
        panel.section->setVisible(panelKind == kind);
    if (annotation) {
        showValues(*annotation);
        m_panels[*kind].section->setResetShown(EditorViewModel::annotationStyleIsDirty(*annotation));
        const bool isDefaults = annotationId(*annotation) != m_editor.selectedAnnotationId();
        m_defaultsHint->setVisible(isDefaults);
        m_defaultsHint->setText(QStringLiteral("Applies to the next %1 you add.").arg(QLatin1String(entryFor(*kind).noun)));
    }
    if (kind != m_kind) {
        const bool wasInspecting = m_kind.has_value();
        m_kind = kind;
        if (wasInspecting != m_kind.has_value())
            Q_EMIT inspectingChanged(m_kind.has_value());
    }
}

void AnnotationStylePanel::showValues(const Annotation& annotation)
{
    Panel& panel = m_panels[kindOf(annotation)];
    panel.color->setColor(annotationColor(annotation));
    const auto check = [&](const QString& name, bool on) {
        if (auto* toggle = qobject_cast<ToggleSwitch*>(button(kindOf(annotation), name)))
            toggle->setCheckedQuietly(on);
        else if (QAbstractButton* b = button(kindOf(annotation), name))
            b->setChecked(on);
    };
    if (const auto* text = std::get_if<TextAnnotation>(&annotation)) {
        check(QStringLiteral("Sans"), text->design == TextDesign::standard);
        check(QStringLiteral("Serif"), text->design == TextDesign::serif);
        check(QStringLiteral("Round"), text->design == TextDesign::rounded);
        check(QStringLiteral("Mono"), text->design == TextDesign::mono);
        check(boldName, text->fontWeight == FontWeight::bold);
        check(italicName, text->isItalic);
        slider(AnnotationTool::text, sizeLabel)->setValue(text->fontSize);
        slider(AnnotationTool::text, outlineLabel)->setValue(text->strokeWidth);
        m_outlineColor->setColor(text->strokeColor);
        check(plateName, text->backgroundColor.has_value());
        m_plateColor->setColor(text->backgroundColor.value_or(Qt::white));
    } else if (const auto* arrow = std::get_if<ArrowAnnotation>(&annotation)) {
        check(QStringLiteral("Single"), arrow->style == ArrowStyle::single);
        check(QStringLiteral("Double"), arrow->style == ArrowStyle::double_);
        check(QStringLiteral("Line"), arrow->style == ArrowStyle::line);
        slider(AnnotationTool::arrow, thicknessLabel)->setValue(arrow->strokeWidth);
    } else if (const auto* shape = std::get_if<ShapeAnnotation>(&annotation)) {
        check(QStringLiteral("Rectangle"), shape->shapeType == ShapeType::rectangle);
        check(QStringLiteral("Rounded Rectangle"), shape->shapeType == ShapeType::roundedRectangle);
        check(QStringLiteral("Ellipse"), shape->shapeType == ShapeType::ellipse);
        check(QStringLiteral("Circle"), shape->shapeType == ShapeType::circle);
        slider(AnnotationTool::shape, thicknessLabel)->setValue(shape->strokeWidth);
        check(fillName, shape->fillColor.has_value());
    } else if (const auto* redact = std::get_if<RedactAnnotation>(&annotation)) {
        check(QStringLiteral("Solid"), redact->redactStyle == RedactStyle::solid);
        check(QStringLiteral("Pixelate"), redact->redactStyle == RedactStyle::pixelate);
        check(QStringLiteral("Blur"), redact->redactStyle == RedactStyle::blur);
        slider(AnnotationTool::redact, cornerRadiusLabel)->setValue(redact->cornerRadius);
    } else if (const auto* stroke = std::get_if<StrokeAnnotation>(&annotation)) {
        slider(kindOf(annotation), thicknessLabel)->setValue(stroke->strokeWidth);
    } else if (const auto* step = std::get_if<StepAnnotation>(&annotation)) {
        slider(AnnotationTool::step, sizeLabel)->setValue(step->size);
    }
}

} // namespace pelorin
