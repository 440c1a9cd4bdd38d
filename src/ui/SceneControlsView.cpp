#include "ui/SceneControlsView.h"

#include "core/AppConstants.h"
#include "core/ViewState.h"
#include "editor/EditorViewModel.h"
#include "ui/ChromeButton.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pelorin {

namespace {

constexpr int margin = 12;

} // namespace

SceneControlsView::SceneControlsView(EditorViewModel& editor, QWidget* canvas)
    : QWidget(canvas)
    , m_editor(editor)
{
    setAttribute(Qt::WA_NoSystemBackground);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(3, 3, 3, 3);
    row->setSpacing(2);
    m_projection = new ChromeButton(ChromeButton::Kind::icon, Glyph::square, QStringLiteral("Switch to 3D"), this);
    m_projection->setCheckable(true);
    m_reset = new ChromeButton(ChromeButton::Kind::icon, Glyph::arrowCounterclockwise, QStringLiteral("Reset rotation"), this);
    row->addWidget(m_projection);
    row->addWidget(m_reset);
    connect(m_projection, &QAbstractButton::clicked, this, [this] {
        m_editor.toggleProjection();
        refresh();
    });
    connect(m_reset, &QAbstractButton::clicked, this, [this] { m_editor.resetRotation(); });
    for (auto signal : {&EditorViewModel::sceneStateChanged, &EditorViewModel::isAnalyzingChanged,
                        &EditorViewModel::showComponentOverlayChanged, &EditorViewModel::documentChanged})
        connect(&m_editor, signal, this, &SceneControlsView::refresh);
    refresh();
}

void SceneControlsView::refresh()
{
    const SceneState& scene = m_editor.sceneState();
    setVisible(m_editor.hasDocument());
    m_projection->setGlyph(scene.isPerspective ? Glyph::cube : Glyph::square);
    m_projection->setLabel(scene.isPerspective ? QStringLiteral("Switch to 2D") : QStringLiteral("Switch to 3D"));
    m_projection->setChecked(scene.isPerspective);
    m_projection->setEnabled(!m_editor.isAnalyzing() && !m_editor.showComponentOverlay());
    m_reset->setVisible(scene.isPerspective);
    m_reset->setEnabled(std::fabs(scene.yaw) >= CanvasLimits::tiltThreshold
                        || std::fabs(scene.pitch) >= CanvasLimits::tiltThreshold);
    place();
}

void SceneControlsView::place()
{
    if (!parentWidget())
        return;
    adjustSize();
    move(parentWidget()->width() - width() - margin, margin);
}

void SceneControlsView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath plate;
    plate.addRoundedRect(box, Theme::controlRadius + 3, Theme::controlRadius + 3);
    painter.fillPath(plate, QColor::fromRgbF(0.1f, 0.1f, 0.11f, 0.88f));
    painter.setPen(QPen(Theme::imageOutline(), 1));
    painter.drawPath(plate);
}

} // namespace pelorin
