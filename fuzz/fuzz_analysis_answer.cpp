// An analysis answer, from the analysis server or read back from the cache: refused with a
// DecodingError or read whole, never more components than the cap, and written back to the
// same answer.

#include "FuzzSupport.h"

#include "detection/ComponentAnalysis.h"

using namespace pelorin;

namespace {

bool sameComponents(const ComponentAnalysisResponse& a, const ComponentAnalysisResponse& b)
{
    if (a.components.size() != b.components.size() || a.imageWidth != b.imageWidth || a.imageHeight != b.imageHeight)
        return false;
    for (size_t i = 0; i < a.components.size(); ++i) {
        const DetectedComponent& x = a.components[i];
        const DetectedComponent& y = b.components[i];
        if (x.label != y.label || x.text != y.text || x.type != y.type || x.x1 != y.x1 || x.y1 != y.y1 || x.x2 != y.x2
            || x.y2 != y.y2)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ComponentAnalysisResponse response;
    try {
        response = decodeComponentAnalysisResponse(fuzz::bytes(data, size));
    } catch (const DecodingError&) {
        return 0;
    }
    PELORIN_FUZZ_CHECK(int(response.components.size()) <= maxAcceptedComponents);
    PELORIN_FUZZ_CHECK(sameComponents(decodeComponentAnalysisResponse(encodeComponentAnalysisResponse(response)), response));
    return 0;
}
