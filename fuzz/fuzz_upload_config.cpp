// upload-config.json, which the user may edit by hand: refused or read whole, and written
// back exactly as read.

#include "FuzzSupport.h"

#include "upload/UploadConfig.h"

using namespace pelorin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::optional<UploadConfig> config = decodeUploadConfig(fuzz::bytes(data, size));
    if (config)
        PELORIN_FUZZ_CHECK(decodeUploadConfig(encodeUploadConfig(*config)) == config);
    return 0;
}
