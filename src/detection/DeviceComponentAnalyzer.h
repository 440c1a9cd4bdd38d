#pragma once

#include "detection/ComponentAnalysisResponse.h"

#include <stdexcept>

#include <QFuture>
#include <QImage>

namespace pelorin::DeviceComponentAnalyzer {

// Labelled components found without a server: every text line the element detector finds
// becomes a "text" component holding the words recognised in it, every box outline an
// "element" holding the text of the lines inside it (labelled by that text, else "Element").
// Boxes are in pixels of `image`, like a server's answer. Runs on the calling thread and
// spreads recognition over the worker pool. Throws RecognizerUnavailable when the text
// recogniser cannot start (its language data missing), AnalysisFailed when the libraries
// refuse the image.
ComponentAnalysisResponse analyze(const QImage& image);

// Loads the text recogniser's engines on a background thread of the lowest priority, so the
// first analysis does not wait for them; returns at once. Nothing happens when they are loaded.
QFuture<void> prepareRecognizer();
// Frees the engines no analysis is using (the next analysis, or prepareRecognizer, loads them again).
void releaseRecognizer();

// what() is the sentence the user reads.
class RecognizerUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Anything else the analysis could not do with this image, in one line.
class AnalysisFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the recogniser read in one line, and how sure it is of it (0–100).
struct Reading {
    QString text;
    int confidence = 0;
};

// Below this a reading is dropped; from it to labelConfidence it is kept as the component's
// text (so "copy all" has it) but not shown as its label.
inline constexpr int keepConfidence = 10;
inline constexpr int labelConfidence = 70;

// The words Tesseract reads in a single line of grey pixels (light or dark background).
Reading recognizeLine(const QImage& line);

// Mostly marks, or one letter four or more times in a row: an icon, a rule or a texture read
// as text.
bool looksLikeNoise(const QString& text);
// Sure enough and not noise: worth showing as a label.
bool readable(const Reading& reading);
// What is known of one box outline when its type is decided. Lengths in points.
struct BoxCues {
    double width = 0;
    double height = 0;
    int lines = 0;        // text lines whose centre lies inside
    int boxesInside = 0;  // other box outlines inside it
    int textLength = 0;   // characters of the first line
    double textLeft = 0;  // the first line's left and right distance from the box's sides
    double textRight = 0;
    bool filled = false;  // the inside differs in shade from what surrounds the box
    double spread = 0;    // grey-level standard deviation of the inside
    double flat = 0;      // share of the inside close to its commonest shade (small boxes only)
};

// One of "button", "text field", "checkbox", "icon", "image", "container", or "element" when
// the cues do not say.
QString classify(const BoxCues& cues);

// What a row shows for a component without readable text: "Button" for "button".
QString typeName(const QString& type);

} // namespace pelorin::DeviceComponentAnalyzer
