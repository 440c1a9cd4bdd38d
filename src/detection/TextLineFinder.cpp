#include "detection/DetectorBackends.h"

#include <opencv2/imgproc.hpp>
#include <omp.h>
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace pelorin::detail {

namespace {

// Text ink is taken as the distance from the local mean over a window (pixels of the
// working copy), amplified; light-on-dark text then reads like dark-on-light text.
constexpr double inkGain = 2;
// Width of the paint stroke that erases box outlines before the text pass.
constexpr int eraseStroke = 3;
// Neighbourhood whose median stands in for an erased outline's pixels: wider than any border.
constexpr int medianWindow = 5;
// A line is split where the gap between two words exceeds this many line heights: menu
// items, table columns and toolbar labels are separate things on screen.
constexpr double columnGap = 1.2;
// Tesseract guesses a resolution (and warns) when given none; screenshots are roughly 96 dpi.
constexpr int screenDpi = 96;
// An element this even (grey-level standard deviation) holds nothing to find.
constexpr double blankPlateSpread = 4;

// One layout engine per worker thread: setting it up costs more than a small screenshot's
// analysis, and an engine must not be shared between threads.
tesseract::TessBaseAPI& layoutEngine()
{
    thread_local std::unique_ptr<tesseract::TessBaseAPI> engine;
    if (!engine) {
        // OpenMP reads OMP_THREAD_LIMIT when the library loads, before main(), and Tesseract
        // asks for fixed team sizes in places, so the thread count alone does not hold it:
        // no nested teams on this thread (the setting is per thread). Two-way parallelism on
        // a busy two-core machine costs several times what it gains.
        omp_set_num_threads(1);
        omp_set_max_active_levels(0);
        engine = std::make_unique<tesseract::TessBaseAPI>();
        // Layout analysis only: no language model is loaded.
        engine->InitForAnalysePage();
        // Its progress notes ("Detected 4 diacritics") are not ours to print, nor are the
        // image library's complaints about pictures a few pixels wide.
        engine->SetVariable("debug_file", "/dev/null");
        setMsgSeverity(L_SEVERITY_NONE);
        engine->SetPageSegMode(tesseract::PSM_SPARSE_TEXT);
    }
    return *engine;
}

std::vector<std::vector<cv::Point>> scaledOutlines(const std::vector<std::vector<cv::Point>>& outlines, double scale)
{
    std::vector<std::vector<cv::Point>> scaled;
    scaled.reserve(outlines.size());
    for (const std::vector<cv::Point>& outline : outlines) {
        std::vector<cv::Point> points;
        points.reserve(outline.size());
        for (const cv::Point& p : outline)
            points.emplace_back(int(p.x * scale), int(p.y * scale));
        scaled.push_back(std::move(points));
    }
    return scaled;
}

// Ink with the box outlines painted out. Painting them out of the ink alone leaves the faint
// band the local mean spreads around a line, which layout analysis then takes for a picture
// and drops the text beside it; the outlines go from the grey copy first, replaced by what
// surrounds them, and what is left of them from the ink.
cv::Mat inkImage(const cv::Mat& grey, double scale, int inkWindow, const std::vector<std::vector<cv::Point>>& erase)
{
    cv::Mat work = reducedBy(grey, scale);
    const std::vector<std::vector<cv::Point>> outlines = scaledOutlines(erase, scale);
    if (!outlines.empty()) {
        cv::Mat mask = cv::Mat::zeros(work.size(), CV_8U);
        cv::polylines(mask, outlines, true, cv::Scalar(255), eraseStroke);
        cv::Mat surroundings;
        cv::medianBlur(work, surroundings, medianWindow);
        // Into a copy: `work` may be the caller's image.
        cv::Mat cleaned = work.clone();
        surroundings.copyTo(cleaned, mask);
        work = cleaned;
    }
    cv::Mat mean;
    cv::blur(work, mean, cv::Size(inkWindow, inkWindow));
    cv::Mat distance;
    cv::absdiff(work, mean, distance);
    cv::Mat ink;
    distance.convertTo(ink, CV_8U, -inkGain, 255);
    if (!outlines.empty())
        cv::polylines(ink, outlines, true, cv::Scalar(255), eraseStroke);
    return ink;
}

} // namespace

std::vector<QRectF> findTextLines(const cv::Mat& grey, const std::vector<std::vector<cv::Point>>& erase, int inkWindow,
                                  int maximumDimension)
{
    const int longest = std::max(grey.cols, grey.rows);
    const double scale = std::min(1.0, double(maximumDimension) / longest);
    const cv::Mat ink = inkImage(grey, scale, inkWindow, erase);

    tesseract::TessBaseAPI& engine = layoutEngine();
    engine.SetImage(ink.data, ink.cols, ink.rows, 1, int(ink.step));
    engine.SetSourceResolution(screenDpi);
    std::vector<QRectF> lines;
    const std::unique_ptr<tesseract::PageIterator> it(engine.AnalyseLayout());
    if (it) {
        const double sx = 1.0 / ink.cols;
        const double sy = 1.0 / ink.rows;
        const auto add = [&](const cv::Rect& r) { lines.emplace_back(r.x * sx, r.y * sy, r.width * sx, r.height * sy); };
        do {
            int l = 0, t = 0, r = 0, b = 0;
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b))
                continue;
            const double maxGap = columnGap * (b - t);
            std::optional<cv::Rect> run;
            do {
                if (!it->BoundingBox(tesseract::RIL_WORD, &l, &t, &r, &b))
                    continue;
                const cv::Rect word(cv::Point(l, t), cv::Point(r, b));
                if (run && word.x - (run->x + run->width) > maxGap) {
                    add(*run);
                    run.reset();
                }
                run = run ? (*run | word) : word;
            } while (!it->IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD) &&
                     it->Next(tesseract::RIL_WORD));
            if (run)
                add(*run);
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    engine.Clear();
    return lines;
}

std::vector<cv::Rect> findTextLinesOnPlate(const cv::Mat& plate, double scale)
{
    // The plate's own range, not the page's: white on a saturated chip is faint once the
    // whole screen's contrast decides what counts as ink.
    cv::Scalar mean;
    cv::Scalar spread;
    cv::meanStdDev(plate, mean, spread);
    if (spread[0] < blankPlateSpread)
        return {};
    const cv::Mat reduced = reducedBy(plate, scale);
    // Into a copy: `plate` is a view of the caller's image.
    cv::Mat level;
    cv::normalize(reduced, level, 0, 255, cv::NORM_MINMAX);
    if (cv::mean(level)[0] < 128)
        cv::bitwise_not(level, level);
    // Layout analysis loses lines that touch the image edge.
    constexpr int margin = 8;
    cv::Mat padded;
    cv::copyMakeBorder(level, padded, margin, margin, margin, margin, cv::BORDER_CONSTANT, cv::Scalar(255));

    tesseract::TessBaseAPI& engine = layoutEngine();
    engine.SetImage(padded.data, padded.cols, padded.rows, 1, int(padded.step));
    engine.SetSourceResolution(screenDpi);
    std::vector<cv::Rect> lines;
    const std::unique_ptr<tesseract::PageIterator> it(engine.AnalyseLayout());
    if (it) {
        do {
            int l = 0, t = 0, r = 0, b = 0;
            if (it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b)) {
                const auto back = [scale](int v, bool up) {
                    const double full = (v - margin) / scale;
                    return int(up ? std::ceil(full) : std::floor(full));
                };
                lines.push_back(cv::Rect(cv::Point(back(l, false), back(t, false)), cv::Point(back(r, true), back(b, true))) &
                                cv::Rect(0, 0, plate.cols, plate.rows));
            }
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    engine.Clear();
    return lines;
}

} // namespace pelorin::detail
