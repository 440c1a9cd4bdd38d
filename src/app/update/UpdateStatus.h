#pragma once

#include <QString>

namespace pelorin {

// What the updater is doing, as the settings window's status line shows it.
struct UpdateStatus {
    enum class Kind { available, stagedForNextLaunch, failed, idle, checking, upToDate, downloading };

    Kind kind = Kind::idle;
    // The version of `available` and `stagedForNextLaunch`, the message of `failed`.
    QString payload;

    static UpdateStatus available(const QString& version) { return {Kind::available, version}; }
    static UpdateStatus stagedForNextLaunch(const QString& version) { return {Kind::stagedForNextLaunch, version}; }
    static UpdateStatus failed(const QString& message) { return {Kind::failed, message}; }
    static UpdateStatus of(Kind kind) { return {kind, {}}; }

    QString text() const;
    bool operator==(const UpdateStatus&) const = default;
};

} // namespace pelorin
