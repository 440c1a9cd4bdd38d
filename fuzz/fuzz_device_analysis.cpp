// On-device analysis on any small picture describes the picture it was given, or refuses it
// with one line; nothing escapes or crashes.

#include "FuzzSupport.h"

#include "core/ImageFile.h"
#include "detection/DeviceComponentAnalyzer.h"

#include <QImage>

using namespace pelorin;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("OMP_THREAD_LIMIT", "1");
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Two bytes of size, then grey pixels: thin strips and odd shapes are reached at once.
    if (size < 2)
        return 0;
    const int width = 1 + data[0] % 96;
    const int height = 1 + data[1] % 96;
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(255);
    for (size_t i = 2; i < size && int(i - 2) < width * height; ++i)
        image.bits()[(int(i - 2) / width) * image.bytesPerLine() + (int(i - 2) % width)] = data[i];

    try {
        const ComponentAnalysisResponse response = DeviceComponentAnalyzer::analyze(image);
        PELORIN_FUZZ_CHECK(response.imageWidth == width && response.imageHeight == height);
    } catch (const DeviceComponentAnalyzer::AnalysisFailed& failure) {
        PELORIN_FUZZ_CHECK(!QByteArray(failure.what()).contains('\n'));
    }
    return 0;
}
