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
        if (!m_editingTextId.isNull() && !findText(m_editor, m_editingTextId)) {
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
    // The handles of the selection lie over everything else.
    for (const auto& view : m_views) {
        if (view->id() != selected)
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
    int role = AnnotationView::body;
    std::shared_ptr<AnnotationView> view = viewAt(doc, &role);
    if (view)
        m_editor.setSelectedAnnotationId(view->id());
    m_drag = Drag{event->position(), doc, doc, false, std::move(view), role};
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
    if (m_drag->view) {
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
        finishDrag(doc);
    } else if (!drag.view) {
        m_drag.reset();
        handleTap(doc);
    }
    m_drag.reset();
    update();
}

void AnnotationOverlayView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPointF doc = mapping().toDocument(event->position());
    int role = AnnotationView::body;
    const std::shared_ptr<AnnotationView> view = viewAt(doc, &role);
    if (event->button() == Qt::LeftButton && view && std::holds_alternative<TextAnnotation>(view->annotation())) {
        m_drag.reset();
        m_editor.setSelectedAnnotationId(view->id());
        beginTextEdit(view->id(), std::get<TextAnnotation>(view->annotation()).text);
        return;
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
    case AnnotationTool::text:
    case AnnotationTool::quick:
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
    case AnnotationTool::text:
    case AnnotationTool::quick:
        break;
    }
    return std::nullopt;
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
    const std::optional<TextAnnotation> annotation = findText(m_editor, id);
    if (!annotation)
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
    const std::optional<TextAnnotation> text = findText(m_editor, m_editingTextId);
    if (!text)
        return;
    const CanvasMapping map = mapping();
    const QFontMetricsF metrics = pointMetrics(pelorin::font(*text, 1));
    const QStringList lines = m_field->toPlainText().split(u'\n');
    double widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const QSizeF size(std::max(widest + 12, 48.0), double(lines.size()) * lineHeight(metrics));

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
    if (escapeDiscardsChainText && id == m_quickChainTextId) {
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
    shown = resolvingAttachments(std::move(shown));

    painter.save();
    painter.translate(map.origin);
    for (const Annotation& annotation : shown)
        paintAnnotation(painter, annotation, map.zoom);
    if (const std::optional<Annotation> preview = creationPreview())
        paintAnnotation(painter, *preview, map.zoom);
    painter.restore();

    const QUuid selected = m_editor.selectedAnnotationId();
    for (const Annotation& annotation : shown) {
        if (annotationId(annotation) == selected)
            AnnotationView::make(annotation)->paintSelection(painter, annotation, map);
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
        if (const std::optional<TextAnnotation> text = findText(m_editor, m_editingTextId)) {
            const double pad = text->padding * map.zoom;
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
