#include "platform/GlobalHotKeys.h"

#include "platform/PortalHotKeys.h"
#include "platform/X11HotKeys.h"

#include <QGuiApplication>

namespace pelorin {

namespace {

class UnavailableHotKeys : public GlobalHotKeys {
public:
    int registerHotKey(const CaptureShortcut&) override { return Unavailable; }
    void unregisterHotKey() override {}
    bool isRegistered() const override { return false; }
};

} // namespace

std::unique_ptr<GlobalHotKeys> createGlobalHotKeys()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        if (auto x11 = X11HotKeys::create())
            return x11;
    }
    if (platform.startsWith(QLatin1String("wayland")))
        return std::make_unique<PortalHotKeys>();
    return std::make_unique<UnavailableHotKeys>();
}

} // namespace pelorin
