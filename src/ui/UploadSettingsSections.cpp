#include "ui/UploadSettingsSections.h"

#include "cloud/AccountService.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "ui/SettingsWindow.h"
#include "upload/UploadDestination.h"
#include "upload/UploadService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace pelorin {

namespace {

QLabel* secondaryLabel(const QString& text = {})
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QHBoxLayout* labelledRow(const QString& title, QWidget* control)
{
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(title));
    row->addStretch();
    row->addWidget(control);
    return row;
}

QString byteCount(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

// The account summary in the words of the settings screen; empty until the first refresh.
QString summaryText(const std::optional<CloudMe>& me)
{
    if (!me)
        return {};
    QStringList lines;
    if (me->storage.configured) {
        const QString files = me->storage.objectCount == 1 ? QStringLiteral("1 file")
                                                           : QStringLiteral("%1 files").arg(me->storage.objectCount);
        lines << QStringLiteral("Storage: %1 of %2 used · %3")
                     .arg(byteCount(me->storage.usedBytes), byteCount(me->storage.quotaBytes), files);
    } else {
        lines << QStringLiteral("Storage: not available for this account");
    }
    lines << QStringLiteral("AI analyses today: %1 of %2").arg(me->ai.usedToday).arg(me->ai.dailyLimit);
    if (!me->emailVerified)
        lines << QStringLiteral("E-mail address not verified yet");
    return lines.join(u'\n');
}

// Shows the group's footer under the group frame, as the window's own sections do.
void addFooterBelow(QVBoxLayout* section, const QString& text)
{
    QWidget* group = section->parentWidget();
    auto* sections = group && group->parentWidget() ? qobject_cast<QVBoxLayout*>(group->parentWidget()->layout()) : nullptr;
    const int index = sections ? sections->indexOf(group) : -1;
    if (index < 0) {
        section->addWidget(secondaryLabel(text));
        return;
    }
    sections->insertWidget(index + 1, secondaryLabel(text));
}

// Runs `slot` every time `watched` is shown.
class ShowWatcher : public QObject {
public:
    ShowWatcher(QWidget* watched, std::function<void()> slot)
        : QObject(watched)
        , m_slot(std::move(slot))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            m_slot();
        return false;
    }

private:
    std::function<void()> m_slot;
};

} // namespace

// ---------------------------------------------------------------------------------------------

AccountSection::AccountSection(AccountService& account, TokenStore& tokens, QWidget* parent)
    : QWidget(parent)
    , m_account(account)
    , m_tokens(tokens)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_signedOutPage = new QWidget;
    auto* out = new QVBoxLayout(m_signedOutPage);
    out->setContentsMargins(0, 0, 0, 0);
    m_email = new QLineEdit;
    m_email->setPlaceholderText(QStringLiteral("E-mail"));
    m_password = new QLineEdit;
    m_password->setPlaceholderText(QStringLiteral("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    out->addWidget(m_email);
    out->addWidget(m_password);
    auto* buttons = new QHBoxLayout;
    m_signIn = new QPushButton(QStringLiteral("Sign In"));
    m_signIn->setDefault(true);
    m_createAccount = new QPushButton(QStringLiteral("Create Account"));
    buttons->addWidget(m_signIn);
    buttons->addWidget(m_createAccount);
    buttons->addStretch();
    out->addLayout(buttons);
    auto* google = new QHBoxLayout;
    m_google = new QPushButton(QStringLiteral("Sign in with Google"));
    m_cancelGoogle = new QPushButton(QStringLiteral("Cancel"));
    google->addWidget(m_google);
    google->addWidget(m_cancelGoogle);
    google->addStretch();
    out->addLayout(google);
    layout->addWidget(m_signedOutPage);

    // Two pages shown one at a time, not a stack: a stack would keep the taller form's
    // height under the short signed-in page.
    m_signedInPage = new QWidget;
    auto* in = new QVBoxLayout(m_signedInPage);
    in->setContentsMargins(0, 0, 0, 0);
    m_signedInAs = new QLabel;
    m_signedInAs->setTextInteractionFlags(Qt::TextSelectableByMouse);
    in->addLayout(labelledRow(QStringLiteral("Signed in as"), m_signedInAs));
    m_summary = secondaryLabel();
    in->addWidget(m_summary);
    m_signOut = new QPushButton(QStringLiteral("Sign Out"));
    auto* signOutRow = new QHBoxLayout;
    signOutRow->addWidget(m_signOut);
    signOutRow->addStretch();
    in->addLayout(signOutRow);
    layout->addWidget(m_signedInPage);

    m_status = secondaryLabel();
    layout->addWidget(m_status);

    // Each task is started from here but may finish after the window is gone; the service
    // outlives the window, so the task needs nothing from this widget.
    const auto signIn = [this] {
        if (m_signIn->isEnabled())
            m_account.signIn(m_email->text(), m_password->text());
    };
    connect(m_signIn, &QPushButton::clicked, this, signIn);
    connect(m_password, &QLineEdit::returnPressed, this, signIn);
    connect(m_createAccount, &QPushButton::clicked, this,
            [this] { m_account.signUp(m_email->text(), m_password->text()); });
    connect(m_google, &QPushButton::clicked, this, [this] { m_account.signInWithGoogle(); });
    connect(m_cancelGoogle, &QPushButton::clicked, this, [this] { m_account.cancelGoogleSignIn(); });
    connect(m_signOut, &QPushButton::clicked, this, [this] { m_account.signOut(); });
    connect(m_email, &QLineEdit::textChanged, this, &AccountSection::sync);
    connect(m_password, &QLineEdit::textChanged, this, &AccountSection::sync);
    connect(&m_account, &AccountService::changed, this, &AccountSection::sync);

    // A remembered address whose token is gone (expired session, keyring reset) is no
    // sign-in: offer it in the form instead of showing it as signed in.
    if (!showsSignedIn())
        m_email->setText(m_account.accountEmail().value_or(QString()));
    sync();
}

bool AccountSection::showsSignedIn() const
{
    return m_account.accountEmail().has_value() && m_tokens.token().has_value();
}

void AccountSection::refreshQuietly()
{
    m_account.refresh(true);
}

void AccountSection::sync()
{
    const bool signedIn = showsSignedIn();
    const bool wasSignedIn = !m_signedInPage->isHidden();
    m_signedInPage->setVisible(signedIn);
    m_signedOutPage->setVisible(!signedIn);
    if (signedIn && !wasSignedIn)
        m_password->clear();
    // A session that just ended offers its address for signing in again.
    if (!signedIn && wasSignedIn && m_email->text().isEmpty())
        m_email->setText(m_account.accountEmail().value_or(QString()));

    const bool busy = m_account.isBusy();
    const bool waiting = m_account.isWaitingForGoogle();
    const bool filled = !m_email->text().isEmpty() && !m_password->text().isEmpty();
    m_email->setEnabled(!busy);
    m_password->setEnabled(!busy);
    m_signIn->setEnabled(filled && !busy && !waiting);
    m_createAccount->setEnabled(filled && !busy && !waiting);
    m_google->setEnabled(!busy && !waiting);
    m_google->setVisible(!waiting);
    m_cancelGoogle->setVisible(waiting);

    m_signedInAs->setText(m_account.accountEmail().value_or(QString()));
    const QString summary = summaryText(m_account.me());
    m_summary->setText(summary);
    m_summary->setVisible(!summary.isEmpty());
    m_signOut->setEnabled(!busy);

    const QString status = m_account.statusMessage().value_or(QString());
    m_status->setText(status);
    m_status->setVisible(!status.isEmpty());
}

// ---------------------------------------------------------------------------------------------

UploadsSection::UploadsSection(SettingsStore& settings, UploadService& uploads, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_uploads(uploads)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_upload = new QCheckBox(QStringLiteral("Upload screenshots when copying or saving"));
    layout->addWidget(m_upload);

    m_destination = new QComboBox;
    for (UploadDestination destination : allUploadDestinations())
        m_destination->addItem(label(destination), rawValue(destination));
    layout->addLayout(labelledRow(QStringLiteral("Upload to"), m_destination));

    m_clipboard = new QComboBox;
    m_clipboard->addItem(QStringLiteral("Image"), QStringLiteral("image"));
    m_clipboard->addItem(QStringLiteral("Public URL"), QStringLiteral("url"));
    layout->addLayout(labelledRow(QStringLiteral("Copy (Ctrl+C) puts on clipboard"), m_clipboard));

    syncUploadToggle();
    showCurrentDestination();
    syncClipboardPicker();

    const QString uploadKey = QLatin1String(SettingsKeys::uploadScreenshots);
    const QString destinationKey = QLatin1String(SettingsKeys::uploadDestination);
    const QString clipboardKey = QLatin1String(SettingsKeys::copyClipboardContent);
    connect(m_upload, &QCheckBox::toggled, this, [this, uploadKey](bool on) {
        if (m_settings.boolValue(uploadKey, !on) != on)
            m_settings.setValue(uploadKey, on);
        m_clipboard->setEnabled(on);
    });
    // `activated` and not `currentIndexChanged`: picking the destination already shown is
    // still a choice, and must be stored so it no longer follows the bucket settings.
    connect(m_destination, &QComboBox::activated, this,
            [this, destinationKey] { m_settings.setValue(destinationKey, m_destination->currentData().toString()); });
    connect(m_clipboard, &QComboBox::activated, this,
            [this, clipboardKey] { m_settings.setValue(clipboardKey, m_clipboard->currentData().toString()); });
    connect(&m_settings, &SettingsStore::changed, this, [=, this](const QString& key) {
        if (key == uploadKey)
            syncUploadToggle();
        else if (key == destinationKey)
            showCurrentDestination();
        else if (key == clipboardKey)
            syncClipboardPicker();
    });
}

QString UploadsSection::footerText()
{
    return QStringLiteral(
        "Pelorin Cloud stores uploads in your account; your own S3 / R2 bucket uses the storage details below. "
        "Files dropped on the Uploads window or opened with Pelorin are uploaded too — images open in the editor "
        "instead. Past uploads are listed under Uploads… in the tray menu.");
}

void UploadsSection::showCurrentDestination()
{
    m_destination->setCurrentIndex(m_destination->findData(rawValue(m_uploads.currentDestination())));
}

void UploadsSection::syncUploadToggle()
{
    const char* key = SettingsKeys::uploadScreenshots;
    const bool on = m_settings.boolValue(QLatin1String(key), settingDefault(key).toBool());
    m_upload->setChecked(on);
    m_clipboard->setEnabled(on);
}

void UploadsSection::syncClipboardPicker()
{
    const char* key = SettingsKeys::copyClipboardContent;
    const int index = m_clipboard->findData(m_settings.stringValue(QLatin1String(key), settingDefault(key).toString()));
    m_clipboard->setCurrentIndex(index < 0 ? 0 : index);
}

// ---------------------------------------------------------------------------------------------

StorageSection::StorageSection(UploadService& uploads, QWidget* parent)
    : QWidget(parent)
    , m_uploads(uploads)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Settings that are there but could not be read are said so, not shown as never entered.
    m_problem = secondaryLabel(uploads.configProblem());
    m_problem->setStyleSheet(QStringLiteral("color: #f87171"));
    m_problem->setVisible(!uploads.configProblem().isEmpty());
    layout->addWidget(m_problem);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const UploadConfig config = uploads.config();
    const auto field = [form](const QString& title, const QString& value, const QString& placeholder) {
        auto* edit = new QLineEdit(value);
        edit->setPlaceholderText(placeholder);
        form->addRow(title, edit);
        return edit;
    };
    m_accountId = field(QStringLiteral("Account ID"), config.accountId, QStringLiteral("Cloudflare account ID"));
    m_accessKeyId = field(QStringLiteral("Access Key ID"), config.accessKeyId, {});
    m_secret = field(QStringLiteral("Secret Access Key"), config.secretAccessKey, {});
    m_secret->setEchoMode(QLineEdit::Password);
    m_bucket = field(QStringLiteral("Bucket Name"), config.bucketName, {});
    m_publicUrl = field(QStringLiteral("Public URL"), config.publicUrl, QStringLiteral("https://files.example.com"));
    // Other S3-compatible providers (AWS, MinIO, Backblaze…) name their endpoint instead of an
    // account id; AWS also needs the bucket's region for the signature.
    m_endpoint = field(QStringLiteral("Endpoint"), config.endpointURL, QStringLiteral("Optional: https://s3.eu-west-1.amazonaws.com"));
    m_region = field(QStringLiteral("Region"), config.region, QStringLiteral("auto"));
    layout->addLayout(form);

    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch();
    m_saved = secondaryLabel(QStringLiteral("✓ Saved"));
    m_saved->setWordWrap(false);
    m_saved->setVisible(false);
    saveRow->addWidget(m_saved);
    m_save = new QPushButton(QStringLiteral("Save"));
    saveRow->addWidget(m_save);
    layout->addLayout(saveRow);

    // One restartable timer: a second Save shortly after the first keeps the indicator up
    // for the full time instead of letting the first Save's timeout take it down early.
    m_savedTimer.setSingleShot(true);
    m_savedTimer.setInterval(savedIndicatorMs);
    connect(&m_savedTimer, &QTimer::timeout, this, [this] { m_saved->setVisible(false); });
    connect(m_save, &QPushButton::clicked, this, &StorageSection::save);
}

QString StorageSection::footerText()
{
    return QStringLiteral("Find these in your storage provider's dashboard under API tokens. The public URL is the "
                          "address the bucket's files are served from; uploaded links start with it. Cloudflare R2 "
                          "needs the account ID; other providers need the endpoint instead, and AWS the bucket's "
                          "region. The keys are kept in Pelorin's data folder, readable only by you.");
}

bool StorageSection::showsSaved() const
{
    return m_saved->isVisibleTo(this);
}

void StorageSection::save()
{
    m_uploads.updateConfig({m_accountId->text(), m_accessKeyId->text(), m_secret->text(), m_bucket->text(),
                            m_publicUrl->text(), m_endpoint->text().trimmed(), m_region->text().trimmed()});
    m_problem->setVisible(!m_uploads.configProblem().isEmpty());
    m_saved->setVisible(true);
    m_savedTimer.start();
    Q_EMIT configSaved();
}

// ---------------------------------------------------------------------------------------------

UploadSettingsSections installUploadSettingsSections(SettingsWindow& window, SettingsStore& settings,
                                                     AccountService& account, TokenStore& tokens,
                                                     UploadService& uploads)
{
    UploadSettingsSections sections{new AccountSection(account, tokens), new UploadsSection(settings, uploads),
                                    new StorageSection(uploads)};
    window.accountSection()->addWidget(sections.account);
    window.uploadsSection()->addWidget(sections.uploads);
    addFooterBelow(window.uploadsSection(), UploadsSection::footerText());
    window.storageSection()->addWidget(sections.storage);
    addFooterBelow(window.storageSection(), StorageSection::footerText());
    QObject::connect(sections.storage, &StorageSection::configSaved, sections.uploads,
                     &UploadsSection::showCurrentDestination);
    new ShowWatcher(&window, [account = QPointer<AccountSection>(sections.account)] {
        if (account)
            account->refreshQuietly();
    });
    return sections;
}

} // namespace pelorin
