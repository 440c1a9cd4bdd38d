#include "UpdateFixture.h"

#include "app/update/ApplicationUpdates.h"
#include "app/update/UpdateDownload.h"
#include "app/update/UpdateService.h"
#include "app/update/UpdateTools.h"
#include "platform/SettingsKeys.h"
#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <sys/xattr.h>

using namespace pelorin;

namespace {

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

using test::readBytes;
using test::writeBytes;

class UpdateServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.isRunning());
        writeBytes(appFolder() + QStringLiteral("/VERSION"), "1.4\n");
        writeBytes(appFolder() + QStringLiteral("/bin/pelorin"), "#!/bin/sh\n");
        QFile::setPermissions(appFolder() + QStringLiteral("/bin/pelorin"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        settings.store().setValue(key(SettingsKeys::updateSiteURL), site.base());
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
        const auto result = test::outcome(service().check(interactive), 60'000);
        ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
    }

    QString status() { return service().status().text(); }

    test::TempSettings settings;
    QTemporaryDir dir;
    test::UpdateSite site;
    test::RecordingPrompts prompts;
    bool installable = true;
    QStringList installs;
    int terminations = 0;

private:
    std::unique_ptr<UpdateService> m_service;
};

} // namespace

TEST_F(UpdateServiceTest, CheckOutcomesAndAlerts)
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QString unreachable = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    // feed empty: no feed file (404 page).
    struct Case { const char* name; QByteArray feed; bool reachable; bool interactive; QString status; QStringList alerts; };
    const QString unreadable = QStringLiteral("The update feed couldn't be read.");
    const QStringList failed{QStringLiteral("Update check failed|") + unreadable};
    const std::vector<Case> cases = {
        {"up to date", R"({"version": "1.4.0", "dmg_url": "x.tar.gz"})", true, true, QStringLiteral("You're up to date."),
         {QStringLiteral("You're up to date|Pelorin 1.4 is the latest version.")}},
        {"up to date, quiet", R"({"version": "1.3", "dmg_url": "x.tar.gz"})", true, false, QStringLiteral("You're up to date."), {}},
        {"not JSON", "<html>oops</html>", true, true, unreadable, failed},
        {"404 page", "", true, true, unreadable, failed},
        {"missing dmg_url", R"({"version": "2.0"})", true, true, unreadable, failed},
        {"version not a string", R"({"version": 2, "dmg_url": "x"})", true, false, unreadable, {}},
        {"unreachable, quiet", "", false, false, QStringLiteral("Connection refused"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.alerts.clear();
        QFile::remove(QDir(site.site()).filePath(QStringLiteral("version.json")));
        if (!c.feed.isEmpty())
            site.put(QStringLiteral("version.json"), c.feed);
        settings.store().setValue(key(SettingsKeys::updateSiteURL), c.reachable ? site.base() : unreachable);
        settings.store().remove(key(SettingsKeys::lastUpdateCheckAt));
        check(c.interactive);
        EXPECT_EQ(status(), c.status);
        EXPECT_EQ(prompts.alerts, c.alerts);
        EXPECT_TRUE(prompts.offers.isEmpty());
        // Written when the check starts, whatever it finds.
        EXPECT_NEAR(settings.store().doubleValue(key(SettingsKeys::lastUpdateCheckAt), 0),
                    QDateTime::currentMSecsSinceEpoch() / 1000.0, 60);
    }
}

// Quiet checks honour a skipped version, asking explicitly offers it again. "Update Now" hands the
// staged folder to the installer and quits; its ticked box skips later quiet offers all the same.
TEST_F(UpdateServiceTest, OffersFollowTheAnswerAndTheSkippedVersion)
{
    site.putFeed(QStringLiteral("1.10"), QStringLiteral("x.tar.gz"));
    settings.store().setValue(key(SettingsKeys::skippedUpdateVersion), QStringLiteral("1.10"));
    check(false);
    EXPECT_EQ(service().status().kind, UpdateStatus::Kind::idle);
    EXPECT_TRUE(prompts.offers.isEmpty());
    prompts.answer = {UpdatePrompts::Choice::later, false};
    check(true);
    EXPECT_EQ(prompts.offers, QStringList{QStringLiteral("1.10/1.4")});
    EXPECT_EQ(service().status().kind, UpdateStatus::Kind::idle);

    site.putArchive(QStringLiteral("Pelorin-1.11.tar.gz"), test::releaseMembers(QStringLiteral("1.11")));
    site.putFeed(QStringLiteral("1.11"), QStringLiteral("Pelorin-1.11.tar.gz"));
    prompts.answer = {UpdatePrompts::Choice::updateNow, true};
    check(false);
    EXPECT_EQ(installs, QStringList{QStringLiteral("4242 %1 %2/1.11/Pelorin").arg(appFolder(), stagingRoot())});
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(settings.store().contains(key(SettingsKeys::pendingUpdateVersion)));
    check(false);
    EXPECT_EQ(prompts.offers.size(), 2);
}

TEST_F(UpdateServiceTest, AutomaticCheckRunsOnlyWhenDue)
{
    site.putFeed(QStringLiteral("1.4"), QStringLiteral("x.tar.gz"));
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    // secondsSinceLastCheck < 0: never checked.
    struct Case { const char* name; bool enabled; double secondsSinceLastCheck; bool checks; };
    const Case cases[] = {
        {"never checked", true, -1, true},
        {"21 hours ago", true, 21 * 3600, true},
        {"19 hours ago", true, 19 * 3600, false},
        {"switched off", false, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        settings.store().setValue(key(SettingsKeys::autoCheckForUpdates), c.enabled);
        if (c.secondsSinceLastCheck < 0)
            settings.store().remove(key(SettingsKeys::lastUpdateCheckAt));
        else
            settings.store().setValue(key(SettingsKeys::lastUpdateCheckAt), now - c.secondsSinceLastCheck);
        restart();
        service().autoCheckIfDue();
        const auto checked = [&] { return service().status().kind == UpdateStatus::Kind::upToDate; };
        test::waitUntil(checked, c.checks ? 30'000 : 500);
        EXPECT_EQ(checked(), c.checks);
    }
    EXPECT_TRUE(prompts.alerts.empty());
}

TEST_F(UpdateServiceTest, StagingFailuresReportTheirMessageAndLeaveNoMount)
{
    const QString sameVersion = site.putArchive(QStringLiteral("same.tar.gz"), test::releaseMembers(QStringLiteral("1.4")));
    // A launcher without the program it starts is no app either.
    const QString noApp = site.putArchive(QStringLiteral("noapp.tar.gz"),
                                          {test::member(QStringLiteral("Pelorin/VERSION"), QStringLiteral("2.0\n")),
                                           test::member(QStringLiteral("Pelorin/bin/pelorin"), QStringLiteral("#!/bin/sh\n"), 0755)});
    QJsonArray escaping = test::releaseMembers(QStringLiteral("2.0"));
    escaping.append(test::member(QStringLiteral("Pelorin/../../escaped"), QStringLiteral("outside")));
    site.putArchive(QStringLiteral("dotdot.tar.gz"), escaping);
    QJsonArray absolute = test::releaseMembers(QStringLiteral("2.0"));
    absolute.append(test::member(dir.filePath(QStringLiteral("absolute")), QStringLiteral("outside")));
    site.putArchive(QStringLiteral("absolute.tar.gz"), absolute);
    site.putArchive(QStringLiteral("good.tar.gz"), test::releaseMembers(QStringLiteral("2.0")));
    site.put(QStringLiteral("broken.tar.gz"), "not a gzip stream");
    for (const char* kind : {"chardev", "fifo"}) {
        QJsonArray special = test::releaseMembers(QStringLiteral("2.0"));
        special.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("Pelorin/dev")}, {QStringLiteral("type"), QLatin1String(kind)}});
        site.putArchive(QLatin1String(kind) + QStringLiteral(".tar.gz"), special);
    }

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
        EXPECT_FALSE(settings.store().contains(key(SettingsKeys::pendingUpdateVersion)));
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
    const auto result = test::outcome(downloadToFile(QUrl(site.base() + QStringLiteral("big.tar.gz")), path, 1000), 30'000);
    EXPECT_EQ(result.error, QStringLiteral("The update download is larger than 1000 bytes; it was refused."));
    EXPECT_LE(QFileInfo(path).size(), 1000);
}

TEST_F(UpdateServiceTest, PendingUpdateAtStartUp)
{
    const QString staged = stagingRoot() + QStringLiteral("/2.0/Pelorin");
    writeBytes(staged + QStringLiteral("/VERSION"), "2.0\n");
    writeBytes(staged + QStringLiteral("/bin/pelorin"), "#!/bin/sh\n");
    writeBytes(staged + QStringLiteral("/libexec/pelorin/pelorin-app"), "#!/bin/sh\n");
    const QString older = stagingRoot() + QStringLiteral("/2.1/Pelorin");
    for (const char* file : {"bin/pelorin", "libexec/pelorin/pelorin-app"})
        writeBytes(older + u'/' + QLatin1String(file), "#!/bin/sh\n");
    writeBytes(older + QStringLiteral("/VERSION"), "1.0\n");
    struct Case { const char* name; QString version; QString path; bool installable; bool installs; };
    const Case cases[] = {
        {"newer and staged", QStringLiteral("2.0"), staged, true, true},
        {"the setting names a newer version than the folder holds", QStringLiteral("2.1"), older, true, false},
        {"not newer", QStringLiteral("1.4"), staged, true, false},
        {"staged folder gone", QStringLiteral("2.0"), staged + QStringLiteral("-gone"), true, false},
        {"not a complete folder", QStringLiteral("2.0"), staged + QStringLiteral("/bin"), true, false},
        {"running from a build tree", QStringLiteral("2.0"), staged, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installs.clear();
        settings.store().setValues({{key(SettingsKeys::pendingUpdateVersion), c.version},
                                    {key(SettingsKeys::pendingUpdateAppPath), c.path}});
        installable = c.installable;
        restart();
        EXPECT_EQ(service().installStagedUpdateIfPending(), c.installs);
        EXPECT_EQ(installs, c.installs ? QStringList{QStringLiteral("4242 %1 %2").arg(appFolder(), staged)} : QStringList{});
        // Consumed either way, so a failing install is not retried at every start.
        EXPECT_FALSE(settings.store().contains(key(SettingsKeys::pendingUpdateVersion)));
        EXPECT_FALSE(settings.store().contains(key(SettingsKeys::pendingUpdateAppPath)));
    }
}

// Start-up clean-up removes only the updater's own leftovers: older or unfinished staging
// folders, never anything else, never through a link.
TEST_F(UpdateServiceTest, CleanupRemovesOnlyTheUpdatersOwnLeftovers)
{
    const QString complete = stagingRoot() + QStringLiteral("/2.0/Pelorin");
    for (const char* file : {"VERSION", "bin/pelorin", "libexec/pelorin/pelorin-app"})
        writeBytes(complete + u'/' + QLatin1String(file), "x");
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
    test::UpdateSite site;
    ASSERT_TRUE(site.isRunning());
    test::TempSettings settings;
    settings.store().setValue(key(SettingsKeys::updateSiteURL), site.base());
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
    ASSERT_TRUE(test::waitUntil([&] { return messageBox() != nullptr; }, 60'000));
    EXPECT_EQ(messageBox()->text(), QStringLiteral("You're up to date"));
    EXPECT_EQ(messageBox()->informativeText(), QStringLiteral("Pelorin " PELORIN_VERSION " is the latest version."));
    EXPECT_TRUE(statusShows(QStringLiteral("You're up to date.")));
    QTest::keyClick(messageBox(), Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return messageBox() == nullptr; }));

    // The offer: "Update Now" is the default; "Later" with the box ticked skips the version.
    site.putFeed(QStringLiteral("99.0"), QStringLiteral("x"));
    updates.checkAction()();
    ASSERT_TRUE(test::waitUntil([&] { return updates.service().status().kind == UpdateStatus::Kind::available; }, 60'000))
        << updates.service().status().text().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return messageBox() != nullptr; }, 60'000));
    QMessageBox* offer = messageBox();
    EXPECT_EQ(offer->text(), QStringLiteral("Pelorin 99.0 is available"));
    EXPECT_EQ(offer->defaultButton(), button(offer, "Update Now"));
    EXPECT_TRUE(button(offer, "On Next Launch"));
    EXPECT_TRUE(statusShows(QStringLiteral("Version 99.0 is available.")));
    offer->checkBox()->setChecked(true);
    button(offer, "Later")->click();
    ASSERT_TRUE(test::waitUntil([&] { return updates.service().status().kind == UpdateStatus::Kind::idle; }));
    EXPECT_EQ(settings.store().stringValue(key(SettingsKeys::skippedUpdateVersion)), QStringLiteral("99.0"));
}
