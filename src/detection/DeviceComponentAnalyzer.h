#pragma once

#include "detection/ComponentAnalysisResponse.h"

#include <stdexcept>

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

// The words Tesseract reads in a single line of grey pixels (light or dark background).
QString recognizeLine(const QImage& line);

} // namespace pelorin::DeviceComponentAnalyzer
