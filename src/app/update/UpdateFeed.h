#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace pelorin {

// The download feed ("version.json" on the product site).
struct UpdateFeed {
    QString version;
    // The release archive, absolute or relative to the site base. The member keeps its old
    // name because published feeds use it.
    QString dmg_url;
    // Lower-case hex SHA-256 of the archive, when the feed carries one.
    std::optional<QString> sha256;

    // Throws UpdateError when `json` is not an object with string members "version" and
    // "dmg_url" (and, when present, a 64-digit hex "sha256").
    static UpdateFeed decode(const QByteArray& json);
};

// The feed's location under a site base: base + "version.json".
QUrl feedUrl(const QUrl& siteBase);

// "dmg_url" resolved against the site base; empty when it does not form an http(s) URL.
QUrl downloadUrl(const QUrl& siteBase, const QString& dmgUrl);

} // namespace pelorin
