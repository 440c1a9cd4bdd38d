#include "app/update/UpdateStatus.h"

namespace pelorin {

QString UpdateStatus::text() const
{
    switch (kind) {
    case Kind::available:
        return QStringLiteral("Version %1 is available.").arg(payload);
    case Kind::stagedForNextLaunch:
        return QStringLiteral("%1 installs on next launch.").arg(payload);
    case Kind::failed:
        return payload;
    case Kind::idle:
        return {};
    case Kind::checking:
        return QStringLiteral("Checking…");
    case Kind::upToDate:
        return QStringLiteral("You're up to date.");
    case Kind::downloading:
        return QStringLiteral("Downloading update…");
    }
    return {};
}

} // namespace pelorin
