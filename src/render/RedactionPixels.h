#pragma once

#include "core/Annotation.h"

#include <QImage>
#include <QRectF>

#include <optional>

namespace pelorin {

// What a pixelate or blur redaction shows: the screenshot's own pixels under it, made
// unreadable. `image` is small (one pixel per block, or a reduced blurred copy) and covers
// `rect` (document points, the redaction clipped to the screenshot); it is drawn stretched
// over `rect`, with smoothing when `smooth` (blur) and without (pixelate, so blocks stay
// blocks). Canvas and export draw the same small image, so they show the same pixels.
struct RedactionPixels {
    QImage image;
    QRectF rect;
    bool smooth = false;
};

// Side of a pixelate block in document points: wider than a third of the line height of
// 13-point text, so letters cannot be told apart.
inline constexpr double pixelateBlockSize = 8;

// None for a solid redaction, or one that lies outside `screenshot`. `screenshot` carries its
// pixels per point as its device pixel ratio. Results are cached: redrawing the canvas reuses
// them while neither the screenshot nor the redaction changes.
std::optional<RedactionPixels> redactionPixels(const QImage& screenshot, const QRectF& rect, RedactStyle style);

} // namespace pelorin
