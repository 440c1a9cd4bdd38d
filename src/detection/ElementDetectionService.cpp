#include "detection/ElementDetectionService.h"

#include "detection/DetectorBackends.h"

#include <QtConcurrent>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

namespace pelorin {

namespace ElementDetectionService {

namespace {

double area(const QRectF& r)
{
    return r.width() * r.height();
}

// Runs one detector; a failure in it leaves the other's findings standing.
template <typename Result, typename Work>
Result guarded(const char* what, Work&& work)
{
    try {
        return work();
    } catch (const std::exception& error) {
        const std::string message = error.what();
        std::fprintf(stderr, "Pelorin: %s failed: %s\n", what, message.substr(0, message.find('\n')).c_str());
    } catch (...) {
        std::fprintf(stderr, "Pelorin: %s failed\n", what);
    }
    return Result{};
}

} // namespace

QRectF toPoints(const QRectF& normalised, QSizeF pointSize)
{
    return {normalised.x() * pointSize.width(), normalised.y() * pointSize.height(),
            normalised.width() * pointSize.width(), normalised.height() * pointSize.height()};
}

double intersectionOverUnion(const QRectF& a, const QRectF& b)
{
    const QRectF common = a.intersected(b);
    if (common.isEmpty())
        return 0;
    const double shared = area(common);
    const double joined = area(a) + area(b) - shared;
    return joined > 0 ? shared / joined : 0;
}

std::optional<QRectF> boxRect(const Contour& contour, QSizeF pointSize)
{
    if (int(contour.points.size()) < contourMinimumPoints)
        return std::nullopt;
    std::vector<cv::Point2f> curve;
    curve.reserve(contour.points.size());
    for (const QPointF& p : contour.points)
        curve.emplace_back(float(p.x()), float(p.y()));
    std::vector<cv::Point2f> polygon;
    cv::approxPolyDP(curve, polygon, polygonTolerance, true);
    if (polygon.empty() || int(polygon.size()) > polygonMaximumPoints)
        return std::nullopt;
    const auto [minX, maxX] = std::minmax_element(polygon.begin(), polygon.end(),
                                                  [](const auto& a, const auto& b) { return a.x < b.x; });
    const auto [minY, maxY] = std::minmax_element(polygon.begin(), polygon.end(),
                                                  [](const auto& a, const auto& b) { return a.y < b.y; });
    const QRectF r = toPoints(QRectF(QPointF(minX->x, minY->y), QPointF(maxX->x, maxY->y)), pointSize);
    if (r.width() < boxMinimumWidth || r.height() < boxMinimumHeight)
        return std::nullopt;
    const double share = area(r) / (pointSize.width() * pointSize.height());
    const double aspect = r.width() / r.height();
    if (share < boxMinimumAreaShare || share > boxMaximumAreaShare || aspect < boxMinimumAspect ||
        aspect > boxMaximumAspect)
        return std::nullopt;
    return r;
}

void collectBoxRects(const Contour& contour, int depth, QSizeF pointSize, std::vector<QRectF>& into)
{
    if (const std::optional<QRectF> r = boxRect(contour, pointSize))
        into.push_back(*r);
    if (depth < contourMaximumDepth) {
        for (const Contour& child : contour.children)
            collectBoxRects(child, depth + 1, pointSize, into);
    }
}

std::vector<QRectF> textClusters(const std::vector<QRectF>& boxes)
{
    struct Cluster {
        QRectF rect;
        int members;
    };
    const auto reach = [](const QRectF& r) { return r.adjusted(-clusterReachX, -clusterReachY, clusterReachX, clusterReachY); };
    std::vector<Cluster> clusters;
    clusters.reserve(boxes.size());
    for (const QRectF& box : boxes)
        clusters.push_back({box, 1});
    bool merged = true;
    while (merged) {
        merged = false;
        std::vector<Cluster> next;
        next.reserve(clusters.size());
        for (const Cluster& c : clusters) {
            const QRectF grown = reach(c.rect);
            const auto near = std::find_if(next.begin(), next.end(),
                                           [&](const Cluster& other) { return reach(other.rect).intersects(grown); });
            if (near != next.end()) {
                *near = {near->rect.united(c.rect), near->members + c.members};
                merged = true;
            } else {
                next.push_back(c);
            }
        }
        clusters = std::move(next);
    }
    std::vector<QRectF> result;
    for (const Cluster& c : clusters) {
        if (c.members >= clusterMinimumMembers)
            result.push_back(c.rect.adjusted(-clusterMargin, -clusterMargin, clusterMargin, clusterMargin));
    }
    return result;
}

std::vector<QRectF> dedupe(std::vector<QRectF> rects, QSizeF pointSize)
{
    const QRectF bounds(QPointF(0, 0), pointSize);
    std::vector<QRectF> clipped;
    clipped.reserve(rects.size());
    for (const QRectF& r : rects) {
        const QRectF c = r.intersected(bounds);
        if (!c.isEmpty() && c.width() >= keptMinimumWidth && c.height() >= keptMinimumHeight)
            clipped.push_back(c);
    }
    std::stable_sort(clipped.begin(), clipped.end(), [](const QRectF& a, const QRectF& b) { return area(a) > area(b); });
    std::vector<QRectF> kept;
    for (const QRectF& r : clipped) {
        if (int(kept.size()) >= maximumElements)
            break;
        const bool duplicate = std::any_of(kept.begin(), kept.end(), [&](const QRectF& k) {
            return intersectionOverUnion(r, k) > duplicateOverlap;
        });
        if (!duplicate)
            kept.push_back(r);
    }
    return kept;
}

std::vector<QRectF> combine(const RawDetections& raw, QSizeF pointSize)
{
    std::vector<QRectF> textBoxes;
    textBoxes.reserve(raw.textBoxes.size());
    for (const QRectF& box : raw.textBoxes)
        textBoxes.push_back(
            toPoints(box, pointSize).adjusted(-textBoxMargin, -textBoxMargin, textBoxMargin, textBoxMargin));
    std::vector<QRectF> elements = textBoxes;
    const std::vector<QRectF> clusters = textClusters(textBoxes);
    elements.insert(elements.end(), clusters.begin(), clusters.end());
    for (const Contour& contour : raw.contours)
        collectBoxRects(contour, 0, pointSize, elements);
    return dedupe(std::move(elements), pointSize);
}

std::vector<QRectF> detect(const QImage& image, QSizeF pointSize)
{
    if (image.isNull() || !(pointSize.width() > 0) || !(pointSize.height() > 0))
        return {};
    const cv::Mat grey = guarded<cv::Mat>("preparing the image for detection", [&] { return detail::greyPixels(image); });
    if (grey.empty())
        return {};

    RawDetections raw;
    std::vector<std::vector<cv::Point>> erase;
    guarded<int>("outline detection", [&] {
        detail::ContourPass pass = detail::findContours(grey);
        erase = detail::erasableOutlines(pass, pointSize);
        raw.contours = std::move(pass.roots);
        return 0;
    });
    raw.textBoxes = guarded<std::vector<QRectF>>("text detection", [&] { return detail::findTextLines(grey, erase); });
    return combine(raw, pointSize);
}

QFuture<std::vector<QRectF>> detectElements(const QImage& image, QSizeF pointSize)
{
    if (image.isNull() || !(pointSize.width() > 0) || !(pointSize.height() > 0))
        return QtFuture::makeReadyFuture(std::vector<QRectF>{});
    return QtConcurrent::run([image, pointSize] {
        return guarded<std::vector<QRectF>>("element detection", [&] { return detect(image, pointSize); });
    });
}

} // namespace ElementDetectionService

namespace detail {

cv::Mat greyPixels(const QImage& image)
{
    if (image.isNull())
        return {};
    QImage rgb = image;
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break;
    case QImage::Format_Grayscale8: {
        cv::Mat view(image.height(), image.width(), CV_8UC1, const_cast<uchar*>(image.constBits()),
                     size_t(image.bytesPerLine()));
        return view.clone();
    }
    default:
        rgb = image.convertToFormat(QImage::Format_ARGB32);
        break;
    }
    cv::Mat view(rgb.height(), rgb.width(), CV_8UC4, const_cast<uchar*>(rgb.constBits()), size_t(rgb.bytesPerLine()));
    cv::Mat grey;
    cv::cvtColor(view, grey, cv::COLOR_BGRA2GRAY);
    return grey;
}

cv::Mat reducedBy(const cv::Mat& image, double scale)
{
    if (!(scale < 1.0))
        return image;
    // A strip one pixel high stays one pixel high: OpenCV refuses a size of nothing.
    const cv::Size size(std::max(1, int(std::lround(image.cols * scale))), std::max(1, int(std::lround(image.rows * scale))));
    cv::Mat reduced;
    cv::resize(image, reduced, size, 0, 0, cv::INTER_AREA);
    return reduced;
}

} // namespace detail

} // namespace pelorin
