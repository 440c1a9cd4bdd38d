#include "detection/DeviceComponentAnalyzer.h"

#include "detection/DetectorBackends.h"
#include "detection/ElementDetectionService.h"

#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <omp.h>
#include <opencv2/imgproc.hpp>
#include <tesseract/baseapi.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace pelorin::DeviceComponentAnalyzer {

namespace {

// Recognition reads glyphs best at roughly this line height in pixels; smaller lines are
// enlarged to it, larger ones are left alone.
constexpr int recognitionLineHeight = 32;
// Background painted around a line: the recogniser misreads glyphs that touch the edge.
constexpr int linePadding = 10;
// Pixels added around a detected line before it is cut out: its box is the tight ink box.
constexpr int lineMargin = 3;
constexpr int maximumLabelLength = 60;
// Ink window of the main line search (pixels of its working copy). Wider than the element
// detector's: on the development screens that one loses whole lines set beside avatars,
// which this one finds; it in turn finds some button labels this one loses, so both run.
constexpr int lineInkWindow = 61;
// A "line" this many times taller than the typical line is a stack of lines, a block of
// controls or the whole screen: read as one line it gives only noise.
constexpr double tallLineFactor = 6;
// Grey levels a pixel must differ from the background by to count as ink.
constexpr int inkSeparation = 40;
// Pixels cut from each side of an element before its own line search: its border is no text.
constexpr int plateInset = 3;
// Grey-level spread above which an empty box holds a picture rather than a plain fill.
constexpr double imageSpread = 16;
// Below this spread a box holds nothing at all.
constexpr double blankSpread = 4;
// Letters or a glyph on a plain fill stand out by at least this spread.
constexpr double glyphContrast = 30;
// Share of the inside near its commonest shade: at least this much for a plain fill with a few
// letters on it, below the other for a photo or a gradient.
constexpr double plainShare = 0.7;
constexpr double pictureShare = 0.2;
// Spread of a panel that holds a picture or a dark control besides its text.
constexpr double compositeSpread = 65;
// Shade difference between a box's inside and its surroundings that makes it filled.
constexpr double filledContrast = 8;
// Boxes up to this size (points) are measured for how even their inside is: only small ones
// are told apart by it, and a screen-sized panel would cost a pass over most of the image.
constexpr double flatnessExtent = 400;

// Share of the pixels within a few grey levels of the commonest one: a glyph or a few
// letters on a plain fill leave most of it even, a photo or a gradient does not.
double commonShadeShare(const cv::Mat& grey)
{
    constexpr int band = 4;
    int histogram[256] = {};
    for (int y = 0; y < grey.rows; ++y) {
        const uchar* row = grey.ptr<uchar>(y);
        for (int x = 0; x < grey.cols; ++x)
            ++histogram[row[x]];
    }
    const int common = int(std::max_element(std::begin(histogram), std::end(histogram)) - std::begin(histogram));
    int near = 0;
    for (int level = std::max(0, common - band); level <= std::min(255, common + band); ++level)
        near += histogram[level];
    return grey.empty() ? 0 : double(near) / double(grey.total());
}

int medianLevel(const cv::Mat& grey)
{
    int histogram[256] = {};
    for (int y = 0; y < grey.rows; ++y) {
        const uchar* row = grey.ptr<uchar>(y);
        for (int x = 0; x < grey.cols; ++x)
            ++histogram[row[x]];
    }
    const int half = grey.rows * grey.cols / 2;
    int seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += histogram[level];
        if (seen > half)
            return level;
    }
    return 255;
}

// Engines are kept between analyses and lent to whichever worker needs one: loading the
// language model costs more than reading a screenful of lines, and an engine must not be
// used by two threads at once. At most one engine per concurrent worker is ever made.
class EnginePool {
public:
    class Loan {
    public:
        explicit Loan(EnginePool& pool)
            : m_pool(pool)
            , m_engine(pool.take())
        {
        }
        ~Loan() { m_pool.give(std::move(m_engine)); }
        Loan(const Loan&) = delete;
        Loan& operator=(const Loan&) = delete;
        tesseract::TessBaseAPI& operator*() const { return *m_engine; }

    private:
        EnginePool& m_pool;
        std::unique_ptr<tesseract::TessBaseAPI> m_engine;
    };

    static EnginePool& shared()
    {
        static EnginePool pool;
        return pool;
    }

    // Makes engines until `count` exist (lent ones included), so the first analysis does not
    // wait for the model to load; stops when they are no longer to be kept.
    void fill(int count)
    {
        for (;;) {
            {
                const std::lock_guard lock(m_mutex);
                if (m_made >= count || !m_keep)
                    return;
                ++m_made;
            }
            std::unique_ptr<tesseract::TessBaseAPI> engine;
            try {
                engine = create();
            } catch (const RecognizerUnavailable&) {
                // The analysis itself reports it.
            }
            if (!engine) {
                const std::lock_guard lock(m_mutex);
                --m_made;
                return;
            }
            give(std::move(engine));
        }
    }

    // Engines given back are kept for the next analysis (again, after releaseIdle()).
    void keep()
    {
        const std::lock_guard lock(m_mutex);
        m_keep = true;
    }

    // Lets go of the engines no analysis is using, and of those in use once they are given
    // back, unless the pool is asked to keep them again before.
    void releaseIdle()
    {
        std::vector<std::unique_ptr<tesseract::TessBaseAPI>> idle;
        {
            const std::lock_guard lock(m_mutex);
            m_keep = false;
            idle.swap(m_idle);
            m_made -= int(idle.size());
        }
    }

private:
    std::unique_ptr<tesseract::TessBaseAPI> take()
    {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_idle.empty()) {
                std::unique_ptr<tesseract::TessBaseAPI> engine = std::move(m_idle.back());
                m_idle.pop_back();
                return engine;
            }
            ++m_made;
        }
        try {
            return create();
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            --m_made;
            throw;
        }
    }

    void give(std::unique_ptr<tesseract::TessBaseAPI> engine)
    {
        if (!engine)
            return;
        std::unique_ptr<tesseract::TessBaseAPI> dropped; // freed outside the lock
        const std::lock_guard lock(m_mutex);
        if (m_keep) {
            m_idle.push_back(std::move(engine));
            return;
        }
        --m_made;
        dropped = std::move(engine);
    }

    static std::unique_ptr<tesseract::TessBaseAPI> create()
    {
        auto created = std::make_unique<tesseract::TessBaseAPI>();
        created->SetVariable("debug_file", "/dev/null");
        if (created->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0)
            throw RecognizerUnavailable("The text recogniser could not start: the English language data "
                                        "(Debian package tesseract-ocr-eng) is missing");
        created->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
        // Lines are turned dark-on-light before they get here; a second, inverted reading
        // would only double the time.
        created->SetVariable("tessedit_do_invert", "0");
        return created;
    }

    std::mutex m_mutex;
    std::vector<std::unique_ptr<tesseract::TessBaseAPI>> m_idle;
    int m_made = 0; // idle and lent
    bool m_keep = true;
};

// The columns of a line worth reading: a bar at either end taller than all the text beside it
// is the edge of the chip or panel the line sits on (read as "(" or "[", or fused with the
// first letter), not a glyph.
cv::Range withoutEdgeBars(const cv::Mat& inkMask)
{
    struct Run {
        int first;
        int last;
        int height; // rows from its highest ink to its lowest
    };
    std::vector<Run> runs;
    int top = inkMask.rows;
    int bottom = -1;
    for (int x = 0; x <= inkMask.cols; ++x) {
        int columnTop = inkMask.rows;
        int columnBottom = -1;
        if (x < inkMask.cols) {
            for (int y = 0; y < inkMask.rows; ++y) {
                if (inkMask.at<uchar>(y, x)) {
                    columnTop = std::min(columnTop, y);
                    columnBottom = y;
                }
            }
        }
        if (columnBottom >= 0) {
            if (bottom < 0)
                runs.push_back({x, x, 0});
            runs.back().last = x;
            top = std::min(top, columnTop);
            bottom = std::max(bottom, columnBottom);
        } else if (bottom >= 0) {
            runs.back().height = bottom - top + 1;
            top = inkMask.rows;
            bottom = -1;
        }
    }
    constexpr double barOverText = 1.5;
    const auto bar = [&runs](size_t i) {
        const Run& run = runs[i];
        int text = 0;
        for (size_t j = 0; j < runs.size(); ++j)
            text = j == i ? text : std::max(text, runs[j].height);
        return text > 0 && run.height >= barOverText * text && 2 * (run.last - run.first + 1) <= run.height;
    };
    cv::Range kept(0, inkMask.cols);
    if (runs.size() >= 2 && bar(0))
        kept.start = runs.front().last + 1;
    if (runs.size() >= 3 && bar(runs.size() - 1))
        kept.end = runs.back().first;
    return kept;
}

Reading readLine(const cv::Mat& grey)
{
    if (grey.empty())
        return {};
    // Stretched to the full range: text under a dimming layer has little contrast left.
    cv::Mat line;
    cv::normalize(grey, line, 0, 255, cv::NORM_MINMAX);
    // The background is what most pixels show; text is whatever stands apart from it. Light
    // text (on a dark, coloured or dimmed plate) reads like dark text once inverted.
    const int background = medianLevel(line);
    cv::Mat apart;
    cv::absdiff(line, cv::Scalar(background), apart);
    const cv::Mat inkMask = apart > inkSeparation;
    if (cv::countNonZero(inkMask) > 0 && cv::mean(line, inkMask)[0] > background) {
        cv::Mat inverted;
        cv::bitwise_not(line, inverted);
        line = inverted;
    }
    line = line.colRange(withoutEdgeBars(inkMask));
    if (line.rows < recognitionLineHeight) {
        const double factor = double(recognitionLineHeight) / line.rows;
        cv::Mat larger;
        cv::resize(line, larger, cv::Size(), factor, factor, cv::INTER_CUBIC);
        line = larger;
    }
    cv::Mat padded;
    // Isolated: `line` may be a view of fewer columns, and the bar left out must not come back
    // as the border.
    cv::copyMakeBorder(line, padded, linePadding, linePadding, linePadding, linePadding,
                       cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);

    // The recogniser asks for four threads per network step whatever the thread count is set
    // to; lines already run side by side, and on a busy machine those teams spin more than
    // they work. No nested teams on this thread then (the setting is per thread).
    omp_set_max_active_levels(0);
    const EnginePool::Loan loan(EnginePool::shared());
    tesseract::TessBaseAPI& engine = *loan;
    engine.SetImage(padded.data, padded.cols, padded.rows, 1, int(padded.step));
    engine.SetSourceResolution(144);
    const std::unique_ptr<char[]> text(engine.GetUTF8Text());
    const int confidence = engine.MeanTextConf();
    engine.Clear();
    QString read = text ? QString::fromUtf8(text.get()).simplified() : QString();
    // The model has no ellipsis and spells a shortened label's "…" as three full stops.
    if (read.endsWith(QLatin1String("...")))
        read = read.chopped(3) + QChar(0x2026);
    return {read, confidence};
}

// Lines are read on workers of their own: the analysis itself usually runs on the shared
// pool, and waiting there for lines queued on the same pool leaves two analyses at once
// (or one beside other background work) waiting for each other.
QThreadPool& recognitionPool()
{
    static QThreadPool pool;
    return pool;
}

void dropTallLines(std::vector<QRectF>& lines)
{
    if (lines.empty())
        return;
    std::vector<double> heights;
    heights.reserve(lines.size());
    for (const QRectF& line : lines)
        heights.push_back(line.height());
    std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
    const double limit = tallLineFactor * heights[heights.size() / 2];
    std::erase_if(lines, [limit](const QRectF& line) { return line.height() > limit; });
}

// Layout analysis sometimes ends a line inside a word and starts the next one right after
// it ("Merge cont" + "acts"): lines on the same row closer than a fraction of their height
// are one line.
void joinTouchingLines(std::vector<QRectF>& lines)
{
    constexpr double touchingGap = 0.15; // of the line height
    constexpr double sameRow = 0.7;     // share of the lower line's height the two share
    bool joined = true;
    while (joined) {
        joined = false;
        for (size_t i = 0; i < lines.size() && !joined; ++i) {
            for (size_t j = i + 1; j < lines.size() && !joined; ++j) {
                const QRectF& a = lines[i];
                const QRectF& b = lines[j];
                const double shared = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
                const double height = std::min(a.height(), b.height());
                const double gap = std::max(a.left(), b.left()) - std::min(a.right(), b.right());
                if (shared >= sameRow * height && gap <= touchingGap * height) {
                    lines[i] = a | b;
                    lines.erase(lines.begin() + std::ptrdiff_t(j));
                    joined = true;
                }
            }
        }
    }
}

// Whether a column of the screenshot holds ink, against the background of a line's box
// and the contrast of what is in it.
class InkColumns {
public:
    InkColumns(const cv::Mat& grey, const cv::Rect& box)
        : m_grey(grey)
        , m_top(box.y)
        , m_bottom(box.y + box.height)
    {
        const cv::Mat inside = grey(box);
        double darkest = 0;
        double lightest = 0;
        cv::minMaxLoc(inside, &darkest, &lightest);
        m_background = medianLevel(inside);
        m_separation = std::max<double>(inkSeparation / 2, 0.3 * (lightest - darkest));
    }

    bool inside(int x) const { return x >= 0 && x < m_grey.cols; }

    bool ink(int x) const
    {
        for (int y = m_top; y < m_bottom; ++y)
            if (std::abs(m_grey.at<uchar>(y, x) - m_background) > m_separation)
                return true;
        return false;
    }

    bool anyInk(int from, int to) const
    {
        for (int x = std::max(0, from); x <= std::min(to, m_grey.cols - 1); ++x)
            if (ink(x))
                return true;
        return false;
    }

private:
    const cv::Mat& m_grey;
    int m_top;
    int m_bottom;
    int m_background = 0;
    double m_separation = 0;
};

// A line's box can end inside a glyph (the box it was found in started there), and a cut
// letter is read as another ("Feam" for "Team"). Each side is moved out while the column
// beyond it holds ink, by at most a line height, and then by up to the margin over blank
// columns, never onto ink: a bar or an icon past a gap stays out.
cv::Rect wholeGlyphs(const cv::Mat& grey, const cv::Rect& box)
{
    const InkColumns columns(grey, box);
    const auto reach = [&](int from, int step) {
        if (!columns.inside(from) || !columns.ink(from))
            return from - step;
        int x = from;
        for (int moved = 0; moved < box.height && columns.inside(x) && columns.ink(x); ++moved)
            x += step;
        if (!columns.inside(x) || columns.ink(x))
            return from - step; // the ink runs on: not a cut glyph
        for (int moved = 0; moved < lineMargin && columns.inside(x + step) && !columns.ink(x + step); ++moved)
            x += step;
        return x;
    };
    const int left = reach(box.x - 1, -1);
    const int right = reach(box.x + box.width, 1);
    return cv::Rect(left, box.y, right - left + 1, box.height);
}

QString labelFor(const QString& text)
{
    return text.size() <= maximumLabelLength ? text : text.left(maximumLabelLength - 1) + QStringLiteral("…");
}

struct Line {
    cv::Rect box; // pixels
    Reading reading;
};

} // namespace

QFuture<void> prepareRecognizer()
{
    // Made in this order so they are destroyed in the other: the loader's pool waits for a
    // load still running before the engines go.
    EnginePool& engines = EnginePool::shared();
    engines.keep();
    const int count = recognitionPool().maxThreadCount();
    // At the lowest priority the system has, so loading never takes time from the window or
    // from a capture; an analysis started meanwhile makes what it lacks itself.
    static QThreadPool loader;
    loader.setMaxThreadCount(1);
    loader.setThreadPriority(QThread::IdlePriority);
    return QtConcurrent::run(&loader, [&engines, count] { engines.fill(count); });
}

void releaseRecognizer()
{
    EnginePool::shared().releaseIdle();
}

Reading recognizeLine(const QImage& line)
{
    return readLine(detail::greyPixels(line));
}

bool readable(const Reading& reading)
{
    return reading.confidence >= labelConfidence && !looksLikeNoise(reading.text);
}

bool looksLikeNoise(const QString& text)
{
    int letters = 0;
    int marks = 0;
    int run = 0;
    int longestRun = 0;
    QChar previous;
    for (const QChar c : text) {
        if (c.isSpace()) {
            previous = QChar();
            continue;
        }
        if (c.isLetterOrNumber())
            ++letters;
        else
            ++marks;
        run = c.isLetter() && c.toLower() == previous.toLower() ? run + 1 : 1;
        longestRun = std::max(longestRun, run);
        previous = c;
    }
    // Words hold at most two of a letter in a row ("coffee"); four or more is a texture or a
    // border read as letters. Mostly marks is an icon or a rule.
    return letters == 0 || marks > letters || longestRun >= 4;
}

QString classify(const BoxCues& c)
{
    const double w = c.width;
    const double h = c.height;
    const double aspect = h > 0 ? w / h : 0;
    const bool square = aspect >= 0.75 && aspect <= 1.33;
    const bool empty = c.lines == 0 && c.boxesInside == 0;
    const bool centred = std::abs(c.textLeft - c.textRight) <= 0.2 * w;
    // Native check boxes and radio buttons are 12–20 points; a switch is about twice as wide
    // as it is high, and its knob keeps it from being even.
    if (empty && c.spread >= blankSpread && ((square && w >= 10 && w <= 22) || (aspect >= 1.5 && aspect <= 2.3 && h >= 12 && h <= 28)))
        return QStringLiteral("checkbox");
    // Initials on a plain disc or tile. An empty one is left alone: a round icon button looks
    // the same, and so does an avatar whose letters were not read.
    if (square && w > 22 && w <= 48 && c.boxesInside == 0 && c.lines >= 1 && c.lines <= 3 && c.textLength <= 3
        && c.flat >= plainShare && c.spread >= glyphContrast)
        return QStringLiteral("icon");
    // A picture has no shade that most of it shares; it may carry a badge and a caption.
    if (w >= 32 && h >= 32 && c.spread >= imageSpread && c.flat < pictureShare
        && (empty || (w >= 96 && h >= 64 && c.lines <= 3 && c.boxesInside <= 1)))
        return QStringLiteral("image");
    // A few words centred with room on both sides; the boxes inside are its own label plate
    // or outline. Unfilled ones only at the usual button heights: taller outlined boxes with
    // one line are list rows and panels.
    if (c.lines == 1 && c.boxesInside <= 2 && h >= 26 && h <= 56 && centred && std::min(c.textLeft, c.textRight) >= 6
        && w <= 360 && c.textLength <= 24 && (c.filled || h <= 40))
        return QStringLiteral("button");
    if (c.lines == 1 && c.boxesInside == 0 && h >= 26 && h <= 56 && !centred && !c.filled && c.textLeft < c.textRight && aspect >= 3)
        return QStringLiteral("text field");
    // Several lines or boxes on a panel. Lower boxes are control rows (sliders, menus), and an
    // inside as varied as a picture's is a piece of a larger card cut at its picture.
    if ((c.lines >= 2 || c.boxesInside >= 1) && w >= 48 && h >= 55 && c.spread < compositeSpread)
        return QStringLiteral("container");
    return QStringLiteral("element");
}

QString typeName(const QString& type)
{
    if (type.isEmpty())
        return QStringLiteral("Element");
    return type.left(1).toUpper() + type.mid(1);
}

namespace {

ComponentAnalysisResponse analyzeUnguarded(const QImage& image)
{
    ComponentAnalysisResponse response;
    response.imageWidth = image.width();
    response.imageHeight = image.height();
    const cv::Mat grey = detail::greyPixels(image);
    if (grey.empty())
        return response;
    const QSizeF pointSize = image.deviceIndependentSize();
    const double pixelsPerPoint = grey.cols / pointSize.width();

    // Box outlines first: the text pass paints them out so borders are not read as text.
    const detail::ContourPass pass = detail::findContours(grey);
    std::vector<QRectF> boxes;
    for (const Contour& root : pass.roots)
        ElementDetectionService::collectBoxRects(root, 0, pointSize, boxes);
    boxes = ElementDetectionService::dedupe(std::move(boxes), pointSize);
    const std::vector<std::vector<cv::Point>> erase = detail::erasableOutlines(pass, pointSize);

    const cv::Rect whole(0, 0, grey.cols, grey.rows);
    std::vector<Line> lines;
    // Two searches that miss different lines, one after the other: the analysis itself may
    // run on the worker pool, and a search waiting there for a free worker could wait for
    // ever. A line only one finds is taken. Where they overlap, the wide window's lines are kept
    // unless the other search saw one line there of the same height that spans them all:
    // then the wide window had cut a label in pieces.
    std::vector<QRectF> found = detail::findTextLines(grey, erase, lineInkWindow);
    for (const QRectF& r : detail::findTextLines(grey, erase)) {
        QRectF pieces;
        double tallest = 0;
        for (const QRectF& f : found) {
            if (f.intersects(r)) {
                pieces |= f;
                tallest = std::max(tallest, f.height());
            }
        }
        if (pieces.isNull()) {
            found.push_back(r);
        } else if (r.contains(pieces.adjusted(r.width() * 0.02, 0, -r.width() * 0.02, 0).marginsRemoved({0, pieces.height() / 4, 0, pieces.height() / 4}))
                   && r.height() <= 1.5 * tallest && r.width() > pieces.width()) {
            std::erase_if(found, [&r](const QRectF& f) { return f.intersects(r); });
            found.push_back(r);
        }
    }
    dropTallLines(found);
    // Light text on a coloured chip or button, or over a picture, can be lost to the page-wide
    // search: the fill counts as ink as much as the letters do, and what is found is often a
    // piece of the line. Each element is searched once more on its own contrast; a line found
    // there is taken where nothing was, or in place of the pieces it holds.
    std::vector<cv::Rect> plates;
    for (const QRectF& box : boxes) {
        const cv::Rect plate = cv::Rect(int(box.x() * pixelsPerPoint) + plateInset, int(box.y() * pixelsPerPoint) + plateInset,
                                        int(box.width() * pixelsPerPoint) - 2 * plateInset,
                                        int(box.height() * pixelsPerPoint) - 2 * plateInset) & whole;
        if (plate.width >= 8 && plate.height >= 8)
            plates.push_back(plate);
    }
    // Searched side by side, taken in order: the result must not depend on which finishes first.
    std::vector<std::vector<cv::Rect>> plateLines(plates.size());
    // Layout analysis finds lines at one pixel per point as well as at two, in a quarter of the time.
    const double plateScale = std::min(1.0, 1.0 / pixelsPerPoint);
    QtConcurrent::blockingMap(&recognitionPool(), plateLines, [&](std::vector<cv::Rect>& out) {
        const cv::Rect& plate = plates[size_t(&out - plateLines.data())];
        try {
            out = detail::findTextLinesOnPlate(grey(plate), plateScale);
        } catch (const std::exception&) {
            // The page-wide lines stand on their own.
        }
    });
    // A row of filled buttons can come back from the page-wide search as one "line" as tall
    // as the buttons, read as nothing: the lines found on the plates are the text in it.
    const auto plateLine = [&](size_t i, const cv::Rect& r) {
        return QRectF(double(plates[i].x + r.x) / grey.cols, double(plates[i].y + r.y) / grey.rows, double(r.width) / grey.cols,
                      double(r.height) / grey.rows);
    };
    const auto rowOfPlates = [&](const QRectF& f) {
        int held = 0;
        for (size_t i = 0; i < plates.size(); ++i)
            for (const cv::Rect& r : plateLines[i]) {
                const QRectF line = plateLine(i, r);
                held += f.height() > 1.5 * line.height() && f.contains(line.center());
            }
        return held >= 3;
    };
    for (size_t i = 0; i < plates.size(); ++i) {
        for (const cv::Rect& r : plateLines[i]) {
            QRectF line = plateLine(i, r);
            if (line.isEmpty())
                continue;
            bool piecesOnly = true;
            double tallest = 0;
            QRectF pieces;
            for (const QRectF& f : found) {
                if (f.intersects(line) && !rowOfPlates(f)) {
                    piecesOnly = piecesOnly && line.contains(f.center());
                    tallest = std::max(tallest, f.height());
                    pieces |= f;
                }
            }
            // Much taller than the pieces it replaces is a block, not a line; but a piece a few
            // letters wide ("or" of "workspace") may be no taller than its small letters.
            if (!piecesOnly || (tallest > 0 && line.height() > 1.5 * tallest && pieces.width() >= 0.5 * line.width()))
                continue;
            // A box found a little inside its fill (a chip with a coloured edge, a bubble's
            // wrapped line) cuts through a letter or a word, which its own search then drops:
            // where the line reaches the plate's edge, or the edge runs through ink, and the
            // page-wide search saw the line go on past it, the line does.
            if (!pieces.isNull()) {
                constexpr int edgeTouch = 2;
                const cv::Rect rows(plates[i].x, plates[i].y + r.y, plates[i].width, r.height);
                const InkColumns columns(grey, rows & whole);
                const int first = plates[i].x;
                const int last = first + plates[i].width - 1;
                const int piecesLeft = int(pieces.left() * grey.cols);
                const int piecesRight = int(std::ceil(pieces.right() * grey.cols)) - 1;
                if (piecesLeft < first && (r.x <= edgeTouch || columns.ink(first)) && columns.anyInk(piecesLeft, first - 1))
                    line.setLeft(std::min(line.left(), pieces.left()));
                if (piecesRight > last && (r.x + r.width - 1 >= plates[i].width - 1 - edgeTouch || columns.ink(last))
                    && columns.anyInk(last + 1, piecesRight))
                    line.setRight(std::max(line.right(), pieces.right()));
            }
            std::erase_if(found, [&line](const QRectF& f) { return f.intersects(line); });
            found.push_back(line);
        }
    }
    dropTallLines(found);
    joinTouchingLines(found);
    for (const QRectF& r : found) {
        const cv::Rect ink(int(r.x() * grey.cols), int(r.y() * grey.rows), int(std::ceil(r.width() * grey.cols)),
                           int(std::ceil(r.height() * grey.rows)));
        const cv::Rect box = cv::Rect(ink.x - lineMargin, ink.y - lineMargin, ink.width + 2 * lineMargin,
                                      ink.height + 2 * lineMargin) & whole;
        if (!box.empty())
            lines.push_back({wholeGlyphs(grey, box), {}});
    }
    // Recognition dominates the time; the lines are independent. Lending an engine here
    // first reports missing language data before the pool is busy.
    { const EnginePool::Loan first(EnginePool::shared()); }
    QtConcurrent::blockingMap(&recognitionPool(), lines, [&grey](Line& line) {
        try {
            line.reading = readLine(grey(line.box));
        } catch (const std::exception&) {
            // A line the recogniser cannot take counts as no text.
        }
    });
    // Icons and rules read as strings of marks ("_", "|", ", __") or of one letter over and
    // over; a line read with too little confidence for even "copy all" is not text either.
    std::erase_if(lines, [](const Line& line) {
        return line.reading.confidence < keepConfidence || looksLikeNoise(line.reading.text);
    });
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        return std::pair(a.box.y, a.box.x) < std::pair(b.box.y, b.box.x);
    });

    std::vector<QRectF> boxPixels;
    boxPixels.reserve(boxes.size());
    for (const QRectF& box : boxes)
        boxPixels.emplace_back(box.x() * pixelsPerPoint, box.y() * pixelsPerPoint, box.width() * pixelsPerPoint,
                               box.height() * pixelsPerPoint);
    for (const QRectF& pixels : boxPixels) {
        BoxCues cues;
        cues.width = pixels.width() / pixelsPerPoint;
        cues.height = pixels.height() / pixelsPerPoint;
        QStringList kept;
        QStringList shown;
        for (const Line& line : lines) {
            const QPointF centre(line.box.x + line.box.width / 2.0, line.box.y + line.box.height / 2.0);
            if (!pixels.contains(centre))
                continue;
            if (cues.lines++ == 0) {
                cues.textLength = int(line.reading.text.size());
                cues.textLeft = (line.box.x - pixels.left()) / pixelsPerPoint;
                cues.textRight = (pixels.right() - line.box.x - line.box.width) / pixelsPerPoint;
            }
            kept.append(line.reading.text);
            if (readable(line.reading))
                shown.append(line.reading.text);
        }
        for (const QRectF& other : boxPixels)
            cues.boxesInside += other != pixels && pixels.contains(other);
        const cv::Rect inner = cv::Rect(int(pixels.x()) + plateInset, int(pixels.y()) + plateInset,
                                        int(pixels.width()) - 2 * plateInset, int(pixels.height()) - 2 * plateInset) & whole;
        const cv::Rect outer = cv::Rect(int(pixels.x()) - plateInset, int(pixels.y()) - plateInset,
                                        int(pixels.width()) + 2 * plateInset, int(pixels.height()) + 2 * plateInset) & whole;
        const cv::Rect own = cv::Rect(int(pixels.x()), int(pixels.y()), int(pixels.width()), int(pixels.height())) & whole;
        if (!inner.empty() && outer.area() > own.area()) {
            cv::Scalar mean;
            cv::Scalar spread;
            cv::meanStdDev(grey(inner), mean, spread);
            cues.spread = spread[0];
            // The ring just outside the box, from the sums of the two rectangles.
            const double ring = (cv::sum(grey(outer))[0] - cv::sum(grey(own))[0]) / double(outer.area() - own.area());
            cues.filled = std::abs(mean[0] - ring) >= filledContrast;
            if (cues.width <= flatnessExtent && cues.height <= flatnessExtent)
                cues.flat = commonShadeShare(grey(inner));
        }
        DetectedComponent c;
        c.type = classify(cues);
        if (!kept.isEmpty())
            c.text = kept.join(u' ');
        // A type says more than an unsure reading; an unsure reading says more than "Element".
        if (!shown.isEmpty())
            c.label = labelFor(shown.join(u' '));
        else if (c.type != u"element" || kept.isEmpty())
            c.label = typeName(c.type);
        else
            c.label = labelFor(kept.join(u' '));
        c.x1 = int(std::lround(pixels.left()));
        c.y1 = int(std::lround(pixels.top()));
        c.x2 = int(std::lround(pixels.right()));
        c.y2 = int(std::lround(pixels.bottom()));
        response.components.push_back(std::move(c));
    }
    // Lines after boxes: drawn later, so a line inside a box stays clickable.
    for (const Line& line : lines) {
        DetectedComponent c;
        c.type = QStringLiteral("text");
        c.text = line.reading.text;
        c.label = readable(line.reading) ? labelFor(line.reading.text) : typeName(c.type);
        c.x1 = line.box.x;
        c.y1 = line.box.y;
        c.x2 = line.box.x + line.box.width;
        c.y2 = line.box.y + line.box.height;
        response.components.push_back(std::move(c));
    }
    return response;
}

} // namespace

ComponentAnalysisResponse analyze(const QImage& image)
{
    // The libraries below report what they cannot take by throwing; nothing of that may end
    // the program or reach the user as a page of library diagnostics.
    EnginePool::shared().keep();
    try {
        return analyzeUnguarded(image);
    } catch (const RecognizerUnavailable&) {
        throw;
    } catch (const cv::Exception& error) {
        throw AnalysisFailed(QStringLiteral("The image (%1 × %2 pixels) could not be analysed: %3")
                                 .arg(image.width())
                                 .arg(image.height())
                                 .arg(QString::fromStdString(error.err))
                                 .toStdString());
    } catch (const std::exception& error) {
        throw AnalysisFailed(QStringLiteral("The image (%1 × %2 pixels) could not be analysed: %3")
                                 .arg(image.width())
                                 .arg(image.height())
                                 .arg(QString::fromUtf8(error.what()).section(u'\n', 0, 0))
                                 .toStdString());
    }
}

} // namespace pelorin::DeviceComponentAnalyzer
