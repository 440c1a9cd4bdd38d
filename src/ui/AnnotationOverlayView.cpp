#include "ui/AnnotationOverlayView.h"

#include "core/AppConstants.h"
#include "core/DimHoles.h"
#include "core/Fonts.h"
#include "core/ViewState.h"
#include "editor/EditorViewModel.h"
#include "render/AnnotationPainter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>

namespace pelorin {

namespace {

// Canvas points a press on empty card must travel before it drags out a new annotation.
constexpr double creationThreshold = 5;

// A drawn arrow attaches its ends by the rule of a dragged end: an end let go on a shape, or
// within reach of it, attaches to it. An arrow drawn wholly inside one shape points at
// something in it and stays free.
ArrowAnnotation attachedOnCreation(const EditorViewModel& editor, ArrowAnnotation arrow)
{
    for (const bool start : {false, true}) {
        const QPointF end = start ? arrow.position : arrow.endPoint;
        const QPointF other = start ? arrow.endPoint : arrow.position;
        const auto candidate = editor.arrowAttachCandidate(end, arrow.id, std::nullopt);
        if (candidate && !candidate->bounds.contains(other))
            arrow = editor.arrowWithMovedEnd(arrow, start, {});
    }
    return arrow;
}
constexpr double minimumSide = 20;
// Extra reach around a handle, so a handle of 10 points is not a needle's eye.
constexpr double handleGrace = 2;

QRectF dragRect(QPointF a, QPointF b)
{
    return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(std::abs(b.x() - a.x()), minimumSide),
            std::max(std::abs(b.y() - a.y()), minimumSide)};
}

// Tools that draw wherever they are used, also over other annotations.
bool drawsOverAnnotations(std::optional<AnnotationTool> tool)
{
    return tool == AnnotationTool::pen || tool == AnnotationTool::highlighter || tool == AnnotationTool::step;
}

std::optional<StrokeKind> strokeKindOf(std::optional<AnnotationTool> tool)
{
    if (tool == AnnotationTool::pen)
        return StrokeKind::pen;
    if (tool == AnnotationTool::highlighter)
        return StrokeKind::highlighter;
    return std::nullopt;
}

// Canvas points between two samples of a freehand line: finer adds only noise to smooth away.
constexpr double strokeSampleSpacing = 2;

std::optional<StepAnnotation> findStep(const EditorViewModel& editor, const QUuid& id)
{
    if (!editor.document())
        return std::nullopt;
    for (const Annotation& a : editor.document()->annotations) {
        if (const auto* step = std::get_if<StepAnnotation>(&a); step && step->id == id)
            return *step;
    }
    return std::nullopt;
}

std::optional<TextAnnotation> findText(const EditorViewModel& editor, const QUuid& id)
{
    if (!editor.document())
        return std::nullopt;
    for (const Annotation& a : editor.document()->annotations) {
        if (const auto* text = std::get_if<TextAnnotation>(&a); text && text->id == id)
            return *text;
    }
    return std::nullopt;
}

} // namespace

AnnotationTextField::AnnotationTextField(QWidget* parent)
    : QTextEdit(parent)
{
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setPlaceholderText(QStringLiteral("Text"));
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
}

void AnnotationTextField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT escapePressed();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (event->modifiers() & Qt::ShiftModifier)
            insertPlainText(QStringLiteral("\n"));
        else
            Q_EMIT submitted();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void AnnotationTextField::focusOutEvent(QFocusEvent* event)
{
    QTextEdit::focusOutEvent(event);
    // Switching to another window or opening a menu keeps the edit going.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason && isVisible())
        Q_EMIT submitted();
}

AnnotationOverlayView::AnnotationOverlayView(EditorViewModel& editor, QWidget* canvas)
    : QWidget(canvas)
    , m_editor(editor)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    for (auto signal : {&EditorViewModel::documentChanged, &EditorViewModel::annotationsChanged,
                        &EditorViewModel::canvasTransformChanged, &EditorViewModel::sceneStateChanged,
                        &EditorViewModel::isRotatingGestureChanged, &EditorViewModel::selectedAnnotationIdChanged,
                        &EditorViewModel::localDetectedElementsChanged, &EditorViewModel::isDetectingElementsChanged,
                        &EditorViewModel::detectedComponentsChanged})
        connect(&m_editor, signal, this, &AnnotationOverlayView::refresh);
    connect(&m_editor, &EditorViewModel::selectedAnnotationIdChanged, this, [this] {
        if (!m_editingTextId.isNull() && m_editor.selectedAnnotationId() != m_editingTextId)
            commitActiveTextEdit(false);
    });
    connect(&m_editor, &EditorViewModel::selectedToolChanged, this, [this] {
        if (m_editor.selectedTool() != AnnotationTool::quick) {
            if (m_quickPhase.rectId)
                setQuickPhase({});
            m_quickHoverPoint.reset();
        }
        update();
    });
    connect(&m_editor, &EditorViewModel::annotationsChanged, this, [this] {
        // An undo can take away the text being typed into.
        if (!m_editingTextId.isNull() && !findText(m_editor, m_editingTextId) && !findStep(m_editor, m_editingTextId)) {
            m_editingTextId = {};
            m_field->hide();
        }
    });
    connect(&m_editor, &EditorViewModel::canvasTransformChanged, this, &AnnotationOverlayView::placeTextField);
    connect(&m_editor, &EditorViewModel::annotationColorChanged, this, qOverload<>(&QWidget::update));
    refresh();
}

AnnotationOverlayView::~AnnotationOverlayView()
{
    if (m_quickPhase.rectId)
        m_editor.setQuickChainEscapeHandler({});
}

bool AnnotationOverlayView::isPresent() const
{
    return m_editor.hasDocument() && !cardIsRotated(m_editor);
}

bool AnnotationOverlayView::cardIsRotated(const EditorViewModel& editor)
{
    const SceneState& s = editor.sceneState();
    return s.isPerspective
        && (editor.isRotatingGesture() || std::fabs(s.yaw) >= CanvasLimits::tiltThreshold
            || std::fabs(s.pitch) >= CanvasLimits::tiltThreshold);
}

CanvasMapping AnnotationOverlayView::mapping() const
{
    const std::optional<QRectF> card = m_editor.cardRect(QSizeF(size()));
    return {card ? card->topLeft() : QPointF(), m_editor.canvasTransform().zoomLevel};
}

void AnnotationOverlayView::refresh()
{
    const bool shows = isPresent();
    if (!shows && !m_editingTextId.isNull())
        commitActiveTextEdit(false);
    if (!shows && m_quickPhase.rectId)
        setQuickPhase({});
    // Stays a widget of the canvas while absent: hiding it in the middle of the press that
    // starts a tilt would take the press's release away from the navigation layer.
    setAttribute(Qt::WA_TransparentForMouseEvents, !shows);
    rebuildViews();
    update();
}

void AnnotationOverlayView::rebuildViews()
{
    m_views.clear();
    for (const Annotation& drawn : m_editor.hitTestAnnotations())
        m_views.push_back(AnnotationView::make(drawn));
}

std::shared_ptr<AnnotationView> AnnotationOverlayView::viewAt(QPointF doc, int* role) const
{
    const CanvasMapping map = mapping();
    const QPointF at = map.toView(doc);
    const QUuid selected = m_editor.selectedAnnotationId();
    // The handles of the selection lie over everything else; several selected show none.
    for (const auto& view : m_views) {
        if (view->id() != selected || m_editor.selectedAnnotationIds().size() > 1)
            continue;
        for (const AnnotationHandle& handle : view->handles()) {
            const QPointF d = map.toView(handle.centre) - at;
            if (std::hypot(d.x(), d.y()) <= handle.size / 2 + handleGrace) {
                *role = handle.role;
                return view;
            }
        }
    }
    for (auto it = m_views.rbegin(); it != m_views.rend(); ++it) {
        if ((*it)->hits(doc)) {
            *role = AnnotationView::body;
            return *it;
        }
    }
    return nullptr;
}

void AnnotationOverlayView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (!m_editingTextId.isNull())
        commitActiveTextEdit(false);
    const QPointF doc = mapping().toDocument(event->position());
    const std::optional<AnnotationTool> tool = m_editor.selectedTool();
    if (drawsOverAnnotations(tool)) {
        m_drag = Drag{event->position(), doc, doc, false, nullptr, AnnotationView::body, false, {doc}, false};
        return;
    }
    int role = AnnotationView::body;
    std::shared_ptr<AnnotationView> view = viewAt(doc, &role);
    if (view && !tool && event->modifiers().testFlag(Qt::ShiftModifier)) {
        m_editor.toggleAnnotationSelected(view->id());
        return;
    }
    const bool group = view && role == AnnotationView::body && m_editor.selectedAnnotationIds().size() > 1
        && m_editor.isAnnotationSelected(view->id());
    if (view && !group)
        m_editor.setSelectedAnnotationId(view->id());
    m_drag = Drag{event->position(), doc, doc, false, std::move(view), role, group, {}, false};
}

bool AnnotationOverlayView::takesShiftPress(QPointF viewPoint) const
{
    if (!isPresent())
        return false;
    const std::optional<AnnotationTool> tool = m_editor.selectedTool();
    if (strokeKindOf(tool))
        return true;
    int role = AnnotationView::body;
    return !tool && viewAt(mapping().toDocument(viewPoint), &role) != nullptr;
}

void AnnotationOverlayView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF doc = mapping().toDocument(event->position());
    if (m_editor.selectedTool() == AnnotationTool::quick) {
        m_quickHoverPoint = doc;
        update();
    } else if (m_quickHoverPoint) {
        m_quickHoverPoint.reset();
    }
    if (!m_drag || !(event->buttons() & Qt::LeftButton))
        return;
    if (!m_drag->started) {
        const QPointF moved = event->position() - m_drag->startView;
        const double threshold = m_drag->view ? m_drag->view->dragThreshold() : creationThreshold;
        if (std::hypot(moved.x(), moved.y()) < threshold)
            return;
        m_drag->started = true;
    }
    m_drag->currentDoc = doc;
    m_drag->straight = event->modifiers().testFlag(Qt::ShiftModifier);
    if (strokeKindOf(m_editor.selectedTool())) {
        const QPointF last = m_drag->points.back();
        if (std::hypot(doc.x() - last.x(), doc.y() - last.y()) * mapping().zoom >= strokeSampleSpacing)
            m_drag->points.push_back(doc);
    } else if (m_drag->group) {
        // Painted where it goes; written back once, on release.
    } else if (m_drag->view) {
        reportLive(liveAnnotation());
    } else if (m_editor.selectedTool() == AnnotationTool::shape) {
        if (const std::optional<Annotation> preview = creationPreview())
            m_editor.setLiveDimHole(std::nullopt, dimHoleForShape(std::get<ShapeAnnotation>(*preview)));
    }
    update();
}

void AnnotationOverlayView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_drag)
        return;
    const Drag drag = *m_drag;
    const QPointF doc = mapping().toDocument(event->position());
    if (drag.started) {
        m_drag->currentDoc = doc;
        m_drag->straight = event->modifiers().testFlag(Qt::ShiftModifier);
        if (strokeKindOf(m_editor.selectedTool()))
            m_drag->points.push_back(doc);
        finishDrag(doc);
    } else if (!drag.view) {
        m_drag.reset();
        handleTap(doc);
    } else if (drag.group) {
        // A click on one of several selected annotations chooses it alone.
        m_editor.setSelectedAnnotationId(drag.view->id());
    }
    m_drag.reset();
    update();
}

void AnnotationOverlayView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPointF doc = mapping().toDocument(event->position());
    int role = AnnotationView::body;
    const std::shared_ptr<AnnotationView> view = viewAt(doc, &role);
    if (event->button() == Qt::LeftButton && view && !drawsOverAnnotations(m_editor.selectedTool())) {
        const Annotation& annotation = view->annotation();
        const auto* text = std::get_if<TextAnnotation>(&annotation);
        const auto* step = std::get_if<StepAnnotation>(&annotation);
        if (text || step) {
            m_drag.reset();
            m_editor.setSelectedAnnotationId(view->id());
            beginTextEdit(view->id(), text ? text->text : QString::number(step->number));
            return;
        }
    }
    mousePressEvent(event);
}

void AnnotationOverlayView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (m_quickHoverPoint) {
        m_quickHoverPoint.reset();
        update();
    }
}


void AnnotationOverlayView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && mods == Qt::NoModifier) {
        if (m_editor.deleteSelectedAnnotation())
            return;
    }
    const double step = mods == Qt::ShiftModifier ? 10 : 1;
    if (mods == Qt::NoModifier || mods == Qt::ShiftModifier) {
        QPointF delta;
        switch (event->key()) {
        case Qt::Key_Left: delta = {-step, 0}; break;
        case Qt::Key_Right: delta = {step, 0}; break;
        case Qt::Key_Up: delta = {0, -step}; break;
        case Qt::Key_Down: delta = {0, step}; break;
        default: break;
        }
        if (!delta.isNull() && m_editor.selectedAnnotation()) {
            m_editor.nudgeSelectedAnnotation(delta);
            return;
        }
    }
    event->ignore();
}

void AnnotationOverlayView::handleTap(QPointF doc)
{
    if (!m_editingTextId.isNull())
        commitActiveTextEdit(false);
    if (m_editor.selectedTool() == AnnotationTool::quick) {
        quickClick(doc);
        return;
    }
    if (m_editor.selectedTool() == AnnotationTool::step) {
        // Steps are placed one after another: the tool stays armed.
        m_editor.addAnnotation(m_editor.makeStepAnnotation(doc), true);
        return;
    }
    if (strokeKindOf(m_editor.selectedTool()))
        return;
    const std::vector<Annotation> annotations = m_editor.hitTestAnnotations();
    for (auto it = annotations.rbegin(); it != annotations.rend(); ++it) {
        if (hitTest(*it, doc, 1)) {
            m_editor.setSelectedAnnotationId(annotationId(*it));
            return;
        }
    }
    if (m_editor.selectedTool() == AnnotationTool::text) {
        const TextAnnotation text = m_editor.makeTextAnnotation(doc);
        // Placing a text and typing it is one step to undo.
        m_editor.beginAnnotationEditRun(text.id);
        m_editor.addAnnotation(text);
        beginTextEdit(text.id, QString());
        return;
    }
    m_editor.setSelectedAnnotationId({});
}

void AnnotationOverlayView::finishDrag(QPointF doc)
{
    const QPointF t = doc - m_drag->startDoc;
    if (m_drag->group) {
        m_drag.reset();
        m_editor.moveSelectionBy(t);
        return;
    }
    if (const std::optional<QRectF> band = rubberBand()) {
        m_drag.reset();
        std::vector<QUuid> caught;
        for (const Annotation& annotation : m_editor.hitTestAnnotations()) {
            if (boundingRect(annotation, 1).intersects(*band))
                caught.push_back(annotationId(annotation));
        }
        m_editor.setSelectedAnnotationIds(caught);
        return;
    }
    if (const std::optional<StrokeAnnotation> stroke = strokePreview()) {
        m_drag.reset();
        // Like a pen on paper: one line after another without choosing the tool again.
        m_editor.addAnnotation(*stroke, true);
        return;
    }
    if (const std::shared_ptr<AnnotationView> view = m_drag->view) {
        const Annotation committed = view->committed(m_drag->role, t, m_editor);
        m_drag.reset();
        m_editor.updateDocumentAnnotation(committed);
        reportLive(std::nullopt);
        m_editor.setLiveAnnotationRect(view->id(), std::nullopt);
        return;
    }
    const QPointF start = m_drag->startDoc;
    m_drag.reset();
    if (m_editor.selectedTool())
        createAnnotation(*m_editor.selectedTool(), start, doc);
    m_editor.clearLiveDimHole();
}

void AnnotationOverlayView::createAnnotation(AnnotationTool tool, QPointF start, QPointF end)
{
    switch (tool) {
    case AnnotationTool::arrow:
        m_editor.addAnnotation(attachedOnCreation(m_editor, m_editor.makeArrowAnnotation(start, end)));
        break;
    case AnnotationTool::shape:
        m_editor.addAnnotation(m_editor.makeShapeAnnotation(dragRect(start, end)));
        break;
    case AnnotationTool::redact:
        m_editor.addAnnotation(m_editor.makeRedactAnnotation(dragRect(start, end)));
        break;
    case AnnotationTool::pixelate:
        m_editor.addAnnotation(m_editor.makeRedactAnnotation(dragRect(start, end), RedactStyle::pixelate));
        break;
    case AnnotationTool::step:
        m_editor.addAnnotation(m_editor.makeStepAnnotation(start), true);
        break;
    case AnnotationTool::text:
    case AnnotationTool::quick:
    case AnnotationTool::pen:
    case AnnotationTool::highlighter:
        break;
    }
}

std::optional<Annotation> AnnotationOverlayView::creationPreview() const
{
    if (!m_drag || !m_drag->started || m_drag->view || !m_editor.selectedTool())
        return std::nullopt;
    const QPointF a = m_drag->startDoc;
    const QPointF b = m_drag->currentDoc;
    switch (*m_editor.selectedTool()) {
    case AnnotationTool::arrow:
        return attachedOnCreation(m_editor, m_editor.makeArrowAnnotation(a, b));
    case AnnotationTool::shape:
        return m_editor.makeShapeAnnotation(dragRect(a, b));
    case AnnotationTool::redact:
        return m_editor.makeRedactAnnotation(dragRect(a, b));
    case AnnotationTool::pixelate:
        return m_editor.makeRedactAnnotation(dragRect(a, b), RedactStyle::pixelate);
    case AnnotationTool::pen:
    case AnnotationTool::highlighter:
        if (const std::optional<StrokeAnnotation> stroke = strokePreview())
            return *stroke;
        break;
    case AnnotationTool::text:
    case AnnotationTool::quick:
    case AnnotationTool::step:
        break;
    }
    return std::nullopt;
}

std::optional<StrokeAnnotation> AnnotationOverlayView::strokePreview() const
{
    const std::optional<StrokeKind> kind = strokeKindOf(m_editor.selectedTool());
    if (!kind || !m_drag || !m_drag->started || m_drag->points.empty())
        return std::nullopt;
    std::vector<QPointF> points = m_drag->points;
    if (m_drag->straight) {
        const QPointF start = points.front();
        const QPointF end = *kind == StrokeKind::highlighter ? QPointF(m_drag->currentDoc.x(), start.y())
                                                             : m_drag->currentDoc;
        points = {start, end};
    }
    return m_editor.makeStrokeAnnotation(*kind, points);
}

std::optional<QRectF> AnnotationOverlayView::rubberBand() const
{
    if (!m_drag || !m_drag->started || m_drag->view || m_editor.selectedTool())
        return std::nullopt;
    return QRectF(m_drag->startDoc, m_drag->currentDoc).normalized();
}

std::optional<Annotation> AnnotationOverlayView::liveAnnotation() const
{
    if (!m_drag || !m_drag->started || !m_drag->view)
        return std::nullopt;
    return m_drag->view->dragged(m_drag->role, m_drag->currentDoc - m_drag->startDoc, m_editor);
}

void AnnotationOverlayView::reportLive(const std::optional<Annotation>& live)
{
    if (!m_drag || !m_drag->view) {
        if (!live)
            m_editor.clearLiveDimHole();
        return;
    }
    const QUuid id = m_drag->view->id();
    m_editor.setLiveAnnotationRect(id, live ? m_drag->view->liveRect(*live) : std::nullopt);
    if (live) {
        if (const auto* shape = std::get_if<ShapeAnnotation>(&*live))
            m_editor.setLiveDimHole(id, dimHoleForShape(*shape));
    } else {
        m_editor.clearLiveDimHole();
    }
}

// --- Text editing

void AnnotationOverlayView::beginTextEdit(const QUuid& id, const QString& text)
{
    if (!findText(m_editor, id) && !findStep(m_editor, id))
        return;
    if (!m_field) {
        m_field = new AnnotationTextField(this);
        connect(m_field, &AnnotationTextField::submitted, this, [this] { commitActiveTextEdit(false); });
        connect(m_field, &AnnotationTextField::escapePressed, this, [this] { commitActiveTextEdit(true); });
        connect(m_field, &QTextEdit::textChanged, this, [this] {
            placeTextField();
            update();
        });
    }
    m_editingTextId = id;
    m_field->setPlainText(text);
    m_field->moveCursor(QTextCursor::End);
    placeTextField();
    m_field->show();
    // Focus once the field is on screen, the way a new field expects to be typed into.
    QTimer::singleShot(0, m_field, [field = QPointer<AnnotationTextField>(m_field)] {
        if (field && field->isVisible())
            field->setFocus(Qt::OtherFocusReason);
    });
    update();
}

void AnnotationOverlayView::placeTextField()
{
    if (!m_field || m_editingTextId.isNull())
        return;
    const CanvasMapping map = mapping();
    if (const std::optional<StepAnnotation> step = findStep(m_editor, m_editingTextId)) {
        // The number is typed over the circle, in the step's colour.
        QFont digits = textFont(TextDesign::standard, FontWeight::bold, false, 1);
        digits.setPixelSize(std::max(1, int(std::lround(step->size * 0.5 * map.zoom))));
        m_field->setFont(digits);
        // Only on a change: aligning edits the document, which calls this again.
        if (m_field->alignment() != Qt::AlignCenter)
            m_field->setAlignment(Qt::AlignCenter);
        QPalette palette = m_field->palette();
        palette.setColor(QPalette::Text, step->color);
        m_field->setPalette(palette);
        const QRectF circle(step->position, QSizeF(step->size, step->size));
        const double width = std::max(circle.width(), 48 / map.zoom);
        m_field->setGeometry(
            map.toView(QRectF(circle.center().x() - width / 2, circle.top(), width, circle.height())).toAlignedRect());
        return;
    }
    const std::optional<TextAnnotation> text = findText(m_editor, m_editingTextId);
    if (!text)
        return;
    const QFontMetricsF metrics = pointMetrics(pelorin::font(*text, 1));
    const QStringList lines = m_field->toPlainText().split(u'\n');
    double widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const QSizeF size(std::max(widest + 12, 48.0), double(lines.size()) * lineHeight(metrics));

    if (m_field->alignment() != Qt::AlignLeft)
        m_field->setAlignment(Qt::AlignLeft);
    QFont shown = pelorin::font(*text, 1);
    shown.setPixelSize(std::max(1, int(std::lround(text->fontSize * map.zoom))));
    m_field->setFont(shown);
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Text, text->color);
    palette.setColor(QPalette::PlaceholderText, QColor(120, 120, 130));
    m_field->setPalette(palette);
    m_field->setGeometry(map.toView(QRectF(text->position, size)).toAlignedRect());
}

void AnnotationOverlayView::commitActiveTextEdit(bool escapeDiscardsChainText)
{
    if (m_editingTextId.isNull() || m_committing)
        return;
    m_committing = true;
    const QUuid id = m_editingTextId;
    const QString typed = m_field->toPlainText();
    m_editingTextId = {};
    if (m_field->hasFocus())
        setFocus(Qt::OtherFocusReason);
    m_field->hide();
    if (std::optional<StepAnnotation> step = findStep(m_editor, id)) {
        // Anything but a whole number above 0 leaves the step as it was.
        bool isNumber = false;
        const int number = typed.trimmed().toInt(&isNumber);
        if (isNumber && number > 0 && number != step->number) {
            step->number = number;
            m_editor.updateDocumentAnnotation(*step);
        }
    } else if (escapeDiscardsChainText && id == m_quickChainTextId) {
        m_editor.removeAnnotation(id);
    } else if (std::optional<TextAnnotation> text = findText(m_editor, id)) {
        if (typed.trimmed().isEmpty()) {
            m_editor.removeAnnotation(id);
        } else {
            text->text = typed;
            m_editor.updateDocumentAnnotation(*text);
        }
    }
    m_editor.endAnnotationEditRun();
    m_committing = false;
    update();
}

// --- Painting

void AnnotationOverlayView::paintEvent(QPaintEvent*)
{
    const auto& document = m_editor.document();
    if (!document || !isPresent())
        return;
    const CanvasMapping map = mapping();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    std::vector<Annotation> shown = document->annotations;
    if (const std::optional<Annotation> live = liveAnnotation())
        updateAnnotation(shown, *live);
    if (!m_editingTextId.isNull())
        pelorin::removeAnnotation(shown, m_editingTextId);
    if (m_drag && m_drag->started && m_drag->group) {
        for (Annotation& annotation : shown) {
            if (m_editor.isAnnotationSelected(annotationId(annotation)))
                translateAnnotation(annotation, m_drag->currentDoc - m_drag->startDoc);
        }
    }
    shown = resolvingAttachments(std::move(shown));

    painter.save();
    painter.translate(map.origin);
    for (const Annotation& annotation : shown)
        paintAnnotation(painter, annotation, map.zoom, &document->image);
    if (const std::optional<Annotation> preview = creationPreview())
        paintAnnotation(painter, *preview, map.zoom, &document->image);
    painter.restore();

    const QUuid selected = m_editor.selectedAnnotationId();
    const bool several = m_editor.selectedAnnotationIds().size() > 1;
    for (const Annotation& annotation : shown) {
        if (several && m_editor.isAnnotationSelected(annotationId(annotation)))
            paintGroupSelectionMark(painter, annotation, map);
        else if (!several && annotationId(annotation) == selected)
            AnnotationView::make(annotation)->paintSelection(painter, annotation, map);
    }
    if (const std::optional<QRectF> band = rubberBand()) {
        painter.setPen(QPen(Theme::accent(), 1));
        painter.setBrush(Theme::selectionFill());
        painter.drawRect(map.toView(*band));
    }

    // The outline of what an arrow end being dragged or drawn will attach to.
    const auto outlineTarget = [&](const QRectF& target) {
        QPen dashed(Theme::accent(), 1.5);
        dashed.setDashPattern({4 / 1.5, 3 / 1.5});
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(map.toView(target), 3, 3);
    };
    if (m_drag && m_drag->started && m_drag->view) {
        if (const auto* arrowView = dynamic_cast<const ArrowAnnotationView*>(m_drag->view.get())) {
            const QPointF t = m_drag->currentDoc - m_drag->startDoc;
            if (const std::optional<QRectF> target = arrowView->attachHighlight(m_drag->role, t, m_editor))
                outlineTarget(*target);
        }
    } else if (const std::optional<Annotation> preview = creationPreview()) {
        if (const auto* arrow = std::get_if<ArrowAnnotation>(&*preview)) {
            for (const auto& attachment : {arrow->startAttachment, arrow->endAttachment})
                if (attachment)
                    if (const std::optional<QRectF> target = m_editor.attachmentBounds(attachment->targetId))
                        outlineTarget(*target);
        }
    }

    if (!m_editingTextId.isNull() && m_field) {
        const std::optional<TextAnnotation> text = findText(m_editor, m_editingTextId);
        if (text || findStep(m_editor, m_editingTextId)) {
            const double pad = (text ? text->padding : 6) * map.zoom;
            const QRectF plate = QRectF(m_field->geometry()).adjusted(-pad, -pad, pad, pad);
            painter.setPen(QPen(Theme::accent(), 2));
            painter.setBrush(QColor::fromRgbF(1, 1, 1, 0.9f));
            painter.drawRoundedRect(plate, pad / 2, pad / 2);
        }
    }

    if (m_editor.selectedTool() == AnnotationTool::quick)
        paintQuickLayer(painter, map);
}

} // namespace pelorin
