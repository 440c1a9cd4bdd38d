#include "editor/EditorViewModel.h"

#include "core/AppConstants.h"
#include "core/StylingJson.h"
#include "render/BrowserChromeRenderer.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

namespace {

QString key(const char* name)
{
    return QLatin1String(name);
}

} // namespace

EditorViewModel::StyleStep::StyleStep(EditorViewModel& editor)
    : m_editor(editor)
{
    if (m_editor.m_styleStepDepth++ == 0 && m_editor.m_document)
        m_before = m_editor.styleSnapshot();
}

EditorViewModel::StyleStep::~StyleStep()
{
    if (--m_editor.m_styleStepDepth == 0 && m_before && m_editor.m_document)
        m_editor.recordStyleStep(*m_before);
}

StyleSnapshot EditorViewModel::styleSnapshot() const
{
    return {m_styling, m_browserChrome, m_sceneState, m_exportFrameRect};
}

void EditorViewModel::recordStyleStep(const StyleSnapshot& before)
{
    const bool couldUndo = canUndoAnnotationChange();
    const bool couldRedo = canRedoAnnotationChange();
    m_annotationHistory.recordStyleChange(before, styleDifference(before, styleSnapshot()));
    if (couldUndo != canUndoAnnotationChange() || couldRedo != canRedoAnnotationChange())
        Q_EMIT annotationHistoryChanged();
}

void EditorViewModel::applyStyleParts(const StyleSnapshot& style, unsigned parts)
{
    ++m_styleStepDepth;
    const StyleSnapshot target = withStyleParts(styleSnapshot(), style, parts);
    setStyling(target.styling);
    if (m_document)
        m_document->styling = m_styling;
    setBrowserChrome(target.browserChrome);
    if (target.scene != m_sceneState) {
        m_rotationTargets = {target.scene.yaw, target.scene.pitch};
        setSceneState(target.scene);
    }
    setExportFrameRect(target.exportFrame);
    --m_styleStepDepth;
}

void EditorViewModel::setStyling(const StylingConfiguration& styling)
{
    const StyleStep step(*this);
    if (styling.background != m_styling.background)
        backgroundTextureDirty = true;
    m_styling = styling;
    Q_EMIT stylingChanged();
    Q_EMIT stylingIsDirtyChanged();
}

void EditorViewModel::setBrowserChrome(const BrowserChromeSettings& settings)
{
    const StyleStep step(*this);
    const bool differs = settings != m_browserChrome;
    m_browserChrome = settings;
    Q_EMIT browserChromeChanged();
    Q_EMIT stylingIsDirtyChanged();
    if (differs)
        applyBrowserChrome();
}

void EditorViewModel::applyBrowserChrome()
{
    if (!m_document)
        return;
    const double oldHeight = m_document->imagePointSize().height();
    m_document->image = browserFramedImage(m_document->baseImage);
    const double newHeight = m_document->imagePointSize().height();
    if (std::fabs(newHeight - oldHeight) > 0.001)
        shiftContentAnchoredState(newHeight - oldHeight);
    screenshotTextureDirty = true;
    annotationTextureDirty = true;
    Q_EMIT documentChanged();
    fitPaddedFrameIfNeeded();
    Q_EMIT redrawRequested();
}

void EditorViewModel::shiftContentAnchoredState(double dy)
{
    // The bar grows or shrinks above the screenshot: whatever sits on the content moves with it.
    const auto shift = [dy](std::vector<Annotation>& annotations) {
        for (Annotation& annotation : annotations) {
            setAnnotationPosition(annotation, annotationPosition(annotation) + QPointF(0, dy));
            if (auto* arrow = std::get_if<ArrowAnnotation>(&annotation))
                arrow->endPoint.ry() += dy;
        }
    };
    shift(m_document->annotations);
    m_annotationHistory.transformAll(shift);
    if (!m_detectedComponents.empty()) {
        for (DetectedComponent& component : m_detectedComponents) {
            component.y1 += static_cast<int>(dy);
            component.y2 += static_cast<int>(dy);
        }
        Q_EMIT detectedComponentsChanged();
    }
    if (!m_localDetectedElements.empty()) {
        for (QRectF& element : m_localDetectedElements)
            element.translate(0, dy);
        Q_EMIT localDetectedElementsChanged();
    }
}

QImage EditorViewModel::browserFramedImage(const QImage& base) const
{
    return BrowserChromeRenderer::composited(base, m_browserChrome);
}

void EditorViewModel::setBackground(BackgroundPreset preset)
{
    const StyleStep step(*this);
    StylingConfiguration styling = m_styling;
    styling.background = BackgroundStyle::preset(preset);
    setStyling(styling);
    if (m_document)
        m_document->styling.background = styling.background;
}

void EditorViewModel::setBackgroundToWallpaper()
{
    const StyleStep step(*this);
    StylingConfiguration styling = m_styling;
    styling.background = BackgroundStyle::wallpaper();
    setStyling(styling);
    if (m_document)
        m_document->styling.background = styling.background;
}

void EditorViewModel::setPadding(double value)
{
    const StyleStep step(*this);
    StylingConfiguration styling = m_styling;
    styling.padding = value;
    setStyling(styling);
    if (m_document)
        m_document->styling.padding = value;
    setExportFrameRect(std::nullopt);
    fitPaddedFrameIfNeeded();
}

void EditorViewModel::resetAllStyling()
{
    const StyleStep step(*this);
    setStyling(StylingConfiguration{});
    if (m_document)
        m_document->styling = m_styling;
    setBrowserChrome(BrowserChromeSettings{});
    setExportFrameRect(std::nullopt);
    SceneState flat = m_sceneState;
    flat.isPerspective = false;
    setSceneState(flat);
    resetRotation();
}

bool EditorViewModel::stylingIsDirty() const
{
    return m_styling != StylingConfiguration{} || m_browserChrome.isEnabled
        || m_browserChrome.style != BrowserChromeStyle::dark || !m_browserChrome.showsAddressBar
        || !m_browserChrome.urlText.isEmpty() || std::fabs(m_sceneState.yaw) >= CanvasLimits::tiltThreshold
        || std::fabs(m_sceneState.pitch) >= CanvasLimits::tiltThreshold || m_sceneState.isPerspective;
}

void EditorViewModel::loadPersistedStyling()
{
    // Each value is applied on its own, within its slider's range: a damaged or hand-edited
    // number (a padding of 300 digits) would otherwise push the card and its controls out of
    // reach.
    const auto stored = [this](const char* name, double fallback, ValueRange range) {
        return std::clamp(m_settings.doubleValue(key(name), fallback), range.lower, range.upper);
    };
    StylingConfiguration s = m_styling;
    s.cornerRadius = stored(SettingsKeys::lastCornerRadius, AppConstants::defaultCornerRadius, AppConstants::cornerRadiusRange);
    setStyling(s);
    s.shadow.radius = stored(SettingsKeys::lastShadowRadius, AppConstants::defaultShadowRadius, AppConstants::shadowRadiusRange);
    setStyling(s);
    s.padding = stored(SettingsKeys::lastFramePadding, AppConstants::defaultPadding, AppConstants::paddingRange);
    setStyling(s);
    s.dimming.isEnabled = m_settings.boolValue(key(SettingsKeys::lastDimmingEnabled), false);
    setStyling(s);
    s.dimming.amount = stored(SettingsKeys::lastDimmingAmount, 0.5, ValueRange{0, 1});
    setStyling(s);

    // Bytes that do not decode are left alone in the store and the current value stays.
    const QByteArray background = m_settings.bytesValue(key(SettingsKeys::lastBackground));
    if (!background.isEmpty()) {
        if (const std::optional<BackgroundStyle> decoded = decodeBackgroundStyle(background)) {
            s.background = *decoded;
            setStyling(s);
        }
    }
    const QByteArray chrome = m_settings.bytesValue(key(SettingsKeys::lastBrowserChrome));
    if (!chrome.isEmpty()) {
        if (const std::optional<BrowserChromeSettings> decoded = decodeBrowserChromeSettings(chrome))
            setBrowserChrome(*decoded);
    }
}

void EditorViewModel::persistStyling()
{
    QVariantMap values{
        {key(SettingsKeys::lastCornerRadius), m_styling.cornerRadius},
        {key(SettingsKeys::lastShadowRadius), m_styling.shadow.radius},
        {key(SettingsKeys::lastFramePadding), m_styling.padding},
        {key(SettingsKeys::lastDimmingEnabled), m_styling.dimming.isEnabled},
        {key(SettingsKeys::lastDimmingAmount), m_styling.dimming.amount},
    };
    const QByteArray background = encodeBackgroundStyle(m_styling.background);
    if (!background.isEmpty())
        values.insert(key(SettingsKeys::lastBackground), background);
    m_settings.setValues(values);
}

void EditorViewModel::persistBrowserChrome()
{
    const QByteArray chrome = encodeBrowserChromeSettings(m_browserChrome);
    if (!chrome.isEmpty())
        m_settings.setValue(key(SettingsKeys::lastBrowserChrome), chrome);
}

} // namespace pelorin
