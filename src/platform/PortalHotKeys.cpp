#include "platform/PortalHotKeys.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

namespace pelorin {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

int statusFor(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return GlobalHotKeys::Unavailable;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return GlobalHotKeys::NoAnswer;
    default:
        return GlobalHotKeys::Refused;
    }
}

// Receives one Request's Response signal (QtDBus delivers signals to slots only).
class ResponseListener : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    std::function<void(uint response, const QVariantMap& results)> handler;
    bool settled = false;

public Q_SLOTS:
    void response(uint code, const QVariantMap& results) { handler(code, results); }
};

} // namespace

} // namespace pelorin

Q_DECLARE_METATYPE(pelorin::PortalShortcut)
Q_DECLARE_METATYPE(QList<pelorin::PortalShortcut>)

namespace pelorin {

PortalHotKeys::PortalHotKeys(const QDBusConnection& bus, int timeoutMs)
    : m_bus(bus)
    , m_timeoutMs(timeoutMs)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    // QtDBus finds the slot's parameter types by name; until something has used the path
    // type, connecting the slot below fails.
    qRegisterMetaType<QDBusObjectPath>();
    m_listening = m_bus.isConnected()
        && m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                         SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    // The user assigning or changing the key in the desktop's settings.
    if (m_listening)
        m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("ShortcutsChanged"), this,
                      SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalHotKeys::~PortalHotKeys()
{
    closeSession();
}

QString PortalHotKeys::preferredTrigger(const CaptureShortcut& shortcut)
{
    QStringList parts;
    if (shortcut.modifiers.testFlag(ModifierFlag::Ctrl))
        parts << QStringLiteral("CTRL");
    if (shortcut.modifiers.testFlag(ModifierFlag::Alt))
        parts << QStringLiteral("ALT");
    if (shortcut.modifiers.testFlag(ModifierFlag::Shift))
        parts << QStringLiteral("SHIFT");
    if (shortcut.modifiers.testFlag(ModifierFlag::Super))
        parts << QStringLiteral("LOGO");
    parts << QString(QChar(char16_t(shortcutKeysym(shortcut.key))));
    return parts.join(u'+');
}

int PortalHotKeys::registerHotKey(const CaptureShortcut& shortcut)
{
    closeSession();
    // A shortcut whose presses would never reach us is no shortcut.
    if (!m_listening)
        return Unavailable;
    const quint64 generation = ++m_generation;
    const auto create = [this, generation, shortcut] {
        if (generation != m_generation)
            return;
        // The desktop files the user's key for our shortcut under the session's token (KDE
        // names its shortcuts component after it), so the token stays the same across restarts.
        QVariantMap options{{QStringLiteral("session_handle_token"), QString::fromLatin1(sessionToken)}};
        request(shortcutsInterface, QStringLiteral("CreateSession"), {options}, 0,
                [this, generation, shortcut](const QVariantMap& results) {
                    if (generation != m_generation)
                        return;
                    const QVariant handle = results.value(QStringLiteral("session_handle"));
                    m_session = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
                    if (m_session.isEmpty())
                        return fail(Refused);
                    bind(shortcut);
                });
    };
    // The same token is free again only once the portal has closed the previous session.
    if (!m_closing || m_closing->isFinished()) {
        m_closing.reset();
        create();
    } else {
        connect(new QDBusPendingCallWatcher(*m_closing, this), &QDBusPendingCallWatcher::finished, this,
                [this, create](QDBusPendingCallWatcher* closed) {
                    closed->deleteLater();
                    m_closing.reset();
                    create();
                });
    }
    return Registered;
}

void PortalHotKeys::bind(const CaptureShortcut& shortcut)
{
    const quint64 generation = m_generation;
    const QList<PortalShortcut> shortcuts{{QString::fromLatin1(shortcutId),
                                           {{QStringLiteral("description"), QStringLiteral("Capture Screenshot")},
                                            {QStringLiteral("preferred_trigger"), preferredTrigger(shortcut)}}}};
    request(shortcutsInterface, QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString(), QVariantMap()}, 3,
            [this, generation](const QVariantMap& results) {
                if (generation == m_generation)
                    takeBindings(results.value(QStringLiteral("shortcuts")));
            });
}

void PortalHotKeys::takeBindings(const QVariant& shortcuts)
{
    // A desktop may accept the shortcut yet leave its key to the user (KDE Plasma lists none
    // until one is assigned in System Settings); only a listed trigger is a working key.
    bool bound = false;
    for (const PortalShortcut& shortcut : qdbus_cast<QList<PortalShortcut>>(shortcuts))
        if (shortcut.id == QLatin1String(shortcutId))
            bound = !shortcut.properties.value(QStringLiteral("trigger_description")).toString().trimmed().isEmpty();
    const bool changed = bound != m_bound || !m_answered;
    m_bound = bound;
    m_answered = true;
    if (changed)
        Q_EMIT registrationChanged(bound ? Registered : NotBound);
}

void PortalHotKeys::request(const QString& interface, const QString& method, QVariantList arguments, int optionsIndex,
                            ResultHandler onSuccess)
{
    const quint64 generation = m_generation;
    // The Request object's path is known before the call, so its answer cannot be missed.
    const QString token = QStringLiteral("pelorin%1").arg(++m_tokens);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    const QString requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    QVariantMap options = arguments[optionsIndex].toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments[optionsIndex] = options;

    auto* listener = new ResponseListener(this);
    // The first of answer, error and time-out settles the request.
    const auto settle = [this, listener, requestPath, generation](auto&& outcome) {
        if (listener->settled)
            return;
        listener->settled = true;
        m_bus.disconnect(portalService, requestPath, requestInterface, QStringLiteral("Response"), listener,
                         SLOT(response(uint, QVariantMap)));
        listener->deleteLater();
        if (generation == m_generation)
            outcome();
    };
    listener->handler = [this, settle, onSuccess](uint response, const QVariantMap& results) {
        settle([&] {
            if (response != 0)
                fail(Refused);
            else
                onSuccess(results);
        });
    };
    m_bus.connect(portalService, requestPath, requestInterface, QStringLiteral("Response"), listener,
                  SLOT(response(uint, QVariantMap)));

    auto* timer = new QTimer(listener);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, settle] { settle([this] { fail(NoAnswer); }); });
    timer->start(m_timeoutMs);

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, m_timeoutMs), listener);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, settle](QDBusPendingCallWatcher* pending) {
        const QDBusPendingReply<QDBusObjectPath> reply = *pending;
        if (reply.isError())
            settle([this, error = reply.error()] { fail(statusFor(error)); });
    });
}

void PortalHotKeys::fail(int status)
{
    closeSession();
    Q_EMIT registrationChanged(status);
}

void PortalHotKeys::unregisterHotKey()
{
    closeSession();
}

void PortalHotKeys::closeSession()
{
    ++m_generation;
    m_bound = false;
    m_answered = false;
    if (m_session.isEmpty())
        return;
    // Closing the session removes its shortcuts; only the next session waits for the answer.
    QDBusMessage close = QDBusMessage::createMethodCall(portalService, m_session, sessionInterface, QStringLiteral("Close"));
    m_closing = m_bus.asyncCall(close, m_timeoutMs);
    m_session.clear();
}

void PortalHotKeys::onActivated(const QDBusObjectPath& session, const QString& id, qulonglong, const QVariantMap&)
{
    // Also while we think no key is bound: the user may have assigned one since.
    if (m_answered && session.path() == m_session && id == QLatin1String(shortcutId))
        QTimer::singleShot(0, this, &GlobalHotKeys::pressed);
}

void PortalHotKeys::onShortcutsChanged(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (m_answered && arguments.size() == 2 && arguments[0].value<QDBusObjectPath>().path() == m_session)
        takeBindings(arguments[1]);
}

} // namespace pelorin

#include "PortalHotKeys.moc"
