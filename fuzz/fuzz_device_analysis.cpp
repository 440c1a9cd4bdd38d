// On-device analysis on any small picture describes the picture it was given, or refuses it
// with one line; nothing escapes or crashes.

#include "FuzzPicture.h"
#include "FuzzSupport.h"

#include "detection/DeviceComponentAnalyzer.h"

using namespace pelorin;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("OMP_THREAD_LIMIT", "1");
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::optional<QImage> picture = fuzz::greyPicture(data, size);
    if (!picture)
        return 0;
    const QImage& image = *picture;
    const int width = image.width();
    const int height = image.height();
    try {
        const ComponentAnalysisResponse response = DeviceComponentAnalyzer::analyze(image);
        PELORIN_FUZZ_CHECK(response.imageWidth == width && response.imageHeight == height);
    } catch (const DeviceComponentAnalyzer::AnalysisFailed& failure) {
        PELORIN_FUZZ_CHECK(!QByteArray(failure.what()).contains('\n'));
    }
    return 0;
}
