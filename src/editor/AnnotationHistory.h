#pragma once

#include "core/Annotation.h"

#include <QUuid>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace pelorin {

// Undo and redo of the annotation list. Each step keeps the whole list as it was before the
// change: annotations are small values and a screenshot rarely carries more than a few dozen,
// so whole-list snapshots are cheaper to get right than inverse operations for every edit.
class AnnotationHistory {
public:
    using List = std::vector<Annotation>;

    static constexpr std::size_t maxSteps = 200;

    // Called before a change with the list as it is. A change that belongs to the open run of
    // `runKey` (see beginRun) adds no step of its own: the run is one step.
    void recordChange(const List& before);
    // Starts a run: until endRun, every change adds to one step.
    void beginRun(const QUuid& key);
    void endRun();
    bool isInRun() const { return m_run.has_value(); }

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // The list to show after undoing or redoing; `current` is kept for the opposite direction.
    std::optional<List> undo(const List& current);
    std::optional<List> redo(const List& current);
    void clear();
    // Applies a change that every state must share (content moved under the annotations) to
    // each kept list, so undo does not bring back the old placement.
    void transformAll(const std::function<void(List&)>& change);

private:
    std::deque<List> m_undo;
    std::vector<List> m_redo;
    std::optional<QUuid> m_run;
    bool m_runRecorded = false;
};

} // namespace pelorin
