#include "platform/PortalHotKeys.h"

#include "PrivateBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QTimer>

#include <utility>

using namespace pelorin;
using namespace Qt::StringLiterals;

namespace {

// A connection of its own to the test's bus, for each side.
QDBusConnection connectTo(const test::PrivateBus& bus)
{
    static int connections = 0;
    return QDBusConnection::connectToBus(bus.address(), u"portal-test-%1"_s.arg(connections++));
}

// One entry of the portal's shortcut lists, a(sa{sv}): its id and its properties.
using Shortcut = std::pair<QString, QVariantMap>;

const QString desktop = u"/org/freedesktop/portal/desktop"_s, shortcuts = u"org.freedesktop.portal.GlobalShortcuts"_s;

// The desktop portal's side of GlobalShortcuts, answering each request as `response` says
// (-1: never answer). BindShortcuts lists our shortcut with `key` (empty: without a
// key), or not at all (KDE Plasma, which leaves the key to the user).
class FakePortal : public QDBusVirtualObject {
public:
    FakePortal(QDBusConnection connection, int answer, std::optional<QString> key)
        : bus(connection)
        , response(answer)
        , listing(key)
    {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
        bus.registerService(u"org.freedesktop.portal.Desktop"_s);
        bus.registerVirtualObject(desktop, this, QDBusConnection::SubPath);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() == u"org.freedesktop.portal.Session" && message.path() == session) {
            // The portal frees the session's name only when it answers, after its backend closed it.
            QTimer::singleShot(200, this, [this, connection, reply = message.createReply()] {
                open = false;
                connection.send(reply);
            });
            return true;
        }
        const QVariantList arguments = message.arguments();
        QVariantMap options, results;
        int answer = response;
        if (message.interface() != shortcuts) {
            return false;
        } else if (message.member() == u"CreateSession") {
            options = qdbus_cast<QVariantMap>(arguments.value(0));
            session = desktop + u"/session/x/"_s + options.value(u"session_handle_token"_s).toString();
            results.insert(u"session_handle"_s, session);
            // A session's name is taken until it is closed.
            if (std::exchange(open, true) && answer == 0)
                answer = 2;
        } else if (message.member() == u"BindShortcuts") {
            options = qdbus_cast<QVariantMap>(arguments.value(3));
            for (const Shortcut& shortcut : qdbus_cast<QList<Shortcut>>(arguments.value(1))) {
                boundId = shortcut.first;
                trigger = shortcut.second.value(u"preferred_trigger"_s).toString();
            }
            if (listing)
                results.insert(u"shortcuts"_s, listed(*listing));
        } else {
            return false;
        }
        const QString request = desktop + u"/request/"_s + message.service().mid(1).replace(u'.', u'_') + u'/'
            + options.value(u"handle_token"_s).toString();
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (answer >= 0) {
            const QString requestInterface = u"org.freedesktop.portal.Request"_s;
            connection.send(QDBusMessage::createSignal(request, requestInterface, u"Response"_s) << uint(answer) << results);
        }
        return true;
    }

    void activate(const QString& id) { signal(u"Activated"_s, {id, qulonglong(0), QVariantMap()}); }
    // The user assigning a key in the desktop's settings.
    void assign(const QString& key) { signal(u"ShortcutsChanged"_s, {listed(key)}); }
    void signal(const QString& member, const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createSignal(desktop, shortcuts, member);
        message.setArguments(QVariantList{QVariant::fromValue(QDBusObjectPath(session))} + arguments);
        bus.send(message);
    }
    QVariant listed(const QString& key) const
    {
        QVariantMap properties{{u"description"_s, u"Capture Screenshot"_s}};
        if (!key.isEmpty())
            properties.insert(u"trigger_description"_s, key);
        return QVariant::fromValue(QList<Shortcut>{{boundId, properties}});
    }

    QDBusConnection bus;
    int response;
    std::optional<QString> listing;
    QString session, boundId, trigger;
    bool open = false;
};

constexpr CaptureShortcut ctrlShift1{'1', ModifierFlag::Ctrl | ModifierFlag::Shift};

} // namespace

TEST(PortalHotKeys, RegistrationOutcomes)
{
    const QString key = u"Ctrl+Shift+1"_s;
    const struct { const char* name; bool portal; int response; std::optional<QString> listing; int status; } cases[] = {
        {"portal binds the shortcut", true, 0, key, GlobalHotKeys::Registered},
        {"portal lists the shortcut without a key", true, 0, QString(), GlobalHotKeys::NotBound},
        {"portal lists a blank key", true, 0, u" \t"_s, GlobalHotKeys::NotBound},
        {"user cancels", true, 1, key, GlobalHotKeys::Refused},
        {"portal never answers", true, -1, key, GlobalHotKeys::NoAnswer},
        {"no portal on the bus", false, 0, key, GlobalHotKeys::Unavailable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::PrivateBus bus;
        std::unique_ptr<FakePortal> portal;
        if (c.portal)
            portal = std::make_unique<FakePortal>(connectTo(bus), c.response, c.listing);
        PortalHotKeys hotKeys(connectTo(bus), 500);
        std::optional<int> status;
        QObject::connect(&hotKeys, &GlobalHotKeys::registrationChanged, [&](int answer) { status = answer; });

        EXPECT_EQ(hotKeys.registerHotKey(ctrlShift1), GlobalHotKeys::Registered);
        EXPECT_TRUE(test::waitUntil([&] { return status.has_value(); }));
        EXPECT_EQ(status.value_or(1), c.status);
        EXPECT_EQ(hotKeys.isRegistered(), c.status == GlobalHotKeys::Registered);
        if (c.status == GlobalHotKeys::Registered) {
            EXPECT_EQ(portal->trigger, u"CTRL+SHIFT+1"_s);
        }
    }
    // Without a session bus at all, registration fails at once.
    EXPECT_EQ(PortalHotKeys(QDBusConnection(u"not-connected"_s)).registerHotKey(ctrlShift1), GlobalHotKeys::Unavailable);
}

// KDE Plasma's way: the shortcut is taken without a key; the user assigns one later in System
// Settings, and from then on its presses arrive. The session keeps its name across restarts,
// so the desktop finds the user's key again.
TEST(PortalHotKeys, AKeyAssignedLaterIsTaken)
{
    test::PrivateBus bus;
    FakePortal portal(connectTo(bus), 0, std::nullopt);
    PortalHotKeys hotKeys(connectTo(bus), 2000);
    QList<int> statuses;
    int presses = 0;
    QObject::connect(&hotKeys, &GlobalHotKeys::registrationChanged, [&](int status) { statuses << status; });
    QObject::connect(&hotKeys, &GlobalHotKeys::pressed, [&] { ++presses; });
    // A changed shortcut replaces the session under the same name, once the old one is closed.
    hotKeys.registerHotKey(ctrlShift1);
    ASSERT_TRUE(test::waitUntil([&] { return !statuses.isEmpty(); }));
    hotKeys.registerHotKey({'K', ModifierFlag::Super | ModifierFlag::Alt});
    ASSERT_TRUE(test::waitUntil([&] { return statuses.size() == 2; }));
    EXPECT_EQ(portal.trigger, u"ALT+LOGO+k"_s);
    EXPECT_TRUE(portal.session.endsWith(QLatin1String("/pelorin"))) << portal.session.toStdString();

    portal.assign(u"Meta+Alt+K"_s);
    EXPECT_TRUE(test::waitUntil([&] { return hotKeys.isRegistered(); }));
    EXPECT_EQ(statuses, (QList<int>{GlobalHotKeys::NotBound, GlobalHotKeys::NotBound, GlobalHotKeys::Registered}));

    portal.activate(u"something-else"_s);
    portal.activate(QString::fromLatin1(PortalHotKeys::shortcutId));
    EXPECT_TRUE(test::waitUntil([&] { return presses == 1; }));

    // After unregistering, the old session's activations are not ours any more.
    hotKeys.unregisterHotKey();
    portal.activate(QString::fromLatin1(PortalHotKeys::shortcutId));
    test::waitUntil([] { return false; }, 300);
    EXPECT_EQ(presses, 1);
}
