#include "upload/UploadDestination.h"

#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "upload/UploadConfig.h"

namespace pelorin {

namespace {

std::optional<UploadDestination> storedDestination(const SettingsStore& settings)
{
    return uploadDestinationFromRaw(settings.stringValue(QLatin1String(SettingsKeys::uploadDestination)));
}

} // namespace

QList<UploadDestination> allUploadDestinations()
{
    return {UploadDestination::pelorinCloud, UploadDestination::customS3};
}

QString rawValue(UploadDestination destination)
{
    switch (destination) {
    case UploadDestination::pelorinCloud:
        return QStringLiteral("cloud");
    case UploadDestination::customS3:
        return QStringLiteral("custom");
    }
    return {};
}

QString label(UploadDestination destination)
{
    switch (destination) {
    case UploadDestination::pelorinCloud:
        return QStringLiteral("Pelorin Cloud");
    case UploadDestination::customS3:
        return QStringLiteral("Your own S3 / R2");
    }
    return {};
}

std::optional<UploadDestination> uploadDestinationFromRaw(const QString& raw)
{
    for (UploadDestination destination : allUploadDestinations()) {
        if (rawValue(destination) == raw)
            return destination;
    }
    return std::nullopt;
}

UploadDestination currentUploadDestination(const SettingsStore& settings, const UploadConfig& config)
{
    if (const auto stored = storedDestination(settings))
        return *stored;
    return config.isConfigured() ? UploadDestination::customS3 : UploadDestination::pelorinCloud;
}

bool uploadsConfigured(const SettingsStore& settings, const UploadConfig& config, bool hasCloudToken)
{
    const std::optional<UploadDestination> stored = storedDestination(settings);
    if (stored == UploadDestination::customS3)
        return config.isConfigured();
    if (stored == UploadDestination::pelorinCloud)
        return hasCloudToken;
    return config.isConfigured() || hasCloudToken;
}

} // namespace pelorin
