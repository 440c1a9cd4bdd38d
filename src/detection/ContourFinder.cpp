#include "detection/DetectorBackends.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace pelorin::detail {

namespace {

// Contrast is raised by this factor before thresholding; a fill that differs from its
// surroundings by a few grey levels still leaves an outline.
constexpr double contrastFactor = 2.0;
// Neighbourhood and offset of the adaptive threshold, in pixels of the reduced copy and grey
// levels after the contrast raise (so a step of 5 grey levels in the screenshot counts). A local
// threshold keeps the 1-pixel grey field borders a global (Otsu) threshold loses.
constexpr int thresholdBlock = 15;
constexpr double thresholdOffset = 10;

Contour buildContour(const std::vector<std::vector<cv::Point>>& contours, const std::vector<cv::Vec4i>& hierarchy,
                     int index, int depth, cv::Size size)
{
    Contour contour;
    contour.sourceIndex = index;
    const std::vector<cv::Point>& points = contours[static_cast<size_t>(index)];
    contour.points.reserve(points.size());
    const double sx = 1.0 / size.width;
    const double sy = 1.0 / size.height;
    // Outline points stand for pixel centres.
    for (const cv::Point& p : points)
        contour.points.emplace_back((p.x + 0.5) * sx, (p.y + 0.5) * sy);
    if (depth < ElementDetectionService::contourMaximumDepth) {
        for (int child = hierarchy[static_cast<size_t>(index)][2]; child >= 0;
             child = hierarchy[static_cast<size_t>(child)][0])
            contour.children.push_back(buildContour(contours, hierarchy, child, depth + 1, size));
    }
    return contour;
}

} // namespace

ContourPass findContours(const cv::Mat& grey)
{
    ContourPass pass;
    const int longest = std::max(grey.cols, grey.rows);
    pass.scale = std::min(1.0, double(ElementDetectionService::contourImageMaximumDimension) / longest);
    const cv::Mat small = reducedBy(grey, pass.scale);

    // Raising the contrast around any pivot only scales the differences the local threshold
    // compares, so it is folded into the offset; clipping at white would flatten light panels.
    cv::Mat mask;
    cv::adaptiveThreshold(small, mask, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV, thresholdBlock,
                          thresholdOffset / contrastFactor);

    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(mask, pass.outlines, hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
    for (size_t i = 0; i < pass.outlines.size(); ++i) {
        if (hierarchy[i][3] < 0)
            pass.roots.push_back(buildContour(pass.outlines, hierarchy, int(i), 0, small.size()));
    }
    return pass;
}

} // namespace pelorin::detail
