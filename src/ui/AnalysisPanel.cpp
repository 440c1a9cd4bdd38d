#include "ui/AnalysisPanel.h"

#include "editor/EditorViewModel.h"
#include "ui/ChromeButton.h"
#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace pelorin {

namespace {

constexpr int panelWidth = 270;
constexpr int rowHeight = 40;
constexpr int rowPitch = rowHeight + 2;

QLabel* label(const QString& text, double size, QFont::Weight weight, const QColor& color, QWidget* parent)
{
    return styledLabel(text, uiFont(size, weight), color, parent);
}

} // namespace

AnalysisPanel::AnalysisPanel(EditorViewModel& editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
{
    setFixedWidth(panelWidth);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, panelBackground());
    setPalette(p);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    m_title = label(QString(), 13, QFont::DemiBold, primaryText(), this);
    column->addWidget(m_title);
    m_copyAll = new ChromeButton(ChromeButton::Kind::plainPill, Glyph::copy, QStringLiteral("Copy all detected text"), this);
    column->addWidget(m_copyAll);
    connect(m_copyAll, &QAbstractButton::clicked, this, [this] { m_editor.copyAllComponentText(); });

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rowHolder = new QWidget(m_scroll);
    m_rowHolder->setAutoFillBackground(false);
    m_scroll->setWidget(m_rowHolder);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->viewport()->installEventFilter(this);
    column->addWidget(m_scroll, 1);
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, &AnalysisPanel::layOutRows);

    for (auto signal : {&EditorViewModel::detectedComponentsChanged, &EditorViewModel::documentChanged,
                        &EditorViewModel::annotationsChanged})
        connect(&m_editor, signal, this, &AnalysisPanel::rebuild);
    rebuild();
}

int AnalysisPanel::rowCount() const
{
    return int(m_editor.detectedComponents().size());
}

ChromeButton* AnalysisPanel::rowButton(int row, int action)
{
    return ensureRow(row).buttons.at(size_t(action));
}

bool AnalysisPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        layOutRows();
    return QWidget::eventFilter(watched, event);
}

const AnalysisPanel::Row& AnalysisPanel::ensureRow(int index)
{
    auto it = m_built.find(index);
    if (it == m_built.end()) {
        it = m_built.emplace(index, makeRow(index)).first;
        it->second.widget->setGeometry(0, index * rowPitch, m_rowHolder->width(), rowHeight);
        it->second.widget->show();
    }
    return it->second;
}

void AnalysisPanel::layOutRows()
{
    const int count = rowCount();
    m_rowHolder->resize(m_scroll->viewport()->width(), std::max(0, count * rowPitch - 2));
    const int top = m_scroll->verticalScrollBar()->value();
    const int first = std::max(0, top / rowPitch - 2);
    const int last = std::min(count - 1, (top + m_scroll->viewport()->height()) / rowPitch + 2);
    for (auto it = m_built.begin(); it != m_built.end();) {
        if (it->first < first || it->first > last) {
            it->second.widget->hide();
            it->second.widget->deleteLater();
            it = m_built.erase(it);
        } else {
            it->second.widget->setGeometry(0, it->first * rowPitch, m_rowHolder->width(), rowHeight);
            ++it;
        }
    }
    for (int i = first; i <= last; ++i)
        ensureRow(i);
}

AnalysisPanel::Row AnalysisPanel::makeRow(int index)
{
    const DetectedComponent& c = m_editor.detectedComponents()[size_t(index)];
    auto* row = new QWidget(m_rowHolder);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(4, 3, 0, 3);
    line->setSpacing(2);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(0);
    QLabel* name = label(c.label, 12, c.isHighlighted ? QFont::DemiBold : QFont::Medium, primaryText(), row);
    name->setMinimumWidth(1);
    name->setToolTip(EditorViewModel::textOrLabel(c));
    texts->addWidget(name);
    texts->addWidget(label(c.type, 10, QFont::Normal, secondaryText(), row));
    line->addLayout(texts, 1);

    const bool redacted = m_editor.componentIsRedacted(c.id);
    auto* copy = new ChromeButton(ChromeButton::Kind::icon, m_copied == c.id ? Glyph::checkmark : Glyph::copy,
                                  QStringLiteral("Copy text"), row);
    auto* search = new ChromeButton(ChromeButton::Kind::icon, Glyph::zoomIn, QStringLiteral("Search Google for this text"), row);
    auto* redact = new ChromeButton(ChromeButton::Kind::icon, Glyph::redactTool,
                                    redacted ? QStringLiteral("Remove redaction") : QStringLiteral("Redact this element"), row);
    redact->setCheckable(true);
    redact->setChecked(redacted);
    for (ChromeButton* b : {copy, search, redact}) {
        b->setGlyphSize(13);
        line->addWidget(b);
    }
    const QUuid id = c.id;
    const auto find = [this, id]() -> const DetectedComponent* {
        for (const DetectedComponent& d : m_editor.detectedComponents())
            if (d.id == id)
                return &d;
        return nullptr;
    };
    connect(copy, &QAbstractButton::clicked, this, [this, find, id] {
        const DetectedComponent* d = find();
        if (!d || !m_editor.copyComponentText(*d))
            return;
        m_copied = id;
        rebuild();
        QTimer::singleShot(copiedHoldMs, this, [this, id] {
            if (m_copied == id) {
                m_copied = QUuid();
                rebuild();
            }
        });
    });
    connect(search, &QAbstractButton::clicked, this, [this, find] {
        if (const DetectedComponent* d = find())
            m_editor.searchComponentText(EditorViewModel::textOrLabel(*d));
    });
    connect(redact, &QAbstractButton::clicked, this, [this, find] {
        if (const DetectedComponent* d = find())
            m_editor.toggleComponentRedaction(DetectedComponent(*d));
    });
    return Row{row, {copy, search, redact}};
}

void AnalysisPanel::rebuild()
{
    // Rows are rebuilt from the list: it changes as a whole (a new analysis, a highlight, a redaction).
    for (auto& [index, row] : m_built) {
        row.widget->hide();
        row.widget->deleteLater();
    }
    m_built.clear();
    const auto& components = m_editor.detectedComponents();
    layOutRows();
    m_title->setText(QStringLiteral("Analysis · %1 %2")
                         .arg(components.size())
                         .arg(components.size() == 1 ? QStringLiteral("component") : QStringLiteral("components")));
    const bool appears = !components.empty() && isHidden();
    setVisible(!components.empty());
    if (appears) {
        // The canvas has just narrowed: zoom out once it has its new width if the card no
        // longer fits, so the boxes are not cut off at the panel's edge.
        QTimer::singleShot(0, &m_editor, [editor = &m_editor] { editor->fitPaddedFrameIfNeeded(); });
    }
}

} // namespace pelorin
