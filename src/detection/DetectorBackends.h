#pragma once

#include "detection/ElementDetectionService.h"

#include <opencv2/core.hpp>

#include <vector>

namespace pelorin::detail {

// The bitmap as 8-bit grey at full resolution; empty when the image has no pixels.
cv::Mat greyPixels(const QImage& image);

struct ContourPass {
    std::vector<Contour> roots;
    // Every outline in pixels of the reduced copy, numbered as Contour::sourceIndex.
    std::vector<std::vector<cv::Point>> outlines;
    double scale = 1; // reduced copy pixels per full-resolution pixel
};

// Closed outlines of dark-on-light structure on a copy at most
// ElementDetectionService::contourImageMaximumDimension pixels on its longer side, contrast raised.
ContourPass findContours(const cv::Mat& grey);

// Text-line boxes, normalised. `erase` lists box outlines (full-resolution pixels) to paint
// out first, so box borders are not taken for text. Ink is measured against the mean of an
// `inkWindow`-pixel square of a copy at most 1440 pixels on its longer side: the element
// detector's window, or a smaller one that also catches text set close to strong shapes
// (avatars, icons) at the price of more stray lines.
inline constexpr int elementInkWindow = 21;
std::vector<QRectF> findTextLines(const cv::Mat& grey, const std::vector<std::vector<cv::Point>>& erase,
                                  int inkWindow = elementInkWindow);

} // namespace pelorin::detail
