#pragma once

#include "core/Annotation.h"
#include "core/Styling.h"
#include "core/ViewState.h"

#include <QElapsedTimer>
#include <QRectF>
#include <QUuid>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace pelorin {

// The framing style of the open screenshot as one value: what a style step of the history
// puts back.
struct StyleSnapshot {
    StylingConfiguration styling;
    BrowserChromeSettings browserChrome;
    SceneState scene;
    std::optional<QRectF> exportFrame;
    bool operator==(const StyleSnapshot&) const = default;
};

// The parts of a style a change touched; undo puts back only those, so a step never undoes a
// change that was not its own (a tilt flattened for annotating, say).
namespace StylePart {
enum : unsigned {
    background = 1 << 0,
    cornerRadius = 1 << 1,
    shadow = 1 << 2,
    padding = 1 << 3,
    dimming = 1 << 4,
    browserChrome = 1 << 5,
    scene = 1 << 6,
    exportFrame = 1 << 7,
};
} // namespace StylePart

// The StylePart bits in which two styles differ.
unsigned styleDifference(const StyleSnapshot& a, const StyleSnapshot& b);
// `into` with the `parts` of `from`.
StyleSnapshot withStyleParts(StyleSnapshot into, const StyleSnapshot& from, unsigned parts);

// Undo and redo of the annotation list and of the framing style. Each step keeps what it
// changed as it was before: the whole annotation list (annotations are small values and a
// screenshot rarely carries more than a few dozen, so whole-list snapshots are cheaper to get
// right than inverse operations for every edit), or the style parts a style change touched.
class AnnotationHistory {
public:
    using List = std::vector<Annotation>;

    static constexpr std::size_t maxSteps = 200;
    // Style changes of the same parts closer together than this are one step: a slider
    // dragged or a key held down.
    static constexpr qint64 styleMergeGapMs = 1000;

    // What an undo or redo puts in place: the annotation list, the style, or both.
    struct Step {
        std::optional<List> annotations;
        std::optional<StyleSnapshot> style;
        unsigned styleParts = 0;
    };

    // Called before a change with the list as it is. A change that belongs to the open run of
    // `runKey` (see beginRun) adds no step of its own: the run is one step.
    void recordChange(const List& before);
    // Called with the style as it was before a change of `parts` (StylePart bits).
    void recordStyleChange(const StyleSnapshot& before, unsigned parts);
    // Starts a run: until endRun, every change adds to one step.
    void beginRun(const QUuid& key);
    void endRun();
    bool isInRun() const { return m_run.has_value(); }

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // What to show after undoing or redoing; the current list and style are kept for the
    // opposite direction.
    std::optional<Step> undo(const List& annotations, const StyleSnapshot& style);
    std::optional<Step> redo(const List& annotations, const StyleSnapshot& style);
    void clear();
    // Applies a change that every state must share (content moved under the annotations) to
    // each kept list, so undo does not bring back the old placement.
    void transformAll(const std::function<void(List&)>& change);

private:
    void push(Step step);

    std::deque<Step> m_undo;
    std::vector<Step> m_redo;
    std::optional<QUuid> m_run;
    bool m_runRecorded = false;
    // The last step is a style step still open to merging.
    bool m_styleStepOpen = false;
    QElapsedTimer m_sinceStyleChange;
};

} // namespace pelorin
