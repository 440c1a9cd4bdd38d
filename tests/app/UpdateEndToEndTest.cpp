// The whole update with real processes: the built program installed in a folder of its own,
// a served release archive whose bin/pelorin only records that it was started, and the
// installer script replacing the folder after the old process has ended.
#include "RunPelorin.h"
#include "UpdateFixture.h"

#include "app/update/UpdateService.h"
#include "app/update/UpdateTools.h"
#include "platform/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QScopeGuard>

#include <unistd.h>

#include <csignal>

using namespace pelorin;

namespace {

QString readFile(const QString& path)
{
    return QString::fromUtf8(test::readBytes(path));
}

// The built launcher and program copied into <temp>/Apps/Pelorin, laid out as installed, with
// VERSION 0.1, a home of its own and an update site.
class InstalledPelorin {
public:
    InstalledPelorin()
    {
        // Copies: the installer moves and changes them.
        test::installPelorin(folder());
        test::writeBytes(folder() + QStringLiteral("/VERSION"), "0.1\n");
        // A home of its own, so a Pelorin running elsewhere on the machine is not handed our start.
        m_environment = test::ownHome(m_dir.filePath(QStringLiteral("home")));
    }
    ~InstalledPelorin()
    {
        m_process.kill();
        m_process.waitForFinished(5'000);
        // The relaunched program, when the installer started one, runs detached from us.
        if (const qint64 pid = runningFromFolder())
            ::kill(pid_t(pid), SIGKILL);
    }

    QString folder() const { return m_dir.filePath(QStringLiteral("Apps/Pelorin")); }
    QString stagingRoot() const { return m_dir.filePath(QStringLiteral("home/data/Pelorin/Updates")); }
    QProcess& process() { return m_process; }
    // Whether the started program has ended (QProcess::waitForFinished answers false for a
    // process that ended while the event loop ran).
    bool ended()
    {
        return test::waitUntil([this] { return m_process.state() == QProcess::NotRunning; }, 60'000);
    }

    // Files may grow to `blocks` of 512 bytes where set: a full disk, as far as a copy can tell.
    void start(const QString& platform, int blocks = 0)
    {
        QProcessEnvironment environment = m_environment;
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        const QString limit = blocks > 0 ? QStringLiteral("ulimit -f %1; ").arg(blocks) : QString();
        m_process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), limit + QStringLiteral("exec \"$0\" --background"),
                                                    folder() + QStringLiteral("/bin/pelorin")});
        m_process.waitForStarted(10'000);
    }

    // The process (other than ours) that runs this folder's program, the one bin/pelorin hands over to.
    qint64 runningFromFolder() const
    {
        const QString program = folder() + QStringLiteral("/" PELORIN_PROGRAM_DIR "/pelorin-app");
        QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            bool ok = false;
            const qint64 pid = it.fileName().toLongLong(&ok);
            if (ok && pid != m_process.processId() && QFile::symLinkTarget(it.filePath() + QStringLiteral("/exe")) == program)
                return pid;
        }
        return 0;
    }

    // Puts release 9.9 of `members` on the site and points the installed program at it: a feed
    // in a folder of its own names the archive by a path from the site's root, its checksum in
    // capitals.
    void publish(const QJsonArray& members)
    {
        const QString archive = QStringLiteral("/downloads/Pelorin-9.9-linux-x86_64.tar.gz");
        const QString sha = site.putArchive(archive.mid(1), members);
        site.putFeed(QStringLiteral("9.9"), archive, sha.toUpper(), QStringLiteral("feeds/stable/version.json"));
        settings.setValue(QLatin1String(SettingsKeys::updateSiteURL), site.base() + QStringLiteral("feeds/stable"));
    }

    // Stages 9.9 exactly as "On Next Launch" does, in this process, over the read-only leftovers
    // of an earlier attempt.
    void stageForNextLaunch(const QJsonArray& members)
    {
        publish(members);
        const QString work = stagingRoot() + QStringLiteral("/9.9");
        test::writeBytes(work + QStringLiteral("/mnt/Pelorin/VERSION"), "0.1");
        setTreeWritable(work + QStringLiteral("/mnt"), false);
        test::RecordingPrompts prompts;
        prompts.answer.choice = UpdatePrompts::Choice::onNextLaunch;
        UpdateEnvironment environment;
        environment.currentVersion = QStringLiteral(PELORIN_VERSION);
        environment.applicationFolder = folder();
        environment.stagingRoot = stagingRoot();
        UpdateService service(settings, prompts, environment);
        std::vector<UpdateStatus::Kind> seen;
        QObject::connect(&service, &UpdateService::statusChanged, [&seen](const UpdateStatus& s) { seen.push_back(s.kind); });
        ASSERT_TRUE(test::outcome(service.check(true), 60'000).succeeded());
        ASSERT_EQ(service.status().text(), QStringLiteral("9.9 installs on next launch.")) << prompts.alerts.join(u'\n').toStdString();
        using K = UpdateStatus::Kind;
        EXPECT_EQ(seen, (std::vector{K::checking, K::available, K::downloading, K::stagedForNextLaunch}));
        EXPECT_TRUE(prompts.alerts.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(work + QStringLiteral("/mnt")));
        // The staged copy stays the user's to replace at the next update.
        EXPECT_TRUE(QFileInfo(work + QStringLiteral("/Pelorin/bin/pelorin")).permissions() & QFile::WriteOwner);
    }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QProcess m_process;

public:
    test::UpdateSite site;
    SettingsStore settings{m_dir.filePath(QStringLiteral("home/config/Pelorin/Pelorin.json"))};
};

// The old process handed over and ended; the folder holds 9.9, which started detached.
void expectInstalledAndStarted(InstalledPelorin& installed)
{
    EXPECT_EQ(installed.process().exitCode(), 0);
    const QString marker = installed.folder() + QStringLiteral("/launched");
    EXPECT_TRUE(test::waitUntil([&] { return readFile(marker).endsWith(u'\n'); }, 30'000));
    EXPECT_EQ(readFile(installed.folder() + QStringLiteral("/VERSION")), QStringLiteral("9.9\n"));
    // In a session of its own, not as a child of the old one.
    const QString launched = readFile(marker).trimmed();
    EXPECT_TRUE(launched.startsWith(QLatin1String("started "))) << launched.toStdString();
    EXPECT_NE(launched.section(u' ', -1).toLongLong(), qint64(::getsid(0))) << launched.toStdString();
    EXPECT_FALSE(QFileInfo::exists(installed.folder() + QStringLiteral(".old")));
}

bool xdotool(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10'000) || tool.exitCode() != 0)
        return false;
    if (output)
        *output = tool.readAllStandardOutput();
    return true;
}

} // namespace

TEST(UpdateEndToEnd, UpdateNowReplacesTheFolderAndStartsTheNewVersion)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "needs an X server and xdotool";
    InstalledPelorin installed;
    ASSERT_TRUE(installed.site.isRunning());
    installed.publish(test::releaseMembers(QStringLiteral("9.9")));

    // The quiet check runs five seconds after start-up and offers 9.9; Return takes the
    // default answer, "Update Now".
    installed.start(QStringLiteral("xcb"));
    const QString pid = QString::number(installed.process().processId());
    const QStringList findOffer{QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                                QStringLiteral("--pid"), pid, QStringLiteral("--name"), QStringLiteral("^Pelorin$")};
    QByteArray windows;
    ASSERT_TRUE(test::waitUntil([&] { return xdotool(findOffer, &windows); }, 60'000)) << "no offer appeared";
    // The window may still be settling when first seen; press again while the offer stays.
    for (int attempt = 0; attempt < 10 && xdotool(findOffer, &windows); ++attempt) {
        const QString dialog = QString::fromLatin1(windows.split('\n').first());
        xdotool({QStringLiteral("key"), QStringLiteral("--window"), dialog, QStringLiteral("Return")});
        test::waitUntil([] { return false; }, 500);
    }
    // xdotool presses the key of a focused window through the server's keyboard and sends the
    // release to the window; the dialog closes on the press, so the release never reaches the
    // server's keyboard. Left down, the key would repeat into every later test's windows.
    xdotool({QStringLiteral("keyup"), QStringLiteral("Return")});
    ASSERT_TRUE(installed.ended()) << "the old process kept running";
    expectInstalledAndStarted(installed);
}

// At the next start the installer replaces the folder and starts 9.9 detached. Where the copy
// cannot happen, it leaves (or puts back) the old folder and starts the old program again.
TEST(UpdateEndToEnd, OnNextLaunchInstallsAtTheNextStartOrKeepsTheOldFolder)
{
    enum Obstacle { none, fullDisk, frozenParent };
    for (const Obstacle obstacle : {none, fullDisk, frozenParent}) {
        SCOPED_TRACE(obstacle == none ? "installs" : obstacle == fullDisk ? "copy fails part-way" : "folder cannot be moved aside");
        InstalledPelorin installed;
        ASSERT_TRUE(installed.site.isRunning());
        QJsonArray members = test::releaseMembers(QStringLiteral("9.9"));
        if (obstacle != none)
            members.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("Pelorin/share/pelorin/large")},
                                       {QStringLiteral("size"), 4 << 20}});
        installed.stageForNextLaunch(members);
        const qint64 programSize = QFileInfo(installed.folder() + QStringLiteral("/bin/pelorin")).size();

        // The folder beside the app unchangeable: read-only for a user, immutable for root (whom
        // permissions do not stop).
        const QString parent = QFileInfo(installed.folder()).absolutePath();
        const auto freeze = [&](bool frozen) {
            if (::geteuid() == 0)
                return QProcess::execute(QStringLiteral("chattr"), {QLatin1String(frozen ? "+i" : "-i"), parent}) == 0;
            return QFile::setPermissions(parent, QFile::ReadOwner | QFile::ExeOwner | (frozen ? QFile::Permissions() : QFile::WriteOwner));
        };
        const auto thaw = qScopeGuard([&] { freeze(false); });
        if (obstacle == frozenParent && !freeze(true))
            continue; // no immutable folders on this file system
        // Files may grow to 1 MiB on a full disk: the old program starts, the copy of the 4 MiB
        // file fails after the old folder was moved aside.
        installed.start(QStringLiteral("offscreen"), obstacle == fullDisk ? 2048 : 0);
        ASSERT_TRUE(installed.ended()) << "start-up did not hand over to the installer";
        // Consumed either way; a fresh read of the settings file, as the next start sees it.
        const SettingsStore stored(installed.settings.filePath());
        EXPECT_FALSE(stored.storedValue(QLatin1String(SettingsKeys::pendingUpdateVersion)).isValid());
        EXPECT_FALSE(stored.storedValue(QLatin1String(SettingsKeys::pendingUpdateAppPath)).isValid());
        if (obstacle == none) {
            expectInstalledAndStarted(installed);
            continue;
        }
        ASSERT_TRUE(test::waitUntil([&] { return installed.runningFromFolder() != 0; }, 30'000));
        EXPECT_EQ(readFile(installed.folder() + QStringLiteral("/VERSION")), QStringLiteral("0.1\n"));
        EXPECT_EQ(QFileInfo(installed.folder() + QStringLiteral("/bin/pelorin")).size(), programSize);
        EXPECT_FALSE(QFileInfo::exists(installed.folder() + QStringLiteral("/launched")));
        EXPECT_FALSE(QFileInfo::exists(installed.folder() + QStringLiteral(".old")));
    }
}
