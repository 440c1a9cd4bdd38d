#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pelorin {

// The user's own S3-compatible bucket, as typed into Settings. Nothing is trimmed: a field
// of spaces counts as filled. The endpoint lives here with the keys, not in the settings
// file, so damage to one file can never send the user's access key to another host.
struct UploadConfig {
    QString accountId;
    QString accessKeyId;
    QString secretAccessKey;
    QString bucketName;
    QString publicUrl;
    // Any S3-compatible endpoint ("https://s3.eu-west-1.amazonaws.com"); empty: Cloudflare R2
    // under the account id, which is then required.
    QString endpointURL = {};
    // The signing region; empty means "auto", which R2 expects.
    QString region = {};

    QString signingRegion() const { return region.isEmpty() ? QStringLiteral("auto") : region; }

    bool isConfigured() const;
    bool operator==(const UploadConfig&) const = default;
};

// Compact JSON object with the five string members, plus "endpointURL" and "region" when set.
QByteArray encodeUploadConfig(const UploadConfig& config);
// Nothing unless all five members are present and strings, and the optional ones, when
// present, are strings too.
std::optional<UploadConfig> decodeUploadConfig(const QByteArray& json);

// "upload-config.json" in the application folder, with the one-time migration from the
// program's earlier folder.
class UploadConfigFile {
public:
    // The application's file and the legacy "Ostrafel/config.json".
    static UploadConfigFile standard();

    // An empty `path` means there is no application folder: nothing is read or written there.
    UploadConfigFile(QString path, QString legacyPath);

    // The file's configuration; else the legacy file's, copied into the file (the legacy file
    // stays); else the empty configuration. Failures only move on to the next step.
    UploadConfig load() const;
    // Atomic replace, readable by the owner only since the file holds the secret key.
    bool save(const UploadConfig& config) const;

    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_legacyPath;
};

} // namespace pelorin
