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

namespace {

// A connection of its own to the test's bus, for each side.
QDBusConnection connectTo(const test::PrivateBus& bus)
{
    static int connections = 0;
    return QDBusConnection::connectToBus(bus.address(), QStringLiteral("portal-test-%1").arg(connections++));
}

// One entry of the portal's shortcut lists, a(sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

// What BindShortcuts lists for our shortcut: the key the desktop gave it, nothing (KDE Plasma,
// which leaves the key to the user), or the shortcut without a key.
enum class Listing { Trigger, Nothing, NoTrigger };

// The desktop portal's side of GlobalShortcuts, answering each request as `response` says
// (-1: never answer).
class FakePortal : public QDBusVirtualObject {
public:
    FakePortal(QDBusConnection bus, int response, Listing listing = Listing::Trigger)
        : m_bus(bus)
        , m_response(response)
        , m_listing(listing)
    {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
        m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), this, QDBusConnection::SubPath);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() == QLatin1String("org.freedesktop.portal.Session") && message.path() == session) {
            // The portal frees the session's name only when it answers, after its backend closed it.
            QTimer::singleShot(200, this, [this, connection, reply = message.createReply()] {
                open = false;
                connection.send(reply);
            });
            return true;
        }
        if (message.interface() != QLatin1String("org.freedesktop.portal.GlobalShortcuts"))
            return false;
        const QVariantList arguments = message.arguments();
        QVariantMap options;
        QVariantMap results;
        int response = m_response;
        if (message.member() == QLatin1String("CreateSession")) {
            options = qdbus_cast<QVariantMap>(arguments.value(0));
            session = QStringLiteral("/org/freedesktop/portal/desktop/session/x/%1")
                          .arg(options.value(QStringLiteral("session_handle_token")).toString());
            results.insert(QStringLiteral("session_handle"), session);
            // A session's name is taken until it is closed.
            if (std::exchange(open, true) && response == 0)
                response = 2;
        } else if (message.member() == QLatin1String("BindShortcuts")) {
            options = qdbus_cast<QVariantMap>(arguments.value(3));
            for (const Shortcut& shortcut : qdbus_cast<QList<Shortcut>>(arguments.value(1))) {
                boundId = shortcut.id;
                trigger = shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
            }
            if (m_listing != Listing::Nothing)
                results.insert(QStringLiteral("shortcuts"), listed(m_listing == Listing::Trigger ? QStringLiteral("Ctrl+Shift+1") : QString()));
        } else {
            return false;
        }
        QString sender = message.service().mid(1);
        sender.replace(u'.', u'_');
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (response >= 0) {
            QDBusMessage answer = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                             QStringLiteral("Response"));
            answer << uint(response) << results;
            connection.send(answer);
        }
        return true;
    }

    void activate(const QString& id) { signal("Activated", {id, qulonglong(0), QVariantMap()}); }
    // The user assigning a key in the desktop's settings.
    void assign(const QString& key) { signal("ShortcutsChanged", {listed(key)}); }

    QString session;
    bool open = false;
    QString boundId;
    QString trigger;

private:
    void signal(const char* member, const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                          QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QLatin1String(member));
        message.setArguments(QVariantList{QVariant::fromValue(QDBusObjectPath(session))} + arguments);
        m_bus.send(message);
    }
    QVariant listed(const QString& key) const
    {
        QVariantMap properties{{QStringLiteral("description"), QStringLiteral("Capture Screenshot")}};
        if (!key.isEmpty())
            properties.insert(QStringLiteral("trigger_description"), key);
        return QVariant::fromValue(QList<Shortcut>{{boundId, properties}});
    }

    QDBusConnection m_bus;
    int m_response;
    Listing m_listing;
};

constexpr CaptureShortcut ctrlShift1{'1', ModifierFlag::Ctrl | ModifierFlag::Shift};

} // namespace

TEST(PortalHotKeys, RegistrationOutcomes)
{
    struct Case {
        const char* name;
        bool portal;
        int response;
        Listing listing;
        int status;
    };
    const Case cases[] = {
        {"portal binds the shortcut", true, 0, Listing::Trigger, GlobalHotKeys::Registered},
        {"portal leaves the key to the user", true, 0, Listing::Nothing, GlobalHotKeys::NotBound},
        {"portal lists the shortcut without a key", true, 0, Listing::NoTrigger, GlobalHotKeys::NotBound},
        {"user cancels", true, 1, Listing::Trigger, GlobalHotKeys::Refused},
        {"portal never answers", true, -1, Listing::Trigger, GlobalHotKeys::NoAnswer},
        {"no portal on the bus", false, 0, Listing::Trigger, GlobalHotKeys::Unavailable},
    };
    for (const Case& c : cases) {
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
            EXPECT_EQ(portal->trigger, QStringLiteral("CTRL+SHIFT+1"));
        }
    }
}

// KDE Plasma's way: the shortcut is taken without a key; the user assigns one later in System
// Settings, and from then on its presses arrive. The session keeps its name across restarts,
// so the desktop finds the user's key again.
TEST(PortalHotKeys, AKeyAssignedLaterIsTaken)
{
    test::PrivateBus bus;
    FakePortal portal(connectTo(bus), 0, Listing::Nothing);
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
    EXPECT_EQ(portal.trigger, QStringLiteral("ALT+LOGO+k"));
    EXPECT_TRUE(portal.session.endsWith(QLatin1String("/pelorin"))) << portal.session.toStdString();

    portal.assign(QStringLiteral("Meta+Alt+K"));
    EXPECT_TRUE(test::waitUntil([&] { return hotKeys.isRegistered(); }));
    EXPECT_EQ(statuses, (QList<int>{GlobalHotKeys::NotBound, GlobalHotKeys::NotBound, GlobalHotKeys::Registered}));

    portal.activate(QStringLiteral("something-else"));
    portal.activate(QString::fromLatin1(PortalHotKeys::shortcutId));
    EXPECT_TRUE(test::waitUntil([&] { return presses == 1; }));

    // After unregistering, the old session's activations are not ours any more.
    hotKeys.unregisterHotKey();
    portal.activate(QString::fromLatin1(PortalHotKeys::shortcutId));
    test::waitUntil([] { return false; }, 300);
    EXPECT_EQ(presses, 1);
}

TEST(PortalHotKeys, WithoutASessionBusRegistrationFailsAtOnce)
{
    PortalHotKeys hotKeys(QDBusConnection(QStringLiteral("not-connected")));
    EXPECT_EQ(hotKeys.registerHotKey(ctrlShift1), GlobalHotKeys::Unavailable);
}
