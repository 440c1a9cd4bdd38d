#include "CloudTestServer.h"
#include "MemoryPasteboard.h"

#include "cloud/AccountService.h"
#include "cloud/CloudAPI.h"
#include "cloud/TaskOutcome.h"
#include "platform/SettingsKeys.h"
#include "platform/TokenStore.h"
#include "ui/SettingsWindow.h"
#include "ui/UploadHistoryWindow.h"
#include "ui/UploadSettingsSections.h"
#include "upload/UploadError.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace pelorin::test {
namespace {

class Alerts : public HistoryAlerts {
public:
    QStringList shown;
    void warning(const QString& message, const QString& informative) override { shown << message + u'|' + informative; }
};

// The upload and account services of one test, on their own files, pointed at the stand-in
// cloud service.
class UploadUi : public ::testing::Test {
protected:
    UploadUi()
    {
        api.setTimeout(std::chrono::seconds(10));
        store(SettingsKeys::cloudServerURL, server.baseUrl());
    }
    void SetUp() override { ASSERT_TRUE(server.isRunning()); }
    void signIn()
    {
        server.addSession(u"tok-1"_s, u"me@example.com"_s);
        tokens.setToken(u"tok-1"_s);
        store(SettingsKeys::cloudAccountEmail, u"me@example.com"_s);
    }
    QString configPath() const { return dir.filePath(u"upload-config.json"_s); }
    void store(const char* key, const QVariant& value) { settings.store().setValue(QLatin1String(key), value); }
    QVariant stored(const char* key) { return settings.store().storedValue(QLatin1String(key)); }
    // What the user does: pick an entry (`activated`, as a mouse or keyboard choice sends).
    static void choose(QComboBox* box, int index)
    {
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }

    UploadedFile entry(const QString& name, qint64 size, int daysAgo = 0, std::optional<QString> source = std::nullopt)
    {
        return {QUuid::createUuid(), name, u"key/"_s + name, u"https://cdn.example/"_s + name, noon.addDays(-daysAgo), size,
                source};
    }

    CloudTestServer server;
    TempSettings settings;
    MemoryTokenStore tokens;
    CloudAPI api{settings.store(), tokens};
    QTemporaryDir dir;
    UploadHistoryStore history{dir.filePath(u"uploads.json"_s), QString()};
    UploadService uploads{settings.store(), api, history, UploadConfigFile(configPath(), QString())};
    MemoryPasteboard pasteboard;
    Alerts alerts;
    const QDateTime noon{QDate(2026, 12, 5), QTime(12, 0), Qt::LocalTime};
};
using HistoryWindow = UploadUi;
using UploadSettings = UploadUi;

void waitUntilElapsed(const QElapsedTimer& start, qint64 ms)
{
    waitUntil([&] { return start.elapsed() >= ms; }, int(ms) + 1000);
}

const UploadConfig completeBucket{u"acct"_s, u"AKID"_s, u"secret"_s, u"shots"_s, u"https://cdn.example"_s};

// Newest first; a row outlives changes to the list with its state, and a second copy extends
// the check mark of the first. Dropped local files go to the window's handler. A cloud entry
// copies a fresh link while signed in. While a delete runs its button is off; a failed one
// warns and keeps the entry and its row.
TEST_F(HistoryWindow, ListsTheStoreNewestFirstAndItsRowsCopyTheRightLinkAndDeleteOrWarn)
{
    UploadHistoryWindow window({history, uploads, api, pasteboard, alerts});
    EXPECT_TRUE(window.showsEmptyState());
    EXPECT_TRUE(window.rows().isEmpty());

    const UploadedFile oldest = entry(u"a.png"_s, 1500, 2), middle = entry(u"b.pdf"_s, 2'500'000, 1);
    const UploadedFile newest = entry(u"c.zip"_s, 10);
    history.add(oldest);
    ASSERT_EQ(window.rows().size(), 1);
    UploadHistoryRow* oldestRow = window.rows().first();
    QElapsedTimer clock;
    clock.start();
    oldestRow->copyLink();
    ASSERT_TRUE(oldestRow->showsCopied());
    history.add(middle);
    history.add(newest);

    EXPECT_FALSE(window.showsEmptyState());
    const auto rows = window.rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0]->file(), newest);
    EXPECT_EQ(rows[1]->file(), middle);
    EXPECT_EQ(rows[2], oldestRow);
    EXPECT_TRUE(oldestRow->showsCopied());
    // The date, then the size in decimal units with one decimal.
    const QString detail = rows[1]->detailText();
    EXPECT_TRUE(detail.startsWith(u"4 Dec 2026, "_s) && detail.endsWith(u"  ·  2.5 MB"_s)) << detail.toStdString();

    waitUntilElapsed(clock, 1000);
    pasteboard.string.clear();
    oldestRow->copyLink();
    EXPECT_EQ(pasteboard.text(), u"https://cdn.example/a.png"_s);
    waitUntilElapsed(clock, 1500); // past the first copy's 1.2 s
    EXPECT_TRUE(oldestRow->showsCopied());
    waitUntilElapsed(clock, 2500);
    EXPECT_FALSE(oldestRow->showsCopied());

    history.remove(middle);
    ASSERT_EQ(window.rows().size(), 2);
    EXPECT_EQ(window.rows()[1]->file(), oldest);
    history.remove(newest);
    history.remove(oldest);
    EXPECT_TRUE(window.showsEmptyState());

    // Local files dropped on the window go to its handler, other links do not.
    QList<QStringList> received;
    window.setDropHandler([&](const QStringList& paths) { received << paths; });
    const QUrl remote(u"https://example.com/b.png"_s);
    // Whether the window takes the drag and then the drop.
    const auto drop = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &dropped);
        return dropped.isAccepted();
    };
    EXPECT_FALSE(drop({remote}));
    EXPECT_TRUE(drop({QUrl::fromLocalFile(u"/tmp/a.pdf"_s), remote, QUrl::fromLocalFile(u"/tmp/c d.png"_s)}));
    ASSERT_TRUE(waitUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, QList<QStringList>{(QStringList{u"/tmp/a.pdf"_s, u"/tmp/c d.png"_s})});

    const QString del = u"/v2/storage/objects/delete"_s;
    server.script({u"POST"_s, del, 200, "{\"ok\": true}", u"application/json"_s, 0.5});
    const QString stored = u"https://cdn.example/a.png"_s;
    const struct {
        const char* name;
        std::optional<QString> source;
        bool signedIn;
        QString copied;
        QString warning; // none: deleted
    } cases[] = {
        {"own bucket, none configured", std::nullopt, true, stored, UploadError::notConfigured().description()},
        {"cloud, signed out", u"cloud"_s, false, stored, u"Sign in to your Pelorin account in Settings → Account."_s},
        {"cloud, signed in", u"cloud"_s, true, u"https://share.example/key/a.png?expires=604800"_s, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tokens.setToken(std::nullopt);
        if (c.signedIn)
            signIn();
        alerts.shown.clear();
        const UploadedFile file = entry(u"a.png"_s, 1, 0, c.source);
        history.add(file);
        UploadHistoryRow* row = window.rows().first();
        pasteboard.string = u"before"_s;
        static_cast<QAbstractButton*>(row->copyButton())->click();
        ASSERT_TRUE(waitUntil([&] { return row->showsCopied(); }));
        EXPECT_EQ(pasteboard.text(), c.copied);

        auto* remove = static_cast<QAbstractButton*>(row->deleteButton());
        remove->click();
        if (c.warning.isEmpty()) {
            EXPECT_FALSE(remove->isEnabled());
            ASSERT_TRUE(waitUntil([&] { return history.files().isEmpty(); }));
            EXPECT_TRUE(window.showsEmptyState());
            EXPECT_TRUE(alerts.shown.isEmpty());
            EXPECT_EQ(server.count(u"POST"_s, del), 1);
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return !alerts.shown.isEmpty(); }));
        EXPECT_EQ(alerts.shown, QStringList{u"Delete Failed|"_s + c.warning});
        EXPECT_EQ(history.files(), QList<UploadedFile>{file});
        EXPECT_EQ(window.rows(), QList<UploadHistoryRow*>{row});
        EXPECT_TRUE(remove->isEnabled());
        history.remove(file);
    }

    // A row's icon shows the kind of file, by the content type of its name.
    const std::pair<const char*, UploadFileKind> kinds[] = {
        {"Screenshot.png", UploadFileKind::photo}, {"clip.mov", UploadFileKind::film},
        {"voice.mp3", UploadFileKind::waveform},   {"report.pdf", UploadFileKind::richText},
        {"notes.txt", UploadFileKind::text},       {"page.html", UploadFileKind::text},
        {"archive.zip", UploadFileKind::document},
    };
    for (const auto& [name, kind] : kinds)
        EXPECT_EQ(uploadFileKind(QLatin1String(name)), kind) << name;
}

// The upload toggle, with the clipboard picker that follows it, and the destination picker
// show what is in force now; the destination is stored only when the user picks one, and
// re-picking the entry already shown is a choice as well. The bucket form saves the fields
// exactly as typed when Save is pressed, and "Saved" shows for a while from the latest save.
// Saving moves a destination the user has not chosen. Showing the window refreshes the
// account, quietly.
TEST_F(UploadSettings, UploadsSectionShowsWhatIsInForceAndSavingTheBucketMovesAnUnchosenDestinationOnly)
{
    const struct {
        const char* name;
        std::optional<bool> storedUpload;
        std::optional<QString> storedDestination;
        bool bucketComplete;
        bool uploading;
        QString shown;
    } cases[] = {
        {"nothing stored, no bucket: the registered default (on), cloud", std::nullopt, std::nullopt, false, true, u"cloud"_s},
        {"uploads on, no choice, a complete bucket", true, std::nullopt, true, true, u"custom"_s},
        {"uploads off, cloud chosen over a complete bucket", false, u"cloud"_s, true, false, u"cloud"_s},
    };
    settings.store().registerDefaults(registeredDefaults());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings.store().remove(QLatin1String(SettingsKeys::uploadScreenshots));
        settings.store().remove(QLatin1String(SettingsKeys::uploadDestination));
        if (c.storedUpload)
            store(SettingsKeys::uploadScreenshots, *c.storedUpload);
        if (c.storedDestination)
            store(SettingsKeys::uploadDestination, *c.storedDestination);
        uploads.updateConfig(c.bucketComplete ? completeBucket : UploadConfig{});
        UploadsSection section(settings.store(), uploads);
        EXPECT_EQ(section.uploadToggle()->isChecked(), c.uploading);
        EXPECT_EQ(section.clipboardPicker()->isEnabled(), c.uploading);
        section.uploadToggle()->click();
        EXPECT_EQ(stored(SettingsKeys::uploadScreenshots).toBool(), !c.uploading);
        EXPECT_EQ(section.clipboardPicker()->isEnabled(), !c.uploading);
        // A change made elsewhere (another settings handle) reaches the controls too.
        store(SettingsKeys::uploadScreenshots, c.uploading);
        EXPECT_EQ(section.uploadToggle()->isChecked(), c.uploading);
        EXPECT_EQ(section.clipboardPicker()->isEnabled(), c.uploading);

        QComboBox* picker = section.destinationPicker();
        ASSERT_EQ(picker->count(), 2);
        EXPECT_EQ(picker->currentData().toString(), c.shown);
        EXPECT_EQ(picker->currentText(), c.shown == QLatin1String("cloud") ? u"Pelorin Cloud"_s : u"Your own S3 / R2"_s);
        EXPECT_EQ(stored(SettingsKeys::uploadDestination).toString(), c.storedDestination.value_or(QString()));
        choose(picker, picker->currentIndex());
        EXPECT_EQ(stored(SettingsKeys::uploadDestination).toString(), c.shown);
    }
    UploadsSection section(settings.store(), uploads);
    QComboBox* clipboard = section.clipboardPicker();
    ASSERT_EQ(clipboard->count(), 2);
    EXPECT_EQ(clipboard->itemText(0), u"Image"_s);
    EXPECT_EQ(clipboard->itemText(1), u"Public URL"_s);
    choose(clipboard, 1);
    EXPECT_EQ(stored(SettingsKeys::copyClipboardContent).toString(), u"url"_s);
    choose(clipboard, 0);
    EXPECT_EQ(stored(SettingsKeys::copyClipboardContent).toString(), u"image"_s);

    settings.store().remove(QLatin1String(SettingsKeys::uploadDestination));
    signIn();
    uploads.updateConfig({u"old-acct"_s, QString(), QString(), QString(), QString()});
    AccountService account(api, tokens, settings.store());
    SettingsWindow window(settings.store());
    const UploadSettingsSections sections = installUploadSettingsSections(window, settings.store(), account, tokens, uploads);
    const auto meRequests = [&] { return server.count(u"GET"_s, u"/v2/me"_s); };
    EXPECT_EQ(meRequests(), 0);
    for (int shown = 1; shown <= 2; ++shown) {
        window.show();
        EXPECT_TRUE(waitUntil([&] { return meRequests() == shown; })) << "showing " << shown;
        window.hide();
    }
    EXPECT_FALSE(account.statusMessage().has_value());

    StorageSection& form = *sections.storage;
    QComboBox* picker = sections.uploads->destinationPicker();
    ASSERT_EQ(picker->currentData().toString(), u"cloud"_s);
    EXPECT_EQ(form.accountIdField()->text(), u"old-acct"_s);
    EXPECT_EQ(form.secretField()->echoMode(), QLineEdit::Password);
    const auto fill = [&](const UploadConfig& config) {
        form.accountIdField()->setText(config.accountId);
        form.accessKeyIdField()->setText(config.accessKeyId);
        form.secretField()->setText(config.secretAccessKey);
        form.bucketField()->setText(config.bucketName);
        form.publicUrlField()->setText(config.publicUrl);
        form.endpointField()->setText(config.endpointURL);
        form.regionField()->setText(config.region);
    };
    fill({u" acct "_s, u"AKID"_s, u"s3cr+t/=="_s, u"shots"_s, u"https://cdn.example/"_s, u" https://s3.eu-west-1.amazonaws.com "_s,
          u"eu-west-1"_s});
    EXPECT_EQ(uploads.config().accountId, u"old-acct"_s) << "not saved before Save is pressed";
    EXPECT_FALSE(form.showsSaved());
    QElapsedTimer clock;
    clock.start();
    form.saveButton()->click();
    // Times count from when each save is done: writing the file may take a while on a busy machine.
    const qint64 first = clock.elapsed();
    EXPECT_EQ(uploads.config(), (UploadConfig{u" acct "_s, u"AKID"_s, u"s3cr+t/=="_s, u"shots"_s, u"https://cdn.example/"_s,
                                              u"https://s3.eu-west-1.amazonaws.com"_s, u"eu-west-1"_s}));
    // Without a choice, uploads now go to the bucket: the picker must not keep saying cloud.
    EXPECT_EQ(picker->currentData().toString(), u"custom"_s);
    EXPECT_TRUE(form.showsSaved());
    waitUntilElapsed(clock, first + 1000);
    form.save();
    const qint64 second = clock.elapsed();
    waitUntilElapsed(clock, first + 1600);
    EXPECT_TRUE(form.showsSaved()) << "past the first save's time, within the second's";
    waitUntilElapsed(clock, second + 1700);
    EXPECT_FALSE(form.showsSaved());

    fill({});
    form.save();
    EXPECT_EQ(picker->currentData().toString(), u"cloud"_s);
    // A stored choice stays whatever the bucket holds.
    choose(picker, picker->findData(u"cloud"_s));
    fill(completeBucket);
    form.save();
    EXPECT_EQ(picker->currentData().toString(), u"cloud"_s);

    // Unreadable settings are said so until saved again.
    ASSERT_TRUE(writeBytes(configPath(), "{\"accessKeyId\":"));
    UploadService damaged(settings.store(), api, history, UploadConfigFile(configPath(), QString()));
    StorageSection damagedForm(damaged);
    const QLabel* problem = damagedForm.problemLabel();
    EXPECT_FALSE(problem->isHidden());
    EXPECT_TRUE(problem->text().contains(u"could not be read"_s)) << problem->text().toStdString();
    EXPECT_EQ(test::outcome(damaged.uploadToCustomS3("x", u"x.png"_s)).error, problem->text());
    damagedForm.bucketField()->setText(u"shots"_s);
    damagedForm.saveButton()->click();
    EXPECT_TRUE(problem->isHidden());
    EXPECT_EQ(QDir(dir.path()).entryList({u"upload-config.unreadable-*.json"_s}).size(), 1);
}

// A sign-in shows only with a token; the address outlives an expired session and is offered
// for the next sign-in. Against the service: sign-in, sign-out and the status they leave.
TEST_F(UploadSettings, AccountControlsFollowTheTokenAndTheService)
{
    const struct {
        const char* name;
        bool token, storedEmail, signedIn;
        QString emailField;
        bool rejectedLater = false; // Analyze got a 401 while Settings was open
    } cases[] = {
        {"signed out", false, false, false, QString()},
        {"token and address", true, true, true, QString()},
        {"token without address", true, false, false, QString()},
        {"address without token", false, true, false, u"me@example.com"_s},
        {"token rejected elsewhere", true, true, false, u"me@example.com"_s, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tokens.setToken(c.token ? std::optional(u"tok-1"_s) : std::nullopt);
        settings.store().remove(QLatin1String(SettingsKeys::cloudAccountEmail));
        if (c.storedEmail)
            store(SettingsKeys::cloudAccountEmail, u"me@example.com"_s);
        AccountService account(api, tokens, settings.store());
        AccountSection section(account, tokens);
        if (c.rejectedLater)
            account.sessionRejected();
        EXPECT_EQ(section.signOutButton()->isVisibleTo(&section), c.signedIn);
        EXPECT_EQ(section.signInButton()->isVisibleTo(&section), !c.signedIn);
        EXPECT_EQ(section.emailField()->text(), c.emailField);
    }

    tokens.setToken(std::nullopt);
    settings.store().remove(QLatin1String(SettingsKeys::cloudAccountEmail));
    AccountService account(api, tokens, settings.store());
    AccountSection section(account, tokens);

    // Signing in and creating an account need both fields.
    for (const auto& [email, password] : {std::pair{"", ""}, {"new@example.com", ""}, {"", "pw"}, {"new@example.com", "pw"}}) {
        section.emailField()->setText(QLatin1String(email));
        section.passwordField()->setText(QLatin1String(password));
        const bool both = *email && *password;
        EXPECT_EQ(section.signInButton()->isEnabled(), both) << email << '/' << password;
        EXPECT_EQ(section.createAccountButton()->isEnabled(), both);
    }
    // A refused attempt leaves the service's message under the form and stores nothing; a
    // successful one clears it, stores the address and brings the summary by a quiet refresh.
    const struct {
        const char* name;
        bool create;
        const char* password;
        QString message; // empty: signed in
    } steps[] = {
        {"new account", true, "pw", {}},
        {"existing account", true, "pw", u"Pelorin Cloud error (409): An account with this email already exists."_s},
        {"wrong password", false, "wrong", u"Pelorin Cloud error (403): Wrong email or password."_s},
        {"right password", false, "pw", {}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        if (section.showsSignedIn()) {
            section.signOutButton()->click();
            ASSERT_TRUE(waitUntil([&] { return !section.showsSignedIn(); }));
            EXPECT_TRUE(section.signInButton()->isVisibleTo(&section));
        }
        section.emailField()->setText(u"new@example.com"_s);
        section.passwordField()->setText(QLatin1String(s.password));
        (s.create ? section.createAccountButton() : section.signInButton())->click();
        ASSERT_TRUE(waitUntil([&] {
            return !account.isBusy() && (section.showsSignedIn() ? !section.summaryLabel()->text().isEmpty()
                                                                 : !section.statusLabel()->text().isEmpty());
        }));
        EXPECT_EQ(section.statusLabel()->text(), s.message);
        EXPECT_EQ(section.showsSignedIn(), s.message.isEmpty());
        EXPECT_EQ(section.passwordField()->text().isEmpty(), s.message.isEmpty());
        EXPECT_EQ(stored(SettingsKeys::cloudAccountEmail).toString(), s.message.isEmpty() ? u"new@example.com"_s : QString());
        EXPECT_TRUE(!section.showsSignedIn() || section.summaryLabel()->text().contains(u"AI analyses today: 3 of 50"_s))
            << section.summaryLabel()->text().toStdString();
    }
}

} // namespace
} // namespace pelorin::test
