#include "editor/EditorViewModel.h"

#include "cloud/KeychainStore.h"
#include "detection/VisionAnalysisService.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

namespace pelorin {

TokenStore& EditorViewModel::tokens()
{
    return m_tokens ? *m_tokens : static_cast<TokenStore&>(KeychainStore::shared());
}

VisionAnalysisService& EditorViewModel::visionService()
{
    if (!m_visionService)
        m_visionService = std::make_unique<VisionAnalysisService>(m_settings, tokens());
    return *m_visionService;
}

bool EditorViewModel::analyzesOnDevice() const
{
    return m_settings.stringValue(QLatin1String(SettingsKeys::analysisProvider), QStringLiteral("device")) !=
           QLatin1String("cloud");
}

void EditorViewModel::prepareAnalysisEngines()
{
    if (m_analysisEngines.prepare && analyzesOnDevice())
        m_analysisEngines.prepare();
}

void EditorViewModel::analyzeComponents()
{
    if (!m_document)
        return;
    const bool onDevice = analyzesOnDevice();
    if (!onDevice && !tokens().token()) {
        setErrorMessage(QStringLiteral("Sign in to use Analyze — opening Settings → Account."));
        if (m_openSettings)
            m_openSettings(QStringLiteral("Account"));
        return;
    }
    analyzeComponentsAuthenticated(*m_document, onDevice);
}

QCoro::Task<void> EditorViewModel::analyzeComponentsAuthenticated(ScreenshotDocument document, bool onDevice)
{
    // A second Analyze while the card is still flat from the first must not save that flat
    // state over the tilt the user had.
    if (!m_preAnnotateSceneState || m_sceneState.isPerspective || m_sceneState.yaw != 0 || m_sceneState.pitch != 0)
        m_preAnnotateSceneState = m_sceneState;
    SceneState flat = m_sceneState;
    flat.isPerspective = false;
    flat.yaw = 0;
    flat.pitch = 0;
    // A card that is flat already is not drawn again: the shimmer paints without waiting
    // for a frame of the scene.
    setSceneState(flat);
    m_rotationTargets = {};
    Q_EMIT tiltResetRequested();

    ++m_analysisRuns;
    setIsAnalyzing(true);
    setDetectedComponents({});
    clearErrorMessage();

    QPointer<EditorViewModel> self(this);
    QString failure;
    std::optional<ComponentAnalysisResponse> response;
    try {
        VisionAnalysisService& service = visionService();
        // One plain statement per await: GCC 12 mishandles co_await inside a conditional
        // expression and destroys its temporaries twice.
        QCoro::Task<ComponentAnalysisResponse> analysis =
            onDevice ? service.analyzeOnDevice(document.baseImage) : service.analyzeScreenshot(document.baseImage);
        ComponentAnalysisResponse answer = co_await std::move(analysis);
        response = std::move(answer);
    } catch (const VisionError& error) {
        if (error.kind() == VisionError::Kind::rateLimited) {
            failure = error.detail();
        } else if (error.kind() == VisionError::Kind::notAuthenticated) {
            if (self) {
                self->tokens().setToken(std::nullopt);
                Q_EMIT self->cloudSessionRejected();
            }
            failure = QStringLiteral("Your Pelorin sign-in expired — sign in again in Settings → Account.");
        } else {
            failure = QStringLiteral("Analysis failed: ") + error.description();
        }
    } catch (const ServiceError& error) {
        failure = QStringLiteral("Analysis failed: ") + error.description();
    } catch (const std::exception& error) {
        failure = QStringLiteral("Analysis failed: ") + QString::fromUtf8(error.what());
    }
    if (!self)
        co_return;

    std::optional<std::vector<DetectedComponent>> mapped;
    // Boxes found for a screenshot that has since been replaced belong to nothing on screen.
    const bool sameDocument = m_document && m_document->id == document.id;
    if (response && sameDocument) {
        const double scale = m_document->imageScale > 0 ? m_document->imageScale : 1.0;
        const QSizeF base(m_document->baseImage.width() / scale, m_document->baseImage.height() / scale);
        const double dy = m_document->imagePointSize().height() - base.height();
        mapped = mapToDocument(*response, base, dy);
        if (!mapped)
            failure = QStringLiteral("Analysis failed: ") + VisionError::invalidResponse().description();
    }

    --m_analysisRuns;
    if (mapped) {
        setDetectedComponents(std::move(*mapped));
        setShowComponentOverlay(true);
    } else if (!failure.isEmpty()) {
        setErrorMessage(failure);
        restorePreAnnotateSceneState();
    }
    // Another analysis still running keeps the shimmer; whichever finishes last sets the list.
    setIsAnalyzing(m_analysisRuns > 0);
}

} // namespace pelorin
