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

    // The file's configuration; else, when there is no file yet, the legacy file's, copied
    // into the file (the legacy file, which holds the secret too, becomes owner-only); else
    // the empty configuration. A file that is there but cannot be read is never replaced by
    // the legacy one: problem() then says so.
    UploadConfig load() const;
    // Atomic replace, readable by the owner only since the file holds the secret key. A file
    // that could not be read is first copied aside, for a repair by hand.
    bool save(const UploadConfig& config) const;

    QString path() const { return m_path; }
    // Why the last load() found no configuration in a file that is there; empty otherwise.
    QString problem() const { return m_problem; }

private:
    QString m_path;
    QString m_legacyPath;
    mutable QString m_problem;
};

} // namespace pelorin
