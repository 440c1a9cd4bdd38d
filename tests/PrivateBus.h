#pragma once

#include "TestSupport.h"

#include <QProcess>

namespace pelorin::test {

// A D-Bus session bus of the test's own that starts no services, so no desktop portal
// installed on the machine answers in place of a test's stand-in, or at all.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        writeBytes(config, "<busconfig><type>session</type><listen>unix:tmpdir=" + m_dir.path().toUtf8() + "</listen>"
                           "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                        QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (m_daemon.waitForStarted(5000) && (m_daemon.canReadLine() || m_daemon.waitForReadyRead(5000)))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

    // Empty when the bus did not start.
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

} // namespace pelorin::test
