#pragma once

#include "core/DimHoles.h"
#include "core/Styling.h"

#include <QImage>
#include <QMatrix4x4>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <array>
#include <vector>

namespace pelorin {

// The per-frame input of a scene render.
struct SceneRenderParams {
    QSizeF imageSize;               // document image, points: the card before zoom
    StylingConfiguration styling;   // corner radius, shadow (padding is the framing's concern)
    bool isPerspective = false;
    float zoom = 1;
    QPointF panNDC;                 // normalised device units, x right, y up
    float scaleFactor = 1;          // output pixels per point
    bool drawsAnnotations = false;
    bool showsTransparencyChecker = false;
    float dimAmount = 0;            // 0 dims nothing
    std::vector<DimHoleSpec> dimHoles;
    // The framebuffer pixel (GL's orientation, from the bottom left) where the drawable's
    // bottom-left pixel lies; a negative one lets a smaller framebuffer hold just the part of
    // the frame an export is cropped to.
    QPoint framebufferOrigin;
    // The two halves of a scene: what lies behind the card (the transparency checker and the
    // background), and the card with its shadow and annotations. A caller that keeps the fill
    // of an unchanged background draws it once and then only the card over a copy of it.
    bool drawsFill = true;
    bool drawsCard = true;
    // A reduced frame shown only while something moves, replaced by a full one at rest: a
    // tilted card is sampled without anisotropic filtering, which a software rasteriser pays
    // for several times over.
    bool isQuick = false;
    // An opaque untilted card is drawn as its middle, replaced without blending or edge ramp,
    // and the band along its edge: less work for a software rasteriser. The split changes
    // the rounding of the odd edge pixel by a level, so exports, whose crops must match the
    // whole frame exactly, draw the card in one piece.
    bool splitsOpaqueCard = false;
    // A shrunk texture on a quad that faces the screen is sampled from its two nearest
    // mipmap levels and blended; without, from the nearest level alone: a little sharper, at
    // half the texel reads, but the look steps as the zoom crosses from level to level. Fine
    // for a live view; exports keep the blend.
    bool blendsMipmapLevels = true;
    // An opaque card whose texels land one to one on whole pixels is copied into the frame
    // where it covers them in full, and only what lies around that is shaded. The copy is the
    // texels themselves, which is what the shaded card gives there too. For a framebuffer of
    // the renderer's own: a widget's may be multisampled, which a copy cannot target.
    bool copiesAlignedCard = false;
};

// The camera of a scene: world units are card heights, the card lies in z = 0.
struct SceneCamera {
    QMatrix4x4 viewProjection;
    float visibleHeight = 1; // world units visible from bottom to top at z = 0
    float distance = 1;      // from the eye to the card's plane
};

// Eases the drawn tilt towards its target, independent of the frame rate.
struct RotationEasing {
    static constexpr double tau = 0.05;        // seconds
    static constexpr float snapDistance = 0.0005f;

    float currentYaw = 0;
    float currentPitch = 0;
    double lastDrawTime = 0;
    bool hasDrawn = false;

    // One frame at `now` (seconds, any monotonic clock); true while an angle is still short
    // of its target, i.e. another frame is wanted.
    bool step(float targetYaw, float targetPitch, double now);
};

// Draws the tilted card scene with OpenGL 3.3 core into whatever framebuffer is bound. Every
// GL call goes through libepoxy, so the same object works in a widget's context and in the
// window-system-free export context; it belongs to the context that was current during
// initialize() and must only be used while that context is current.
class SceneRenderer {
public:
    static constexpr int maxDimHoles = 16;
    // Scene depth of the shadow plane behind the card, in card heights.
    static constexpr float shadowPlaneDepth = 0.75f;

    enum class RowOrder {
        BottomUp, // GL's own order: what a window or widget shows
        TopDown,  // image order, for reading pixels straight into a QImage
    };

    SceneRenderer() = default;
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;
    // Does not touch GL: call releaseResources() while the context is still current.
    ~SceneRenderer() = default;

    // Builds the shading programs, the unit quad and the samplers in the current context.
    bool initialize(QString* error);
    bool isInitialized() const { return m_ready; }
    void releaseResources();

    // Off by default. When on, textures are uploaded without mipmaps and get them only once a
    // draw shrinks them: an untilted export at its native scale samples 1:1 and would spend a
    // third more memory and a pass over every texel on levels it never reads.
    void setMipmapsOnDemand(bool onDemand) { m_mipmapsOnDemand = onDemand; }

    // Each upload replaces the texture only on success; a failed one keeps the previous.
    bool setBackgroundImage(const QImage& image);
    bool setScreenshotImage(const QImage& image);
    // `rectPts` is the document area the image covers; an empty one spans the whole card.
    bool setAnnotationImage(const QImage& image, const QRectF& rectPts);
    void clearAnnotationImage();
    void clearBackgroundImage();

    bool hasBackground() const { return m_background.id != 0; }
    bool hasScreenshot() const { return m_screenshot.id != 0; }
    bool hasAnnotation() const { return m_annotation.id != 0; }
    // No pixel of the screenshot is even partly transparent.
    bool screenshotIsOpaque() const { return m_screenshotOpaque; }
    // The last scene copied part of its card instead of shading it.
    bool copiedCard() const { return m_copiedCard; }

    // Draws the whole scene over the bound framebuffer's `drawablePixels` (which it does not
    // clear) with the given angles in radians.
    void encodeScene(const SceneRenderParams& params, QSize drawablePixels, float yaw, float pitch,
                     RowOrder rowOrder = RowOrder::BottomUp);

    static SceneCamera buildViewProjection(bool isPerspective, float viewAspect, float visibleWorldHeight,
                                           float cameraDistance);
    // The camera that shows an untilted card at exactly zoom × image size points.
    static SceneCamera cameraFor(const SceneRenderParams& params, QSize drawablePixels);

private:
    struct Texture {
        unsigned id = 0;
        QSize size;          // of the image it was made from
        QSize pixels;        // its own: smaller than `size` where the image exceeded the GPU's limit
        bool mipmapped = false;
    };
    struct Uniforms {
        int matrix = -1, pan = -1, flipY = -1, texture = -1, texCrop = -1, pixelsPerPoint = -1;
        int checkerCell = -1;
        int cardSize = -1, cornerRadius = -1, dimAmount = -1, dimCount = -1, dimRects = -1, dimShapes = -1;
        int shadowMap = -1, shadowQuad = -1, shadowHalf = -1, shadowRadius = -1, shadowBlur = -1,
            shadowColor = -1, shadowHidden = -1;
    };
    // One program per kind of draw, all from the same two shading programs.
    // `cardInterior` is the card away from its edges, where every pixel is covered in full.
    enum class Mode { texture, checker, shadow, card, cardInterior };
    static constexpr int modeCount = 5;
    struct Program {
        unsigned id = 0;
        Uniforms uniforms;
    };

    bool upload(Texture& target, const QImage& image, bool mipmapsNow);
    // Binds the texture, first building its mipmaps when `texelsPerPixel` (the largest
    // shrink of this draw; tilted draws count as shrinking) exceeds `mipmapsBeyond`. The
    // default's thousandth of slack keeps a 1:1 draw computed in floats from counting as one.
    void bindForSampling(Texture& texture, double texelsPerPixel, double mipmapsBeyond = 1.001);
    // Switches to the program of `mode` with this frame's shared settings.
    const Uniforms& use(Mode mode);
    void bindDimUniforms(const Uniforms& uniforms, const SceneRenderParams& params);
    void drawQuad(const Uniforms& uniforms, const QMatrix4x4& matrix, QPointF pan);
    // The unit quad split at the centre rectangle `hole` (unit-quad coordinates): the ring of
    // eight cells around it, or the hole itself. Both come from one grid of shared corners,
    // so drawn one after the other they miss no pixel and draw none twice.
    enum class GridPart { ring, centre };
    void drawGridPart(const Uniforms& uniforms, const QMatrix4x4& matrix, QPointF pan, const QRectF& hole,
                      GridPart part);
    // Where an opaque, untilted card covers its pixels in full (two rectangles given by their
    // half sizes around the card's centre, in points: the card inset past its edge ramp, once
    // full width and once full height beside the rounded corners); empty otherwise.
    std::array<float, 4> fullyCoveredArea(const SceneRenderParams& params, const QMatrix4x4& rotation,
                                          QSizeF card) const;
    void drawShadow(const SceneRenderParams& params, const SceneCamera& camera, const QMatrix4x4& rotation,
                    QSizeF card, const std::array<float, 4>& covered);
    // The whole pixels (framebuffer coordinates, GL's orientation) of `covered` where the card
    // drawn with `matrix` maps its texels one to one onto whole pixels; empty otherwise.
    QRect alignedCardPixels(const SceneRenderParams& params, const QMatrix4x4& matrix, QSize drawablePixels,
                            const std::array<float, 4>& covered, QRectF* cardPixels) const;
    // Copies the screenshot's texels under `target` from the card lying at `cardPixels`.
    bool copyCardPixels(const QRect& target, const QRectF& cardPixels);

    bool m_ready = false;
    bool m_mipmapsOnDemand = false;
    std::array<Program, modeCount> m_programs;
    unsigned m_vertexArray = 0;
    unsigned m_vertexBuffer = 0;
    unsigned m_indexBuffer = 0;
    unsigned m_gridArray = 0;
    unsigned m_gridVertexBuffer = 0;
    unsigned m_gridIndexBuffer = 0;
    unsigned m_copyFramebuffer = 0; // reads the screenshot texture for copies
    unsigned m_sampler = 0;     // anisotropic, for a tilted card
    unsigned m_flatSampler = 0; // the same without anisotropy
    unsigned m_nearestLevelSampler = 0; // and from one mipmap level
    int m_maxTextureSize = 0;
    float m_frameFlipY = 1;
    float m_framePixelsPerPoint = 1;
    Texture m_background;
    Texture m_screenshot;
    Texture m_annotation;
    QRectF m_annotationRectPts;
    bool m_screenshotOpaque = false;
    bool m_copiedCard = false;
};

} // namespace pelorin
