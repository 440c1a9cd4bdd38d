#include "editor/AnnotationHistory.h"

namespace pelorin {

void AnnotationHistory::recordChange(const List& before)
{
    if (m_run && m_runRecorded)
        return;
    m_runRecorded = m_run.has_value();
    m_undo.push_back(before);
    if (m_undo.size() > maxSteps)
        m_undo.pop_front();
    m_redo.clear();
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

std::optional<AnnotationHistory::List> AnnotationHistory::undo(const List& current)
{
    endRun();
    if (m_undo.empty())
        return std::nullopt;
    List previous = std::move(m_undo.back());
    m_undo.pop_back();
    m_redo.push_back(current);
    return previous;
}

std::optional<AnnotationHistory::List> AnnotationHistory::redo(const List& current)
{
    endRun();
    if (m_redo.empty())
        return std::nullopt;
    List next = std::move(m_redo.back());
    m_redo.pop_back();
    m_undo.push_back(current);
    return next;
}

void AnnotationHistory::transformAll(const std::function<void(List&)>& change)
{
    for (List& list : m_undo)
        change(list);
    for (List& list : m_redo)
        change(list);
}

void AnnotationHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    endRun();
}

} // namespace pelorin
