#include "editor/EditorViewModel.h"

#include <algorithm>
#include <map>

namespace pelorin {

namespace {

// How far down and right a duplicate lands from its original.
constexpr double duplicateOffset = 10;

} // namespace

bool EditorViewModel::isAnnotationSelected(const QUuid& id) const
{
    return !id.isNull() && std::find(m_selection.begin(), m_selection.end(), id) != m_selection.end();
}

void EditorViewModel::setSelectedAnnotationIds(const std::vector<QUuid>& ids)
{
    std::vector<QUuid> unique;
    for (const QUuid& id : ids) {
        if (!id.isNull() && std::find(unique.begin(), unique.end(), id) == unique.end())
            unique.push_back(id);
    }
    if (unique.size() <= 1) {
        setSelectedAnnotationId(unique.empty() ? QUuid() : unique.front());
        return;
    }
    if (unique == m_selection)
        return;
    m_selection = std::move(unique);
    // The inspector shows the last one chosen; the colour stays as it is, since the
    // selected annotations may each have their own.
    m_selectedAnnotationId = m_selection.back();
    Q_EMIT selectedAnnotationIdChanged();
}

void EditorViewModel::toggleAnnotationSelected(const QUuid& id)
{
    std::vector<QUuid> ids = m_selection;
    const auto found = std::find(ids.begin(), ids.end(), id);
    if (found != ids.end())
        ids.erase(found);
    else
        ids.push_back(id);
    setSelectedAnnotationIds(ids);
}

void EditorViewModel::selectAllAnnotations()
{
    if (!m_document)
        return;
    std::vector<QUuid> ids;
    for (const Annotation& annotation : m_document->annotations)
        ids.push_back(annotationId(annotation));
    setSelectedAnnotationIds(ids);
}

void EditorViewModel::dropVanishedFromSelection()
{
    std::vector<QUuid> kept;
    for (const QUuid& id : m_selection) {
        const bool exists = std::any_of(m_document->annotations.begin(), m_document->annotations.end(),
                                        [&](const Annotation& a) { return annotationId(a) == id; });
        if (exists)
            kept.push_back(id);
    }
    if (kept != m_selection)
        setSelectedAnnotationIds(kept);
}

void EditorViewModel::moveSelectionBy(QPointF delta)
{
    if (!m_document || m_selection.empty() || delta.isNull())
        return;
    std::vector<Annotation> list = m_document->annotations;
    for (Annotation& annotation : list) {
        if (isAnnotationSelected(annotationId(annotation)))
            // An arrow's attachments stay: an end tied to an annotation left behind keeps
            // pointing at it.
            translateAnnotation(annotation, delta);
    }
    commitAnnotations(std::move(list));
}

void EditorViewModel::duplicateSelection()
{
    if (!m_document || m_selection.empty())
        return;
    std::vector<Annotation> list = m_document->annotations;
    std::map<QUuid, QUuid> copies;
    for (const Annotation& annotation : m_document->annotations) {
        if (isAnnotationSelected(annotationId(annotation)))
            copies[annotationId(annotation)] = QUuid::createUuid();
    }
    const TargetBounds bounds = [this](const QUuid& target) { return attachmentBounds(target); };
    int nextStep = nextStepNumber(list);
    std::vector<QUuid> selection;
    for (const Annotation& original : m_document->annotations) {
        const auto copyId = copies.find(annotationId(original));
        if (copyId == copies.end())
            continue;
        Annotation copy = original;
        std::visit(
            [&](auto& a) {
                a.id = copyId->second;
                a.createdAt = QDateTime::currentDateTimeUtc();
            },
            copy);
        if (auto* arrow = std::get_if<ArrowAnnotation>(&copy)) {
            // An end tied to a copied annotation is tied to its copy; an end tied to one left
            // behind is set free where it is drawn, so the copy does not run back to it.
            const ArrowEndpoints drawn = resolvedEndpoints(*arrow, bounds);
            for (auto [attachment, point] : {std::pair{&arrow->startAttachment, &arrow->position},
                                             std::pair{&arrow->endAttachment, &arrow->endPoint}}) {
                if (!*attachment)
                    continue;
                if (const auto target = copies.find((*attachment)->targetId); target != copies.end()) {
                    (*attachment)->targetId = target->second;
                } else {
                    *point = attachment == &arrow->startAttachment ? drawn.start : drawn.end;
                    attachment->reset();
                }
            }
        }
        if (auto* step = std::get_if<StepAnnotation>(&copy))
            step->number = nextStep++;
        translateAnnotation(copy, QPointF(duplicateOffset, duplicateOffset));
        list.push_back(copy);
        selection.push_back(copyId->second);
    }
    commitAnnotations(std::move(list));
    setSelectedAnnotationIds(selection);
}

bool EditorViewModel::deleteSelection()
{
    if (!m_document || !selectedAnnotation())
        return false;
    const std::vector<QUuid> ids = m_selection;
    // One step to undo, however many go.
    const bool single = ids.size() == 1;
    if (!single)
        beginAnnotationEditRun(QUuid::createUuid());
    for (const QUuid& id : ids)
        removeAnnotation(id);
    if (!single)
        endAnnotationEditRun();
    setSelectedAnnotationId({});
    return true;
}

} // namespace pelorin
