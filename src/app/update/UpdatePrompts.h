#pragma once

#include <QString>

#include <QCoro/QCoroTask>

namespace pelorin {

// The updater's alerts and its offer dialog. Each brings the application to the front first.
// Tests answer them through their own implementation.
class UpdatePrompts {
public:
    enum class Choice { updateNow, onNextLaunch, later };
    struct OfferAnswer {
        Choice choice = Choice::later;
        bool skipThisVersion = false;
    };

    virtual ~UpdatePrompts() = default;

    // "Pelorin <version> is available" with "Update Now" (the default), "On Next Launch",
    // "Later" and a "Skip this version" box; finishes when the user has answered.
    virtual QCoro::Task<OfferAnswer> offer(const QString& version, const QString& currentVersion) = 0;
    // An informational alert; returns at once, the alert stays until the user closes it.
    virtual void inform(const QString& message, const QString& informativeText) = 0;
};

} // namespace pelorin
