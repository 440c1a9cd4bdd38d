#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace pelorin {

class SettingsStore;
struct UploadConfig;

// Where uploads go; stored under "uploadDestination" by its raw value.
enum class UploadDestination {
    pelorinCloud, // "cloud"
    customS3,     // "custom"
};

QList<UploadDestination> allUploadDestinations();
QString rawValue(UploadDestination destination);
// The label of the Settings picker.
QString label(UploadDestination destination);
std::optional<UploadDestination> uploadDestinationFromRaw(const QString& raw);

// The stored choice; without one (or with an unknown value), the own bucket once all five of
// its fields are filled, else the cloud. Recomputed at each use, never written back.
UploadDestination currentUploadDestination(const SettingsStore& settings, const UploadConfig& config);

// Whether an upload can be attempted now: the chosen destination (or, without a choice,
// either one) has what it needs.
bool uploadsConfigured(const SettingsStore& settings, const UploadConfig& config, bool hasCloudToken);

} // namespace pelorin
