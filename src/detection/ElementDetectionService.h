#pragma once

#include <QFuture>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <vector>

namespace pelorin {

// A closed outline found in the image, with the outlines nested inside it. Points are
// normalised to the image (0–1 on both axes, origin top-left).
struct Contour {
    std::vector<QPointF> points;
    std::vector<Contour> children;
    int sourceIndex = -1; // the detector's own number for it, -1 for none
};

// What the two detectors found on one bitmap. Text-line boxes are normalised like contours.
struct RawDetections {
    std::vector<QRectF> textBoxes;
    std::vector<Contour> contours; // top-level outlines
};

// Finds likely UI elements on the device: blocks of text and closed, box-like outlines.
// Stateless; every rectangle is in the image's points, origin top-left, y down.
namespace ElementDetectionService {

inline constexpr double textBoxMargin = 4;
inline constexpr double clusterReachX = 28;
inline constexpr double clusterReachY = 16;
inline constexpr int clusterMinimumMembers = 2;
inline constexpr double clusterMargin = 10;
inline constexpr int contourMaximumDepth = 2;
inline constexpr int contourMinimumPoints = 4;
inline constexpr double polygonTolerance = 0.01;
inline constexpr int polygonMaximumPoints = 8;
inline constexpr double boxMinimumWidth = 24;
inline constexpr double boxMinimumHeight = 16;
inline constexpr double boxMinimumAreaShare = 0.001;
inline constexpr double boxMaximumAreaShare = 0.6;
inline constexpr double boxMinimumAspect = 0.05;
inline constexpr double boxMaximumAspect = 20;
inline constexpr double keptMinimumWidth = 12;
inline constexpr double keptMinimumHeight = 8;
inline constexpr double duplicateOverlap = 0.8;
inline constexpr int maximumElements = 80;
// Longest side of the copy the outline detector works on, in pixels.
inline constexpr int contourImageMaximumDimension = 1024;

// Runs `detect` on a worker thread; the future finishes at once with an empty list when the
// image has no bitmap or `pointSize` is not positive. Never fails: a detector that throws
// contributes nothing.
QFuture<std::vector<QRectF>> detectElements(const QImage& image, QSizeF pointSize);

// The whole detection, on the calling thread. `pointSize` is the image's size in points.
std::vector<QRectF> detect(const QImage& image, QSizeF pointSize);

// Text boxes (grown by the text margin), their clusters, then the outline boxes, deduplicated.
std::vector<QRectF> combine(const RawDetections& raw, QSizeF pointSize);

// Appends the box of `contour` and, down to the maximum depth, those of its descendants.
void collectBoxRects(const Contour& contour, int depth, QSizeF pointSize, std::vector<QRectF>& into);
// The contour's bounding box in points when it looks like a UI box, else none.
std::optional<QRectF> boxRect(const Contour& contour, QSizeF pointSize);
// Groups of at least two nearby text boxes, each grown by the cluster margin.
std::vector<QRectF> textClusters(const std::vector<QRectF>& boxes);
// Clips to the image, drops tiny and near-duplicate rectangles, largest first, at most 80.
std::vector<QRectF> dedupe(std::vector<QRectF> rects, QSizeF pointSize);

// A normalised box (origin top-left) in points.
QRectF toPoints(const QRectF& normalised, QSizeF pointSize);
double intersectionOverUnion(const QRectF& a, const QRectF& b);

} // namespace ElementDetectionService

} // namespace pelorin
