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

    pass.size = small.size();
    cv::findContours(mask, pass.outlines, pass.hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
    for (size_t i = 0; i < pass.outlines.size(); ++i) {
        if (pass.hierarchy[i][3] < 0)
            pass.roots.push_back(buildContour(pass.outlines, pass.hierarchy, int(i), 0, small.size()));
    }
    return pass;
}

std::vector<std::vector<cv::Point>> erasableOutlines(const ContourPass& pass, QSizeF pointSize)
{
    namespace eds = ElementDetectionService;
    // A rule this thin (points) cannot be a glyph however long it is.
    constexpr double thinRule = 3;
    // An outline whose inner edge encloses at least this share of it is a frame, not a glyph.
    constexpr double hollowShare = 0.5;
    std::vector<std::vector<cv::Point>> erase;
    if (pass.size.empty() || !(pointSize.width() > 0) || !(pointSize.height() > 0))
        return erase;
    const double pointsPerPixelX = pointSize.width() / pass.size.width;
    const double pointsPerPixelY = pointSize.height() / pass.size.height;
    const double toFull = 1.0 / pass.scale;
    std::vector<cv::Point2f> curve;
    std::vector<cv::Point2f> polygon;
    for (size_t i = 0; i < pass.outlines.size(); ++i) {
        const std::vector<cv::Point>& outline = pass.outlines[i];
        if (int(outline.size()) < eds::contourMinimumPoints)
            continue;
        const cv::Rect bounds = cv::boundingRect(outline);
        const double w = bounds.width * pointsPerPixelX;
        const double h = bounds.height * pointsPerPixelY;
        const bool large = w >= eds::boxMinimumWidth && h >= eds::boxMinimumHeight &&
                           w * h >= eds::boxMinimumAreaShare * pointSize.width() * pointSize.height();
        bool rule = false;
        if (!large && std::max(w, h) >= eds::boxMinimumWidth) {
            rule = std::min(w, h) <= thinRule;
            for (int child = pass.hierarchy[i][2]; child >= 0 && !rule; child = pass.hierarchy[size_t(child)][0])
                rule = cv::boundingRect(pass.outlines[size_t(child)]).area() >= hollowShare * bounds.area();
        }
        if (!large && !rule)
            continue;
        // Judged as the box filter judges outlines: normalised to the image.
        curve.clear();
        for (const cv::Point& p : outline)
            curve.emplace_back(float((p.x + 0.5) / pass.size.width), float((p.y + 0.5) / pass.size.height));
        cv::approxPolyDP(curve, polygon, eds::polygonTolerance, true);
        if (int(polygon.size()) > eds::polygonMaximumPoints)
            continue;
        std::vector<cv::Point> full;
        full.reserve(outline.size());
        for (const cv::Point& p : outline)
            full.emplace_back(int((p.x + 0.5) * toFull), int((p.y + 0.5) * toFull));
        erase.push_back(std::move(full));
    }
    return erase;
}

} // namespace pelorin::detail
