#pragma once

#include "core/Styling.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace pelorin {

// Compact JSON forms of the style records. Decoding is strict: every key is required, types
// must match and enumeration strings must be known; on failure `error` says why.

QByteArray encodeBackgroundStyle(const BackgroundStyle& style);
std::optional<BackgroundStyle> decodeBackgroundStyle(const QByteArray& json, QString* error = nullptr);

QByteArray encodeBrowserChromeSettings(const BrowserChromeSettings& settings);
std::optional<BrowserChromeSettings> decodeBrowserChromeSettings(const QByteArray& json, QString* error = nullptr);

QByteArray encodeStylingConfiguration(const StylingConfiguration& styling);
std::optional<StylingConfiguration> decodeStylingConfiguration(const QByteArray& json, QString* error = nullptr);

QByteArray encodeGradientDefinition(const GradientDefinition& gradient);
std::optional<GradientDefinition> decodeGradientDefinition(const QByteArray& json, QString* error = nullptr);

std::optional<BackgroundPreset> backgroundPresetFromRawValue(const QString& raw);
QString rawValue(GradientType type);
std::optional<GradientType> gradientTypeFromRawValue(const QString& raw);
QString rawValue(BrowserChromeStyle style);
std::optional<BrowserChromeStyle> browserChromeStyleFromRawValue(const QString& raw);

} // namespace pelorin
