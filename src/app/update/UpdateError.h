#pragma once

#include "net/ServiceError.h"

namespace pelorin {

// A failed update step; the message is what the status line and the "Update failed" alert show.
class UpdateError : public ServiceError {
public:
    using ServiceError::ServiceError;
};

} // namespace pelorin
