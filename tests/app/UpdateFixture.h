#pragma once

#include "TestSupport.h"
#include "cloud/TaskOutcome.h"

#include "app/update/UpdatePrompts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace pelorin::test {

// A plain web server (python3 -m http.server) on a free local port, serving one folder: the
// update site. Files put into site() are served; anything else answers 404.
class UpdateSite {
public:
    UpdateSite()
    {
        QDir().mkpath(site());
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.start(QStandardPaths::findExecutable(QStringLiteral("python3")),
                       {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("--bind"),
                        QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), site(), QStringLiteral("0")});
        static const QRegularExpression portPattern(QStringLiteral("port (\\d+)"));
        QByteArray output;
        while (m_port == 0 && m_server.waitForReadyRead(10'000)) {
            output += m_server.readAll();
            m_port = portPattern.match(QString::fromUtf8(output)).captured(1).toInt();
        }
    }
    ~UpdateSite()
    {
        m_server.kill();
        m_server.waitForFinished(5'000);
    }

    QString site() const { return m_dir.filePath(QStringLiteral("site")); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }
    bool isRunning() const { return m_port != 0; }

    void put(const QString& path, const QByteArray& data) const { writeBytes(QDir(site()).filePath(path), data); }
    // A feed offering `version` from `url`, with a checksum unless empty.
    void putFeed(const QString& version, const QString& url, const QString& sha256 = {},
                 const QString& path = QStringLiteral("version.json")) const
    {
        QJsonObject feed{{QStringLiteral("version"), version}, {QStringLiteral("dmg_url"), url}};
        if (!sha256.isEmpty())
            feed.insert(QStringLiteral("sha256"), sha256);
        put(path, QJsonDocument(feed).toJson());
    }

    // A release archive at `path` on the site from a list of members (see
    // make_release_archive.py); returns its SHA-256 in hex.
    QString putArchive(const QString& path, const QJsonArray& members) const
    {
        const QString file = QDir(site()).filePath(path);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QProcess::execute(QStandardPaths::findExecutable(QStringLiteral("python3")),
                          {QStringLiteral(PELORIN_TEST_SCRIPTS "/app/make_release_archive.py"), file,
                           QString::fromUtf8(QJsonDocument(members).toJson(QJsonDocument::Compact))});
        return QString::fromLatin1(QCryptographicHash::hash(readBytes(file), QCryptographicHash::Sha256).toHex());
    }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    int m_port = 0;
};

inline QJsonObject member(const QString& name, const QString& data, int mode = 0644)
{
    return {{QStringLiteral("name"), name}, {QStringLiteral("data"), data}, {QStringLiteral("mode"), mode}};
}

// The members of a release whose bin/pelorin records that it was started, in a file
// "launched" beside bin/: "started <arguments> session <its session id>".
inline QJsonArray releaseMembers(const QString& version)
{
    return {member(QStringLiteral("Pelorin/VERSION"), version + u'\n'),
            member(QStringLiteral("Pelorin/bin/pelorin"),
                   QStringLiteral("#!/bin/sh\nhere=$(dirname \"$(readlink -f \"$0\")\")\n"
                                  "echo \"started $* session $(cut -d' ' -f6 /proc/$$/stat)\" > \"$here/../launched\"\n"),
                   0755),
            member(QStringLiteral("Pelorin/libexec/pelorin/pelorin-app"), QStringLiteral("#!/bin/sh\n"), 0755),
            member(QStringLiteral("Pelorin/share/applications/app.pelorin.Pelorin.desktop"), QStringLiteral("[Desktop Entry]\n"))};
}

// Prompts that record what was shown ("message|informative text") and answer the offer as told.
class RecordingPrompts : public UpdatePrompts {
public:
    QCoro::Task<OfferAnswer> offer(const QString& version, const QString& currentVersion) override
    {
        offers << version + u'/' + currentVersion;
        co_return answer;
    }
    void inform(const QString& message, const QString& informativeText) override { alerts << message + u'|' + informativeText; }

    OfferAnswer answer;
    QStringList offers;
    QStringList alerts;
};

} // namespace pelorin::test
