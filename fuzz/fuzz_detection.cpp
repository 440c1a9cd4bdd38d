// Element detection on any small picture finishes with boxes inside the picture; nothing
// escapes or crashes. (Analysis, which reads the text too, has its own target.)

#include "FuzzPicture.h"
#include "FuzzSupport.h"

#include "detection/ElementDetectionService.h"

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
    const QSizeF points = image.deviceIndependentSize();
    for (const QRectF& box : ElementDetectionService::detect(image, points))
        PELORIN_FUZZ_CHECK(box.left() >= -1 && box.top() >= -1 && box.right() <= width + 1 && box.bottom() <= height + 1);
    return 0;
}
