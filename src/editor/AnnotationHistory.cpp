#include "editor/AnnotationHistory.h"

namespace pelorin {

unsigned styleDifference(const StyleSnapshot& a, const StyleSnapshot& b)
{
    unsigned parts = 0;
    const auto differs = [&parts](bool different, unsigned part) {
        if (different)
            parts |= part;
    };
    differs(a.styling.background != b.styling.background, StylePart::background);
    differs(a.styling.cornerRadius != b.styling.cornerRadius, StylePart::cornerRadius);
    differs(a.styling.shadow != b.styling.shadow, StylePart::shadow);
    differs(a.styling.padding != b.styling.padding, StylePart::padding);
    differs(a.styling.dimming != b.styling.dimming, StylePart::dimming);
    differs(a.browserChrome != b.browserChrome, StylePart::browserChrome);
    differs(a.scene != b.scene, StylePart::scene);
    differs(a.exportFrame != b.exportFrame, StylePart::exportFrame);
    return parts;
}

StyleSnapshot withStyleParts(StyleSnapshot into, const StyleSnapshot& from, unsigned parts)
{
    if (parts & StylePart::background)
        into.styling.background = from.styling.background;
    if (parts & StylePart::cornerRadius)
        into.styling.cornerRadius = from.styling.cornerRadius;
    if (parts & StylePart::shadow)
        into.styling.shadow = from.styling.shadow;
    if (parts & StylePart::padding)
        into.styling.padding = from.styling.padding;
    if (parts & StylePart::dimming)
        into.styling.dimming = from.styling.dimming;
    if (parts & StylePart::browserChrome)
        into.browserChrome = from.browserChrome;
    if (parts & StylePart::scene)
        into.scene = from.scene;
    if (parts & StylePart::exportFrame)
        into.exportFrame = from.exportFrame;
    return into;
}

void AnnotationHistory::push(Step step)
{
    m_undo.push_back(std::move(step));
    if (m_undo.size() > maxSteps)
        m_undo.pop_front();
    m_redo.clear();
}

void AnnotationHistory::recordChange(const List& before)
{
    m_styleStepOpen = false;
    if (m_run && m_runRecorded)
        return;
    m_runRecorded = m_run.has_value();
    push({before, std::nullopt, 0});
}

void AnnotationHistory::recordStyleChange(const StyleSnapshot& before, unsigned parts)
{
    if (parts == 0)
        return;
    const bool merges = m_styleStepOpen && !m_undo.empty() && m_undo.back().styleParts == parts
        && m_sinceStyleChange.isValid() && m_sinceStyleChange.elapsed() < styleMergeGapMs;
    m_sinceStyleChange.start();
    m_styleStepOpen = true;
    if (merges) {
        m_redo.clear();
        return;
    }
    push({std::nullopt, before, parts});
}

void AnnotationHistory::beginRun(const QUuid& key)
{
    if (m_run == key)
        return;
    m_run = key;
    m_runRecorded = false;
}

void AnnotationHistory::endRun()
{
    m_run.reset();
    m_runRecorded = false;
}

namespace {

// `step` applied to the current state, and the step that takes it back.
AnnotationHistory::Step swapped(const AnnotationHistory::Step& step, const AnnotationHistory::List& annotations,
                                const StyleSnapshot& style)
{
    AnnotationHistory::Step opposite;
    opposite.styleParts = step.styleParts;
    if (step.annotations)
        opposite.annotations = annotations;
    if (step.style)
        opposite.style = style;
    return opposite;
}

} // namespace

std::optional<AnnotationHistory::Step> AnnotationHistory::undo(const List& annotations, const StyleSnapshot& style)
{
    endRun();
    m_styleStepOpen = false;
    if (m_undo.empty())
        return std::nullopt;
    Step previous = std::move(m_undo.back());
    m_undo.pop_back();
    m_redo.push_back(swapped(previous, annotations, style));
    return previous;
}

std::optional<AnnotationHistory::Step> AnnotationHistory::redo(const List& annotations, const StyleSnapshot& style)
{
    endRun();
    m_styleStepOpen = false;
    if (m_redo.empty())
        return std::nullopt;
    Step next = std::move(m_redo.back());
    m_redo.pop_back();
    m_undo.push_back(swapped(next, annotations, style));
    return next;
}

void AnnotationHistory::transformAll(const std::function<void(List&)>& change)
{
    for (Step& step : m_undo)
        if (step.annotations)
            change(*step.annotations);
    for (Step& step : m_redo)
        if (step.annotations)
            change(*step.annotations);
}

void AnnotationHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_styleStepOpen = false;
    endRun();
}

} // namespace pelorin
