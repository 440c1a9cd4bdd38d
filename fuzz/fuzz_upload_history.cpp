// The upload history file, shared with `pelorin upload` and kept across versions: refused or
// read whole, and what is read can be written and read back.

#include "FuzzSupport.h"

#include "upload/UploadedFile.h"

using namespace pelorin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::optional<QList<UploadedFile>> files = decodeUploadHistory(fuzz::bytes(data, size));
    if (!files)
        return 0;
    // Dates are whole milliseconds in memory and seconds on disk: stable after one write.
    const std::optional<QList<UploadedFile>> once = decodeUploadHistory(encodeUploadHistory(*files));
    PELORIN_FUZZ_CHECK(once.has_value() && once->size() == files->size());
    PELORIN_FUZZ_CHECK(decodeUploadHistory(encodeUploadHistory(*once)) == once);
    return 0;
}
