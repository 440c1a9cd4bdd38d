#pragma once

#include "core/DimHoles.h"
#include "core/Styling.h"
#include "core/ViewState.h"
#include "render/ImageComposition.h"

#include <QImage>
#include <QRect>
#include <QSizeF>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace pelorin {

class OffscreenSceneRenderer;

// What an export needs, taken by value, so that it can be rendered later (a paste asks for
// a copied image after the editor changed or closed) or without an editor at all (the
// command line's `render`).
struct FinalRenderJob {
    QImage screenshot;
    // The annotations' raster, drawn when rendered over the screenshot (whose pixels blurred
    // and pixelated redactions take); none for a job without annotations.
    std::function<std::optional<AnnotationRaster>(const QImage& screenshot)> annotations;
    QSizeF imageSize;
    double screenScale = 1;
    StylingConfiguration styling;
    std::function<std::optional<QImage>()> wallpaper; // asked when rendered
    SceneState sceneState;
    QSizeF output;
    QPointF pan;
    float zoom = 1;
    double scale = 1;
    DimState dim;
    QRect pixels;                        // of the whole frame: what is rendered and read
    std::optional<double> croppedRatio;  // the image's pixel ratio when cut to a frame
    double pixelRatio = 1;               // pixels per point of the result
};

// The smallest export frame a user can set or the card can be given.
inline constexpr QSizeF exportFrameMinSize{120, 80};

// The frame of an export without one of the user's: the card grown by its padding (both in
// points of the canvas), within the canvas; the whole canvas when that is too small to frame.
QRectF paddedCardFrame(const QRectF& card, double padding, QSizeF canvas);

// Pixels per point of an export: the image's own at the zoom, but no side over the largest
// an export may have.
double exportScaleFor(double imageScale, double zoom, QSizeF canvas);

// Narrows a job whose output, pan and scale are set to `frame` (in points of the output):
// the file gets exactly the frame's pixels. False when the output would be smaller than one
// pixel.
bool frameFinalRender(FinalRenderJob& job, const QRectF& frame, double imageScale);

// Renders the job; into `image`, or, without one, left in the renderer to be read. False with
// `error` set when it fails. The job's screenshot is let go of once the renderer holds it: a
// caller that moves in the only copy frees its memory for the frame.
bool runFinalRender(FinalRenderJob job, OffscreenSceneRenderer& renderer, std::optional<QImage>* image,
                    QString* error);

// Writes what the renderer holds as a PNG of `pixelRatio` pixels per point. Throws ExportError;
// `error` says why reading the frame failed.
void saveRenderedPng(OffscreenSceneRenderer& renderer, double pixelRatio, const QString& path, QString* error);

// Renders the job into the file, by its type. Throws ExportError; `error` says why rendering failed.
void saveFinalRender(FinalRenderJob job, OffscreenSceneRenderer& renderer, const QString& path, QString* error);

} // namespace pelorin
