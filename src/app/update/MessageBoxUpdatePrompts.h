#pragma once

#include "app/update/UpdatePrompts.h"

namespace pelorin {

// The updater's prompts as application-modal message boxes, awaited through their `finished`
// signal so the event loop never nests.
class MessageBoxUpdatePrompts : public UpdatePrompts {
public:
    QCoro::Task<OfferAnswer> offer(const QString& version, const QString& currentVersion) override;
    void inform(const QString& message, const QString& informativeText) override;
};

} // namespace pelorin
