#pragma once

#include "detection/ElementDetectionService.h"

#include <opencv2/core.hpp>

#include <vector>

namespace pelorin::detail {

// The bitmap as 8-bit grey at full resolution; empty when the image has no pixels.
cv::Mat greyPixels(const QImage& image);

// `image` shrunk by `scale` with area averaging, or itself (not a copy) at a scale of 1 or more.
cv::Mat reducedBy(const cv::Mat& image, double scale);

struct ContourPass {
    std::vector<Contour> roots;
    // Every outline in pixels of the reduced copy, numbered as Contour::sourceIndex.
    std::vector<std::vector<cv::Point>> outlines;
    std::vector<cv::Vec4i> hierarchy; // OpenCV's: next, previous, first child, parent
    cv::Size size;                    // of the reduced copy
    double scale = 1;                 // reduced copy pixels per full-resolution pixel
};

// Closed outlines of dark-on-light structure on a copy at most
// ElementDetectionService::contourImageMaximumDimension pixels on its longer side, contrast raised.
ContourPass findContours(const cv::Mat& grey);

// Every outline the text pass should paint out, in full-resolution pixels: each box-like one
// that is no glyph, whether or not it is offered as a box (a panel over most of the screen, a
// thin outlined divider), and long thin rules. Left in, layout analysis takes them for text or
// for a picture and loses the lines beside or inside them.
std::vector<std::vector<cv::Point>> erasableOutlines(const ContourPass& pass, QSizeF pointSize);

// Text-line boxes, normalised. `erase` lists box outlines (full-resolution pixels) to paint
// out first, so box borders are not taken for text. Ink is measured against the mean of an
// `inkWindow`-pixel square of a copy at most `maximumDimension` pixels on its longer side.
// The element detector's window and size find most lines; the analyser adds what other
// windows find.
inline constexpr int elementInkWindow = 21;
// Layout analysis finds the lines of a screenshot at one pixel per point as well as at two,
// in half the time.
inline constexpr int textImageMaximumDimension = 1440;
std::vector<QRectF> findTextLines(const cv::Mat& grey, const std::vector<std::vector<cv::Point>>& erase,
                                  int inkWindow = elementInkWindow, int maximumDimension = textImageMaximumDimension);

// Text-line boxes (pixels of `plate`) inside one filled element, its ink judged by the
// element's own contrast rather than the page's, on a copy reduced by `scale`.
std::vector<cv::Rect> findTextLinesOnPlate(const cv::Mat& plate, double scale = 1);

} // namespace pelorin::detail
