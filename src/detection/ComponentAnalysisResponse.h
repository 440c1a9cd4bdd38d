#pragma once

#include "core/DetectedComponent.h"

#include <vector>

namespace pelorin {

// An analysis answer, as the server sends it, as the on-device analyser makes it and as the
// cache keeps it: components in pixels of the analysed image.
struct ComponentAnalysisResponse {
    std::vector<DetectedComponent> components;
    int imageWidth = 0;
    int imageHeight = 0;
    bool operator==(const ComponentAnalysisResponse&) const = default;
};

} // namespace pelorin
