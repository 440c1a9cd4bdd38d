#include "platform/PortalHotKeys.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace pelorin;

namespace {

// A bus of the test's own that starts no services, so no desktop portal installed on the
// machine answers in place of the fake one.
class PrivateBus {
public:
    PrivateBus()
    {
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        if (config.open(QIODevice::WriteOnly))
            config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                         "<busconfig><type>session</type><listen>unix:tmpdir=" + m_dir.path().toUtf8() + "</listen>"
                         "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                         "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config.fileName(),
                                                        QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (m_daemon.waitForStarted(5000) && test::waitUntil([&] { return m_daemon.canReadLine(); }))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    QDBusConnection connect()
    {
        const QString name = QStringLiteral("portal-test-%1").arg(m_names.size());
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

// The desktop portal's side of GlobalShortcuts, answering each request as `response` says
// (-1: never answer).
class FakePortal : public QDBusVirtualObject {
public:
    FakePortal(QDBusConnection bus, int response)
        : m_bus(bus)
        , m_response(response)
    {
        m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), this);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != QLatin1String("org.freedesktop.portal.GlobalShortcuts"))
            return false;
        const QVariantList arguments = message.arguments();
        QVariantMap options;
        QVariantMap results;
        if (message.member() == QLatin1String("CreateSession")) {
            options = qdbus_cast<QVariantMap>(arguments.value(0));
            session = QStringLiteral("/org/freedesktop/portal/desktop/session/x/%1")
                          .arg(options.value(QStringLiteral("session_handle_token")).toString());
            results.insert(QStringLiteral("session_handle"), session);
        } else if (message.member() == QLatin1String("BindShortcuts")) {
            options = qdbus_cast<QVariantMap>(arguments.value(3));
            const QDBusArgument shortcuts = arguments.value(1).value<QDBusArgument>();
            shortcuts.beginArray();
            while (!shortcuts.atEnd()) {
                QString id;
                QVariantMap properties;
                shortcuts.beginStructure();
                shortcuts >> id >> properties;
                shortcuts.endStructure();
                boundId = id;
                trigger = properties.value(QStringLiteral("preferred_trigger")).toString();
            }
            shortcuts.endArray();
        } else {
            return false;
        }
        QString sender = message.service().mid(1);
        sender.replace(u'.', u'_');
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (m_response >= 0) {
            QDBusMessage response = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                               QStringLiteral("Response"));
            response << uint(m_response) << results;
            connection.send(response);
        }
        return true;
    }

    void activate(const QString& id)
    {
        QDBusMessage activated = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                            QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                                            QStringLiteral("Activated"));
        activated << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0) << QVariantMap();
        m_bus.send(activated);
    }

    QString session;
    QString boundId;
    QString trigger;

private:
    QDBusConnection m_bus;
    int m_response;
};

constexpr CaptureShortcut ctrlShift1{'1', ModifierFlag::Ctrl | ModifierFlag::Shift};

} // namespace

TEST(PortalHotKeys, RegistrationOutcomes)
{
    struct Case {
        const char* name;
        bool portal;
        int response;
        int failure; // 0: registered
    };
    const Case cases[] = {
        {"portal binds the shortcut", true, 0, 0},
        {"user cancels", true, 1, GlobalHotKeys::Refused},
        {"portal never answers", true, -1, GlobalHotKeys::NoAnswer},
        {"no portal on the bus", false, 0, GlobalHotKeys::Unavailable},
    };
    for (const Case& c : cases) {
        PrivateBus bus;
        std::unique_ptr<FakePortal> portal;
        if (c.portal)
            portal = std::make_unique<FakePortal>(bus.connect(), c.response);
        PortalHotKeys hotKeys(bus.connect(), 500);
        std::optional<int> failure;
        QObject::connect(&hotKeys, &GlobalHotKeys::registrationFailed, [&](int status) { failure = status; });

        EXPECT_EQ(hotKeys.registerHotKey(ctrlShift1), GlobalHotKeys::Registered) << c.name;
        if (c.failure == 0) {
            EXPECT_TRUE(test::waitUntil([&] { return hotKeys.isRegistered(); })) << c.name;
            EXPECT_EQ(portal->trigger, QStringLiteral("CTRL+SHIFT+1"));
            EXPECT_FALSE(failure.has_value()) << c.name;
        } else {
            EXPECT_TRUE(test::waitUntil([&] { return failure.has_value(); })) << c.name;
            EXPECT_EQ(failure.value_or(0), c.failure) << c.name;
            EXPECT_FALSE(hotKeys.isRegistered()) << c.name;
        }
    }
}

TEST(PortalHotKeys, ActivationOfTheBoundShortcutIsAPress)
{
    PrivateBus bus;
    FakePortal portal(bus.connect(), 0);
    PortalHotKeys hotKeys(bus.connect(), 2000);
    int presses = 0;
    QObject::connect(&hotKeys, &GlobalHotKeys::pressed, [&] { ++presses; });
    hotKeys.registerHotKey({'K', ModifierFlag::Super | ModifierFlag::Alt});
    ASSERT_TRUE(test::waitUntil([&] { return hotKeys.isRegistered(); }));
    EXPECT_EQ(portal.trigger, QStringLiteral("ALT+LOGO+k"));

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
