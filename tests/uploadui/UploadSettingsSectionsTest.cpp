#include "UploadUiFixture.h"
#include "cloud/TaskOutcome.h"

#include "ui/SettingsWindow.h"
#include "ui/UploadSettingsSections.h"

#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace pelorin;
using namespace pelorin::test;

namespace {

class UploadSettings : public UploadUi {
protected:
    void store(const char* key, const QVariant& value) { settings.store().setValue(QLatin1String(key), value); }
    QVariant stored(const char* key) { return settings.store().storedValue(QLatin1String(key)); }
    // What the user does: pick an entry (`activated`, as a mouse or keyboard choice sends).
    static void choose(QComboBox* box, int index)
    {
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
};

} // namespace

// The upload toggle, with the clipboard picker that follows it, and the destination picker
// show what is in force now; the destination is stored only when the user picks one, and
// re-picking the entry already shown is a choice as well.
TEST_F(UploadSettings, UploadsSectionShowsWhatIsInForceAndStoresOnlyAPick)
{
    struct Case {
        const char* name;
        std::optional<bool> storedUpload;
        std::optional<QString> storedDestination;
        bool bucketComplete;
        bool uploading;
        QString shown;
    };
    const Case cases[] = {
        {"nothing stored, no bucket: the registered default (on), cloud", std::nullopt, std::nullopt, false, true,
         QStringLiteral("cloud")},
        {"uploads on, no choice, a complete bucket", true, std::nullopt, true, true, QStringLiteral("custom")},
        {"uploads off, cloud chosen over a complete bucket", false, QStringLiteral("cloud"), true, false, QStringLiteral("cloud")},
    };
    settings.store().registerDefaults(registeredDefaults());
    for (const Case& c : cases) {
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
        EXPECT_EQ(picker->currentText(), c.shown == QLatin1String("cloud") ? QStringLiteral("Pelorin Cloud") : QStringLiteral("Your own S3 / R2"));
        EXPECT_EQ(stored(SettingsKeys::uploadDestination).toString(), c.storedDestination.value_or(QString()));
        choose(picker, picker->currentIndex());
        EXPECT_EQ(stored(SettingsKeys::uploadDestination).toString(), c.shown);
    }
    UploadsSection section(settings.store(), uploads);
    QComboBox* clipboard = section.clipboardPicker();
    ASSERT_EQ(clipboard->count(), 2);
    EXPECT_EQ(clipboard->itemText(0), QStringLiteral("Image"));
    EXPECT_EQ(clipboard->itemText(1), QStringLiteral("Public URL"));
    choose(clipboard, 1);
    EXPECT_EQ(stored(SettingsKeys::copyClipboardContent).toString(), QStringLiteral("url"));
    choose(clipboard, 0);
    EXPECT_EQ(stored(SettingsKeys::copyClipboardContent).toString(), QStringLiteral("image"));
}

// The bucket form saves the fields exactly as typed when Save is pressed, and "Saved" shows
// for a while from the latest save. Saving moves a destination the user has not chosen.
TEST_F(UploadSettings, SavingTheBucketStoresItAsTypedAndMovesAnUnchosenDestinationOnly)
{
    uploads.updateConfig({QStringLiteral("old-acct"), QString(), QString(), QString(), QString()});
    AccountService account(api, tokens, settings.store());
    SettingsWindow window(settings.store());
    const UploadSettingsSections sections = installUploadSettingsSections(window, settings.store(), account, tokens, uploads);
    StorageSection& form = *sections.storage;
    QComboBox* picker = sections.uploads->destinationPicker();
    ASSERT_EQ(picker->currentData().toString(), QStringLiteral("cloud"));
    EXPECT_EQ(form.accountIdField()->text(), QStringLiteral("old-acct"));
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
    fill({QStringLiteral(" acct "), QStringLiteral("AKID"), QStringLiteral("s3cr+t/=="), QStringLiteral("shots"),
          QStringLiteral("https://cdn.example/"), QStringLiteral(" https://s3.eu-west-1.amazonaws.com "), QStringLiteral("eu-west-1")});
    EXPECT_EQ(uploads.config().accountId, QStringLiteral("old-acct")) << "not saved before Save is pressed";
    EXPECT_FALSE(form.showsSaved());
    QElapsedTimer clock;
    clock.start();
    form.saveButton()->click();
    // Times count from when each save is done: writing the file may take a while on a busy machine.
    const qint64 first = clock.elapsed();
    EXPECT_EQ(uploads.config(), (UploadConfig{QStringLiteral(" acct "), QStringLiteral("AKID"), QStringLiteral("s3cr+t/=="),
                                              QStringLiteral("shots"), QStringLiteral("https://cdn.example/"),
                                              QStringLiteral("https://s3.eu-west-1.amazonaws.com"), QStringLiteral("eu-west-1")}));
    // Without a choice, uploads now go to the bucket: the picker must not keep saying cloud.
    EXPECT_EQ(picker->currentData().toString(), QStringLiteral("custom"));
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
    EXPECT_EQ(picker->currentData().toString(), QStringLiteral("cloud"));
    // A stored choice stays whatever the bucket holds.
    choose(picker, picker->findData(QStringLiteral("cloud")));
    fill(completeBucket);
    form.save();
    EXPECT_EQ(picker->currentData().toString(), QStringLiteral("cloud"));
}

// Damaged upload settings are said to be unreadable, and the damaged file is kept aside when
// the user saves new ones.
TEST_F(UploadSettings, UnreadableBucketSettingsAreSaidSoUntilSavedAgain)
{
    ASSERT_TRUE(writeBytes(configPath(), "{\"accessKeyId\":"));
    UploadService damaged(settings.store(), api, history, UploadConfigFile(configPath(), QString()));
    StorageSection form(damaged);
    EXPECT_FALSE(form.problemLabel()->isHidden());
    EXPECT_TRUE(form.problemLabel()->text().contains(QStringLiteral("could not be read"))) << form.problemLabel()->text().toStdString();
    EXPECT_EQ(test::outcome(damaged.uploadToCustomS3("x", QStringLiteral("x.png"))).error, form.problemLabel()->text());
    form.bucketField()->setText(QStringLiteral("shots"));
    form.saveButton()->click();
    EXPECT_TRUE(form.problemLabel()->isHidden());
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("upload-config.unreadable-*.json")}).size(), 1);
}

TEST_F(UploadSettings, AccountControlsShowASignInOnlyWithAToken)
{
    struct Case {
        const char* name;
        bool token;
        bool storedEmail;
        bool signedIn;
        QString emailField;
        bool rejectedLater = false; // Analyze got a 401 while Settings was open
    };
    const Case cases[] = {
        {"signed out", false, false, false, QString()},
        {"token and address", true, true, true, QString()},
        // The address outlives an expired session; it is offered for the next sign-in.
        {"address without token", false, true, false, QStringLiteral("me@example.com")},
        {"token rejected elsewhere", true, true, false, QStringLiteral("me@example.com"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tokens.setToken(std::nullopt);
        settings.store().remove(QLatin1String(SettingsKeys::cloudAccountEmail));
        if (c.storedEmail)
            store(SettingsKeys::cloudAccountEmail, QStringLiteral("me@example.com"));
        if (c.token)
            tokens.setToken(QStringLiteral("tok-1"));
        AccountService account(api, tokens, settings.store());
        AccountSection section(account, tokens);
        if (c.rejectedLater)
            account.sessionRejected();
        EXPECT_EQ(section.showsSignedIn(), c.signedIn);
        EXPECT_EQ(section.signOutButton()->isVisibleTo(&section), c.signedIn);
        EXPECT_EQ(section.signInButton()->isVisibleTo(&section), !c.signedIn);
        EXPECT_EQ(section.emailField()->text(), c.emailField);
    }
}

TEST_F(UploadSettings, AccountSignInSignOutAndStatusAgainstTheService)
{
    CloudTestServer& cloud = startServer();
    ASSERT_TRUE(cloud.isRunning());
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
    // A new account, then the summary that the quiet refresh after sign-in brings.
    section.createAccountButton()->click();
    ASSERT_TRUE(waitUntil([&] { return section.showsSignedIn() && !section.summaryLabel()->text().isEmpty(); }));
    EXPECT_TRUE(section.passwordField()->text().isEmpty());
    EXPECT_TRUE(section.summaryLabel()->text().contains(QStringLiteral("AI analyses today: 3 of 50")))
        << section.summaryLabel()->text().toStdString();

    section.signOutButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !section.showsSignedIn(); }));
    EXPECT_TRUE(section.signInButton()->isVisibleTo(&section));

    // A wrong password leaves the service's message under the form.
    section.emailField()->setText(QStringLiteral("new@example.com"));
    section.passwordField()->setText(QStringLiteral("wrong"));
    section.signInButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !section.statusLabel()->text().isEmpty() && !account.isBusy(); }));
    EXPECT_TRUE(section.statusLabel()->text().contains(QStringLiteral("Wrong email or password.")))
        << section.statusLabel()->text().toStdString();
    EXPECT_FALSE(section.showsSignedIn());
}

TEST_F(UploadSettings, ShowingTheSettingsWindowRefreshesTheAccount)
{
    CloudTestServer& cloud = startServer();
    ASSERT_TRUE(cloud.isRunning());
    signIn();
    AccountService account(api, tokens, settings.store());
    SettingsWindow window(settings.store());
    installUploadSettingsSections(window, settings.store(), account, tokens, uploads);
    const auto meRequests = [&] { return cloud.count(QStringLiteral("GET"), QStringLiteral("/v2/me")); };
    EXPECT_EQ(meRequests(), 0);
    for (int shown = 1; shown <= 2; ++shown) {
        window.show();
        EXPECT_TRUE(waitUntil([&] { return meRequests() == shown; })) << "showing " << shown;
        window.hide();
    }
    // Quiet: no status line, even when the refresh fails.
    EXPECT_FALSE(account.statusMessage().has_value());
}
