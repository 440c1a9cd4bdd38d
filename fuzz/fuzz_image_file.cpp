// Images opened from files, the clipboard and the command line: refused with a reason or
// decoded within the size limit, whatever the bytes claim.

#include "FuzzSupport.h"

#include "core/ImageFile.h"

using namespace pelorin;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString error;
    const std::optional<QImage> image = readImageData(fuzz::bytes(data, size), &error);
    if (!image) {
        PELORIN_FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    PELORIN_FUZZ_CHECK(!image->isNull());
    PELORIN_FUZZ_CHECK(image->sizeInBytes() <= qsizetype(maxDecodedImageMegabytes) * 1024 * 1024);
    PELORIN_FUZZ_CHECK(image->devicePixelRatio() >= 0.5 && image->devicePixelRatio() <= 8.0);
    return 0;
}
