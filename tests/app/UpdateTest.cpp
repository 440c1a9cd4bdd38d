// The updater: its checks, offers, staging and start-up clean-up against the update site on the
// HTTP stand-in, the "Check Now" button with the real message boxes, and the whole update
// with real processes: the built program installed in a folder of its own, a served release archive
// whose bin/pelorin only records that it was started, and the installer script replacing the folder
// after the old process has ended.
#include "CloudTestServer.h"
#include "RunPelorin.h"
#include "TestSupport.h"

#include "app/update/ApplicationUpdates.h"
#include "app/update/UpdateDownload.h"
#include "app/update/UpdatePrompts.h"
#include "app/update/UpdateService.h"
#include "app/update/UpdateTools.h"
#include "cloud/TaskOutcome.h"
#include "platform/SettingsKeys.h"
#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

#include <csignal>

#include <sys/xattr.h>
#include <unistd.h>

using namespace pelorin;
using namespace pelorin::test;

namespace {

// The update site, on the HTTP stand-in: what is put there is served the next `times` times it is
// asked for; any other path answers 200 with nothing in it.
class UpdateSite : public CloudTestServer {
public:
    QString base() const { return baseUrl() + u'/'; }

    void put(const QString& path, const QByteArray& data, int times = 1, int status = 200)
    {
        script({QStringLiteral("GET"), u'/' + path, status, data, QStringLiteral("application/octet-stream"), 0, times});
    }
    // A feed offering `version` from `url`, with a checksum unless empty.
    void putFeed(const QString& version, const QString& url, const QString& sha256 = {}, int times = 1,
                 const QString& path = QStringLiteral("version.json"))
    {
        QJsonObject feed{{QStringLiteral("version"), version}, {QStringLiteral("dmg_url"), url}};
        if (!sha256.isEmpty())
            feed.insert(QStringLiteral("sha256"), sha256);
        put(path, QJsonDocument(feed).toJson(), times);
    }
    // A release archive of `members` (see make_release_archive.py) at `path`; returns its SHA-256 in hex.
    QString putArchive(const QString& path, const QJsonArray& members)
    {
        QProcess maker;
        maker.start(QStringLiteral("python3"), {QStringLiteral(PELORIN_TEST_SCRIPTS "/app/make_release_archive.py"),
                                                QString::fromUtf8(QJsonDocument(members).toJson(QJsonDocument::Compact))});
        maker.waitForFinished(30'000);
        const QByteArray archive = maker.readAllStandardOutput();
        put(path, archive);
        return QString::fromLatin1(QCryptographicHash::hash(archive, QCryptographicHash::Sha256).toHex());
    }
};

// A file of the archive, its owner may run it.
QJsonObject member(const QString& name, const QString& data)
{
    return {{QStringLiteral("name"), name}, {QStringLiteral("data"), data}};
}

// The members of a release whose bin/pelorin records that it was started, in a file
// "launched" beside bin/: "started <arguments> pid <its process id> session <its session id>".
QJsonArray releaseMembers(const QString& version)
{
    return {member(QStringLiteral("Pelorin/VERSION"), version + u'\n'),
            member(QStringLiteral("Pelorin/bin/pelorin"),
                   QStringLiteral("#!/bin/sh\nhere=$(dirname \"$(readlink -f \"$0\")\")\n"
                                  "echo \"started $* pid $$ session $(cut -d' ' -f6 /proc/$$/stat)\" > \"$here/../launched\"\n")),
            member(QStringLiteral("Pelorin/libexec/pelorin/pelorin-app"), QStringLiteral("#!/bin/sh\n")),
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

// A complete app folder of `version`: what the updater installs from and replaces.
void writeAppFolder(const QString& folder, const QByteArray& version)
{
    writeBytes(folder + QStringLiteral("/VERSION"), version + '\n');
    for (const char* program : {"bin/pelorin", "libexec/pelorin/pelorin-app"})
        writeScript(folder + u'/' + QLatin1String(program), "#!/bin/sh\n");
}

class UpdateServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.isRunning());
        writeAppFolder(appFolder(), "1.4");
        settings.store().setValue(QLatin1String(SettingsKeys::updateSiteURL), site.base());
    }

    QString appFolder() const { return dir.filePath(QStringLiteral("apps/Pelorin")); }
    QString stagingRoot() const { return dir.filePath(QStringLiteral("Updates")); }

    // The service as it starts: a new one after restart().
    UpdateService& service()
    {
        if (!m_service) {
            UpdateEnvironment environment;
            environment.currentVersion = QStringLiteral("1.4");
            environment.applicationFolder = installable ? appFolder() : QString();
            environment.stagingRoot = stagingRoot();
            environment.processId = 4242;
            environment.autoCheckDelay = std::chrono::milliseconds(0);
            environment.launchInstaller = [this](qint64 pid, const QString& target, const QString& staged) {
                installs << QStringLiteral("%1 %2 %3").arg(pid).arg(target, staged);
            };
            environment.terminate = [this] { ++terminations; };
            m_service = std::make_unique<UpdateService>(settings.store(), prompts, environment);
        }
        return *m_service;
    }
    void restart() { m_service.reset(); }

    void check(bool interactive)
    {
        const auto result = outcome(service().check(interactive), 60'000);
        ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
    }

    QString status() { return service().status().text(); }

    TempSettings settings;
    QTemporaryDir dir;
    UpdateSite site;
    RecordingPrompts prompts;
    bool installable = true;
    QStringList installs;
    int terminations = 0;

private:
    std::unique_ptr<UpdateService> m_service;
};

// The built launcher and program copied into <temp>/Apps/Pelorin (copies: the installer moves
// and changes them), laid out as installed, with VERSION 0.1, an update site and a home of its
// own, so a Pelorin running elsewhere on the machine is not handed our start.
struct InstalledPelorin {
    InstalledPelorin()
    {
        installPelorin(folder());
        writeBytes(folder() + QStringLiteral("/VERSION"), "0.1\n");
    }
    ~InstalledPelorin()
    {
        process.kill();
        process.waitForFinished(5'000);
        // The relaunched program, when the installer started one, runs detached from us.
        if (const qint64 pid = runningFromFolder())
            ::kill(pid_t(pid), SIGKILL);
    }

    QString folder() const { return dir.filePath(QStringLiteral("Apps/Pelorin")); }
    QString stagingRoot() const { return dir.filePath(QStringLiteral("home/data/Pelorin/Updates")); }

    // Files may grow to `blocks` of 512 bytes where set: a full disk, as far as a copy can tell.
    void start(const QString& platform, int blocks = 0)
    {
        home.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        process.setProcessEnvironment(home);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        const QString limit = blocks > 0 ? QStringLiteral("ulimit -f %1; ").arg(blocks) : QString();
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), limit + QStringLiteral("exec \"$0\" --background"),
                                                  folder() + QStringLiteral("/bin/pelorin")});
        process.waitForStarted(10'000);
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
            if (ok && pid != process.processId() && QFile::symLinkTarget(it.filePath() + QStringLiteral("/exe")) == program)
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
        site.putFeed(QStringLiteral("9.9"), archive, sha.toUpper(), 1, QStringLiteral("feeds/stable/version.json"));
        settings.setValue(QLatin1String(SettingsKeys::updateSiteURL), site.base() + QStringLiteral("feeds/stable"));
    }

    // Stages 9.9 exactly as "On Next Launch" does, in this process, over the read-only leftovers
    // of an earlier attempt.
    void stageForNextLaunch(const QJsonArray& members)
    {
        publish(members);
        const QString work = stagingRoot() + QStringLiteral("/9.9");
        writeBytes(work + QStringLiteral("/mnt/Pelorin/VERSION"), "0.1");
        setTreeWritable(work + QStringLiteral("/mnt"), false);
        RecordingPrompts prompts;
        prompts.answer.choice = UpdatePrompts::Choice::onNextLaunch;
        UpdateEnvironment environment;
        environment.currentVersion = QStringLiteral(PELORIN_VERSION);
        environment.applicationFolder = folder();
        environment.stagingRoot = stagingRoot();
        UpdateService service(settings, prompts, environment);
        std::vector<UpdateStatus::Kind> seen;
        QObject::connect(&service, &UpdateService::statusChanged, [&seen](const UpdateStatus& s) { seen.push_back(s.kind); });
        ASSERT_TRUE(outcome(service.check(true), 60'000).succeeded());
        ASSERT_EQ(service.status().text(), QStringLiteral("9.9 installs on next launch.")) << prompts.alerts.join(u'\n').toStdString();
        using K = UpdateStatus::Kind;
        EXPECT_EQ(seen, (std::vector{K::checking, K::available, K::downloading, K::stagedForNextLaunch}));
        EXPECT_FALSE(QFileInfo::exists(work + QStringLiteral("/mnt")));
        // The staged copy stays the user's to replace at the next update.
        EXPECT_TRUE(QFileInfo(work + QStringLiteral("/Pelorin/bin/pelorin")).permissions() & QFile::WriteOwner);
    }

    QTemporaryDir dir;
    QProcessEnvironment home = ownHome(dir.filePath(QStringLiteral("home")));
    QProcess process;
    UpdateSite site;
    SettingsStore settings{dir.filePath(QStringLiteral("home/config/Pelorin/Pelorin.json"))};
};

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

// Checks asked for, quiet ones, and the automatic one at start-up, which runs only when switched on
// and the last check is more than 20 hours old.
TEST_F(UpdateServiceTest, CheckOutcomesAndAlerts)
{
    const QString unreachable = QStringLiteral("http://127.0.0.1:1/"); // nothing listens on port 1
    // feed empty: a 404 page; hoursAgo: the last check (-1: never); status empty: no check ran.
    enum How { asked, quiet, automatic, switchedOff };
    struct Case {
        const char* name; QByteArray feed; bool reachable; How how; QString status; QStringList alerts; double hoursAgo = -1;
    };
    const QString latest = QStringLiteral("You're up to date.");
    const QString unreadable = QStringLiteral("The update feed couldn't be read.");
    const QStringList failed{QStringLiteral("Update check failed|") + unreadable};
    const QByteArray upToDate = R"({"version": "1.4.0", "dmg_url": "x.tar.gz"})";
    const std::vector<Case> cases = {
        {"up to date, quiet", upToDate, true, quiet, latest, {}},
        {"not JSON", "<html>oops</html>", true, asked, unreadable, failed},
        {"404 page", "", true, asked, unreadable, failed},
        {"missing dmg_url", R"({"version": "2.0"})", true, asked, unreadable, failed},
        {"version not a string", R"({"version": 2, "dmg_url": "x"})", true, quiet, unreadable, {}},
        {"unreachable, quiet", "", false, quiet, QStringLiteral("Connection refused"), {}},
        {"automatic, never checked", upToDate, true, automatic, latest, {}},
        {"automatic, 21 hours after the last", upToDate, true, automatic, latest, {}, 21},
        {"automatic, 19 hours after the last", "", false, automatic, {}, {}, 19},
        {"automatic, switched off", "", false, switchedOff, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.alerts.clear();
        if (c.reachable)
            site.put(QStringLiteral("version.json"), c.feed, 1, c.feed.isEmpty() ? 404 : 200);
        settings.store().setValue(QLatin1String(SettingsKeys::updateSiteURL), c.reachable ? site.base() : unreachable);
        const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        if (c.hoursAgo < 0)
            settings.store().remove(QLatin1String(SettingsKeys::lastUpdateCheckAt));
        else
            settings.store().setValue(QLatin1String(SettingsKeys::lastUpdateCheckAt), now - c.hoursAgo * 3600);
        if (c.how >= automatic) {
            settings.store().setValue(QLatin1String(SettingsKeys::autoCheckForUpdates), c.how == automatic);
            restart();
            service().autoCheckIfDue();
            waitUntil([&] { return status() == latest; }, c.status.isEmpty() ? 500 : 30'000);
        } else {
            check(c.how == asked);
        }
        EXPECT_EQ(status(), c.status);
        EXPECT_EQ(prompts.alerts, c.alerts);
        EXPECT_TRUE(prompts.offers.isEmpty());
        // Written when a check starts, whatever it finds.
        const double checkedAt = settings.store().doubleValue(QLatin1String(SettingsKeys::lastUpdateCheckAt), 0);
        EXPECT_EQ(std::fabs(checkedAt - now) < 60, !c.status.isEmpty());
    }
}

// Quiet checks honour a skipped version, asking explicitly offers it again. "Update Now" hands the
// staged folder to the installer and quits; its ticked box skips later quiet offers all the same.
TEST_F(UpdateServiceTest, OffersFollowTheAnswerAndTheSkippedVersion)
{
    site.putFeed(QStringLiteral("1.10"), QStringLiteral("x.tar.gz"), {}, 2);
    settings.store().setValue(QLatin1String(SettingsKeys::skippedUpdateVersion), QStringLiteral("1.10"));
    check(false);
    EXPECT_EQ(service().status().kind, UpdateStatus::Kind::idle);
    EXPECT_TRUE(prompts.offers.isEmpty());
    prompts.answer = {UpdatePrompts::Choice::later, false};
    check(true);
    EXPECT_EQ(prompts.offers, QStringList{QStringLiteral("1.10/1.4")});
    EXPECT_EQ(service().status().kind, UpdateStatus::Kind::idle);

    site.putArchive(QStringLiteral("Pelorin-1.11.tar.gz"), releaseMembers(QStringLiteral("1.11")));
    site.putFeed(QStringLiteral("1.11"), QStringLiteral("Pelorin-1.11.tar.gz"), {}, 2);
    prompts.answer = {UpdatePrompts::Choice::updateNow, true};
    check(false);
    EXPECT_EQ(installs, QStringList{QStringLiteral("4242 %1 %2/1.11/Pelorin").arg(appFolder(), stagingRoot())});
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(settings.store().contains(QLatin1String(SettingsKeys::pendingUpdateVersion)));
    check(false);
    EXPECT_EQ(prompts.offers.size(), 2);
}

TEST_F(UpdateServiceTest, StagingFailuresReportTheirMessageAndLeaveNoMount)
{
    const QString sameVersion = site.putArchive(QStringLiteral("same.tar.gz"), releaseMembers(QStringLiteral("1.4")));
    // A launcher without the program it starts is no app either.
    const QString noApp = site.putArchive(QStringLiteral("noapp.tar.gz"),
                                          {member(QStringLiteral("Pelorin/VERSION"), QStringLiteral("2.0\n")),
                                           member(QStringLiteral("Pelorin/bin/pelorin"), QStringLiteral("#!/bin/sh\n"))});
    // Release 2.0 with one more member, as NAME.tar.gz.
    const auto putWith = [&](const char* name, const QJsonObject& extra) {
        QJsonArray members = releaseMembers(QStringLiteral("2.0"));
        members.append(extra);
        site.putArchive(QLatin1String(name) + QStringLiteral(".tar.gz"), members);
    };
    putWith("dotdot", member(QStringLiteral("Pelorin/../../escaped"), QStringLiteral("outside")));
    putWith("absolute", member(dir.filePath(QStringLiteral("absolute")), QStringLiteral("outside")));
    putWith("good", member(QStringLiteral("Pelorin/README"), {}));
    site.put(QStringLiteral("broken.tar.gz"), "not a gzip stream");
    site.put(QStringLiteral("missing.tar.gz"), {}, 1, 404);
    for (const char* kind : {"chardev", "fifo"})
        putWith(kind, {{QStringLiteral("name"), QStringLiteral("Pelorin/dev")}, {QStringLiteral("type"), QLatin1String(kind)}});

    struct Case { QString dmgUrl; QString sha256; QString message; QString version = QStringLiteral("2.0"); };
    const Case cases[] = {
        // The version names the work folder: it must not lead out of the staging folder.
        {QStringLiteral("good.tar.gz"), {}, QStringLiteral("Bad version in the update feed."), QStringLiteral("9/../../escaped")},
        {QStringLiteral("missing.tar.gz"), {}, QStringLiteral("Download failed (HTTP 404).")},
        {QStringLiteral("noapp.tar.gz"), noApp, QStringLiteral("The update image doesn't contain an app.")},
        {QStringLiteral("same.tar.gz"), {}, QStringLiteral("The downloaded update (1.4) isn't newer than 1.4.")},
        {QStringLiteral("good.tar.gz"), sameVersion,
         QStringLiteral("The downloaded update doesn't match the checksum in the update feed.")},
        {QStringLiteral("dotdot.tar.gz"), {}, QStringLiteral("The update archive holds files outside its folder.")},
        {QStringLiteral("absolute.tar.gz"), {}, QStringLiteral("The update archive holds files outside its folder.")},
        {QStringLiteral("broken.tar.gz"), {},
         QStringLiteral("The update archive broken.tar.gz could not be read: tar failed (2): gzip: stdin: not in gzip format")},
        {QStringLiteral("chardev.tar.gz"), {}, QStringLiteral("The update archive holds device files or other special files.")},
        {QStringLiteral("fifo.tar.gz"), {}, QStringLiteral("The update archive holds device files or other special files.")},
        {QStringLiteral("ftp://127.0.0.1/x.tar.gz"), {}, QStringLiteral("Bad download URL in the update feed.")},
    };
    prompts.answer.choice = UpdatePrompts::Choice::onNextLaunch;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dmgUrl.toStdString());
        prompts.alerts.clear();
        site.putFeed(c.version, c.dmgUrl, c.sha256);
        check(true);
        EXPECT_EQ(status(), c.message);
        EXPECT_EQ(prompts.alerts, QStringList{QStringLiteral("Update failed|") + c.message});
        // A refused update leaves nothing behind, not even its download.
        EXPECT_FALSE(QFileInfo::exists(stagingRoot() + u'/' + c.version));
        EXPECT_FALSE(settings.store().contains(QLatin1String(SettingsKeys::pendingUpdateVersion)));
    }
    EXPECT_FALSE(QFileInfo::exists(stagingRoot() + QStringLiteral("/escaped")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("escaped"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("absolute"))));

    // Where the folder cannot be replaced (a build tree, a package install) nothing is even downloaded.
    installable = false;
    restart();
    prompts.alerts.clear();
    site.putFeed(QStringLiteral("2.0"), QStringLiteral("good.tar.gz"));
    check(true);
    EXPECT_EQ(status(), QStringLiteral("App location isn't writable"));
    EXPECT_EQ(prompts.alerts, QStringList{QStringLiteral("Can't update in place|Install Pelorin from its release archive into "
                                                         "a folder you own, then check for updates again.")});
    EXPECT_FALSE(QFileInfo::exists(stagingRoot() + QStringLiteral("/2.0")));
    EXPECT_TRUE(installs.isEmpty());

    // A feed that points at something far larger than a release fills no disk: the download is
    // refused as soon as its size is known.
    site.put(QStringLiteral("big.tar.gz"), QByteArray(5000, 'x'));
    const QString path = dir.filePath(QStringLiteral("big.part"));
    const auto result = outcome(downloadToFile(QUrl(site.base() + QStringLiteral("big.tar.gz")), path, 1000), 30'000);
    EXPECT_EQ(result.error, QStringLiteral("The update download is larger than 1000 bytes; it was refused."));
    EXPECT_LE(QFileInfo(path).size(), 1000);
}

TEST_F(UpdateServiceTest, AtStartUpAPendingUpdateInstallsAndLeftoversGo)
{
    const QString staged = stagingRoot() + QStringLiteral("/2.0/Pelorin");
    writeAppFolder(staged, "2.0");
    const QString older = stagingRoot() + QStringLiteral("/2.1/Pelorin");
    writeAppFolder(older, "1.0");
    struct Case { const char* name; QString version; QString path; bool installable; bool installs; };
    const Case cases[] = {
        {"newer and staged", QStringLiteral("2.0"), staged, true, true},
        {"running from a build tree", QStringLiteral("2.0"), staged, false, false},
        {"the setting names a newer version than the folder holds", QStringLiteral("2.1"), older, true, false},
        {"not newer", QStringLiteral("1.4"), staged, true, false},
        {"staged folder gone", QStringLiteral("2.0"), staged + QStringLiteral("-gone"), true, false},
        {"not a complete folder", QStringLiteral("2.0"), staged + QStringLiteral("/bin"), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installs.clear();
        settings.store().setValues({{QLatin1String(SettingsKeys::pendingUpdateVersion), c.version},
                                    {QLatin1String(SettingsKeys::pendingUpdateAppPath), c.path}});
        installable = c.installable;
        restart();
        EXPECT_EQ(service().installStagedUpdateIfPending(), c.installs);
        EXPECT_EQ(installs, c.installs ? QStringList{QStringLiteral("4242 %1 %2").arg(appFolder(), staged)} : QStringList{});
        // Consumed either way, so a failing install is not retried at every start.
        EXPECT_FALSE(settings.store().contains(QLatin1String(SettingsKeys::pendingUpdateVersion)));
        EXPECT_FALSE(settings.store().contains(QLatin1String(SettingsKeys::pendingUpdateAppPath)));
    }

    // Start-up clean-up removes only the updater's own leftovers: older or unfinished staging
    // folders, never anything else, never through a link.
    QDir(stagingRoot()).removeRecursively();
    writeAppFolder(stagingRoot() + QStringLiteral("/2.0/Pelorin"), "2.0");
    for (const char* entry : {"1.3/update.tar.gz", "1.4/Pelorin/VERSION", "2.1/update.tar.gz.part", "notes.txt",
                              "1.2/photo.jpg", "0.9/mnt/x"})
        writeBytes(stagingRoot() + u'/' + QLatin1String(entry), "x");
    setTreeWritable(stagingRoot() + QStringLiteral("/1.4"), false);
    QTemporaryDir outside;
    writeBytes(outside.filePath(QStringLiteral("1.0/update.tar.gz")), "x");
    ASSERT_TRUE(QFile::link(outside.path(), stagingRoot() + QStringLiteral("/1.1")));

    service().cleanupOldUpdates();
    EXPECT_EQ(QDir(stagingRoot()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              (QStringList{QStringLiteral("1.1"), QStringLiteral("1.2"), QStringLiteral("2.0"), QStringLiteral("notes.txt")}));

    // The whole folder a link: nothing in its target is touched.
    QDir(stagingRoot()).removeRecursively();
    ASSERT_TRUE(QFile::link(outside.path(), stagingRoot()));
    restart();
    service().cleanupOldUpdates();
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("1.0/update.tar.gz"))));
}

TEST(UpdateTools, DownloadMarksAreDroppedAndOtherAttributesKept)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Pelorin/bin/pelorin"));
    writeBytes(file, "x");
    const QByteArray native = QFile::encodeName(file);
    for (const char* name : {"user.xdg.origin.url", "user.xdg.referrer.url", "user.kept"})
        if (::setxattr(native.constData(), name, "v", 1, 0) != 0)
            GTEST_SKIP() << "no user attributes on this file system";
    clearDownloadMarks(dir.filePath(QStringLiteral("Pelorin")));
    char value[8];
    EXPECT_LT(::getxattr(native.constData(), "user.xdg.origin.url", value, sizeof value), 0);
    EXPECT_LT(::getxattr(native.constData(), "user.xdg.referrer.url", value, sizeof value), 0);
    EXPECT_EQ(::getxattr(native.constData(), "user.kept", value, sizeof value), 1);
}

// "Check Now" in Settings runs the interactive check with the real message boxes, and the
// status line follows the updater.
TEST(ApplicationUpdates, CheckNowShowsTheStatusAndTheAlerts)
{
    UpdateSite site;
    ASSERT_TRUE(site.isRunning());
    TempSettings settings;
    settings.store().setValue(QLatin1String(SettingsKeys::updateSiteURL), site.base());
    ApplicationUpdates updates(settings.store());
    SettingsWindow window(settings.store());
    updates.attach(window);
    window.show();
    const auto messageBox = [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); };
    const auto button = [](QWidget* parent, const char* title) {
        for (QPushButton* candidate : parent->findChildren<QPushButton*>())
            if (candidate->text() == QLatin1String(title))
                return candidate;
        return static_cast<QPushButton*>(nullptr);
    };
    const auto statusShows = [&](const QString& text) {
        const QList<QLabel*> labels = window.findChildren<QLabel*>();
        return std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) { return label->text() == text; });
    };

    site.putFeed(QStringLiteral("0.0.1"), QStringLiteral("x"));
    button(&window, "Check Now")->click();
    ASSERT_TRUE(waitUntil([&] { return messageBox() != nullptr; }, 60'000));
    EXPECT_EQ(messageBox()->text(), QStringLiteral("You're up to date"));
    EXPECT_EQ(messageBox()->informativeText(), QStringLiteral("Pelorin " PELORIN_VERSION " is the latest version."));
    EXPECT_TRUE(statusShows(QStringLiteral("You're up to date.")));
    QTest::keyClick(messageBox(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return messageBox() == nullptr; }));

    // The offer: "Update Now" is the default; "Later" with the box ticked skips the version.
    site.putFeed(QStringLiteral("99.0"), QStringLiteral("x"));
    updates.checkAction()();
    ASSERT_TRUE(waitUntil([&] { return messageBox() != nullptr; }, 60'000));
    QMessageBox* offer = messageBox();
    EXPECT_EQ(offer->text(), QStringLiteral("Pelorin 99.0 is available"));
    EXPECT_TRUE(button(offer, "On Next Launch"));
    EXPECT_TRUE(statusShows(QStringLiteral("Version 99.0 is available.")));
    offer->checkBox()->setChecked(true);
    button(offer, "Later")->click();
    ASSERT_TRUE(waitUntil([&] { return updates.service().status().kind == UpdateStatus::Kind::idle; }));
    EXPECT_EQ(settings.store().stringValue(QLatin1String(SettingsKeys::skippedUpdateVersion)), QStringLiteral("99.0"));
}

// The whole update with real processes: "Update Now" in the offer the quiet check shows five
// seconds after start-up, or the next start after "On Next Launch", hands over to the installer,
// which replaces the folder and starts 9.9 detached. Where the copy cannot happen, it leaves (or
// puts back) the old folder and starts the old program again.
TEST(UpdateEndToEnd, TheInstallerReplacesTheFolderAndStartsTheNewVersionOrKeepsTheOldOne)
{
    enum Way { onNextLaunch, fullDisk, frozenParent, updateNow };
    const char* const names[] = {"on next launch", "copy fails part-way", "folder cannot be moved aside", "update now"};
    for (const Way way : {onNextLaunch, fullDisk, frozenParent, updateNow}) {
        SCOPED_TRACE(names[way]);
        InstalledPelorin installed;
        ASSERT_TRUE(installed.site.isRunning());
        QJsonArray members = releaseMembers(QStringLiteral("9.9"));
        if (way == fullDisk || way == frozenParent)
            members.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("Pelorin/share/pelorin/large")},
                                       {QStringLiteral("size"), 4 << 20}});
        if (way == updateNow)
            installed.publish(members);
        else
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
        if (way == frozenParent && !freeze(true))
            continue; // no immutable folders on this file system
        if (way == updateNow) {
            // Return takes the offer's default answer, "Update Now".
            installed.start(QStringLiteral("xcb"));
            const QStringList findOffer{QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--pid"), QString::number(installed.process.processId()),
                                        QStringLiteral("--name"), QStringLiteral("^Pelorin$")};
            QByteArray windows;
            ASSERT_TRUE(waitUntil([&] { return xdotool(findOffer, &windows); }, 60'000)) << "no offer appeared";
            // The window may still be settling when first seen; press again while the offer stays.
            for (int attempt = 0; attempt < 10 && xdotool(findOffer, &windows); ++attempt) {
                const QString dialog = QString::fromLatin1(windows.split('\n').first());
                xdotool({QStringLiteral("key"), QStringLiteral("--window"), dialog, QStringLiteral("Return")});
                waitUntil([] { return false; }, 500);
            }
            // xdotool presses the key of a focused window through the server's keyboard and sends
            // the release to the window; the dialog closes on the press, so the release never
            // reaches the server's keyboard. Left down, it would repeat into later tests' windows.
            xdotool({QStringLiteral("keyup"), QStringLiteral("Return")});
        } else {
            // Files may grow to 1 MiB on a full disk: the old program starts, the copy of the 4 MiB
            // file fails after the old folder was moved aside.
            installed.start(QStringLiteral("offscreen"), way == fullDisk ? 2048 : 0);
        }
        // QProcess::waitForFinished answers false for a process that ended while the event loop ran.
        ASSERT_TRUE(waitUntil([&] { return installed.process.state() == QProcess::NotRunning; }, 60'000))
            << "the old process did not hand over to the installer";
        // Consumed either way; a fresh read of the settings file, as the next start sees it.
        const SettingsStore stored(installed.settings.filePath());
        EXPECT_FALSE(stored.storedValue(QLatin1String(SettingsKeys::pendingUpdateVersion)).isValid());
        const QString marker = installed.folder() + QStringLiteral("/launched");
        if (way == fullDisk || way == frozenParent) {
            ASSERT_TRUE(waitUntil([&] { return installed.runningFromFolder() != 0; }, 30'000));
            EXPECT_EQ(readBytes(installed.folder() + QStringLiteral("/VERSION")), "0.1\n");
            EXPECT_EQ(QFileInfo(installed.folder() + QStringLiteral("/bin/pelorin")).size(), programSize);
            EXPECT_FALSE(QFileInfo::exists(marker));
        } else {
            EXPECT_EQ(installed.process.exitCode(), 0);
            EXPECT_TRUE(waitUntil([&] { return readBytes(marker).endsWith('\n'); }, 30'000));
            EXPECT_EQ(readBytes(installed.folder() + QStringLiteral("/VERSION")), "9.9\n");
            // Leading a session of its own, neither the old one's nor the installer's.
            const QString launched = QString::fromUtf8(readBytes(marker)).trimmed();
            EXPECT_TRUE(launched.startsWith(QLatin1String("started "))) << launched.toStdString();
            EXPECT_EQ(launched.section(u' ', -1), launched.section(u' ', -3, -3)) << launched.toStdString();
        }
        EXPECT_FALSE(QFileInfo::exists(installed.folder() + QStringLiteral(".old")));
    }
}
