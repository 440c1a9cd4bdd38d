#include "editor/EditorViewModel.h"

#include "detection/ComponentAnalysis.h"
#include "platform/Pasteboard.h"

#include <QDesktopServices>
#include <QUrl>

namespace pelorin {

void EditorViewModel::toggleComponentHighlight(const QUuid& id)
{
    const auto it = std::find_if(m_detectedComponents.begin(), m_detectedComponents.end(),
                                 [&](const DetectedComponent& c) { return c.id == id; });
    if (it == m_detectedComponents.end())
        return;
    it->isHighlighted = !it->isHighlighted;
    Q_EMIT detectedComponentsChanged();
}

bool EditorViewModel::componentIsRedacted(const QUuid& id) const
{
    return m_componentRedactions.contains(id);
}

void EditorViewModel::toggleComponentRedaction(const DetectedComponent& component)
{
    if (const auto entry = m_componentRedactions.find(component.id); entry != m_componentRedactions.end()) {
        // Straight off the list (undoable like every change of it); the selection stays.
        const QUuid redactionId = entry->second;
        m_componentRedactions.erase(entry);
        if (m_document) {
            std::vector<Annotation> list = m_document->annotations;
            std::erase_if(list, [&](const Annotation& a) { return annotationId(a) == redactionId; });
            commitAnnotations(std::move(list));
        }
        return;
    }
    if (!m_document)
        return;
    RedactAnnotation redaction = RedactAnnotation::make(
        QRectF(component.x1, component.y1, component.x2 - component.x1, component.y2 - component.y1), Qt::black);
    redaction.redactStyle = RedactStyle::solid;
    redaction.cornerRadius = 4;
    redaction.isSelected = false;
    m_componentRedactions[component.id] = redaction.id;
    // Added on top without selecting it or changing the tool: the user is working in the list.
    std::vector<Annotation> list = m_document->annotations;
    list.push_back(redaction);
    commitAnnotations(std::move(list));
}

QString EditorViewModel::textOrLabel(const DetectedComponent& component)
{
    return component.text && !component.text->isEmpty() ? *component.text : component.label;
}

bool EditorViewModel::copyComponentText(const DetectedComponent& component)
{
    Pasteboard& pasteboard = m_clipboardService.pasteboard();
    const QString text = textOrLabel(component);
    pasteboard.clear();
    pasteboard.writeText(text);
    return pasteboard.text() == text;
}

bool EditorViewModel::copyAllComponentText()
{
    const QStringList texts = textsInReadingOrder(m_detectedComponents);
    if (texts.isEmpty())
        return false;
    const QString joined = texts.join(u'\n');
    Pasteboard& pasteboard = m_clipboardService.pasteboard();
    pasteboard.clear();
    pasteboard.writeText(joined);
    return pasteboard.text() == joined;
}

void EditorViewModel::searchComponentText(const QString& text)
{
    // Every reserved character is escaped, "+" included: the search page reads a bare "+" as
    // a space, which would turn "C++" into "C".
    QUrl url(QStringLiteral("https://www.google.com/search"));
    url.setQuery(QStringLiteral("q=") + QString::fromLatin1(QUrl::toPercentEncoding(text)), QUrl::StrictMode);
    if (!url.isValid())
        return;
    const bool opened = m_openUrl ? m_openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened)
        setErrorMessage(QStringLiteral("Could not open a web browser to search. Set a default browser in your desktop's settings."));
}

void EditorViewModel::clearComponentAnalysis()
{
    setDetectedComponents({});
    setShowComponentOverlay(false);
    // The redactions already made stay in the document as ordinary annotations.
    m_componentRedactions.clear();
    restorePreAnnotateSceneState();
}

} // namespace pelorin
