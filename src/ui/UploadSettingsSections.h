#pragma once

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pelorin {

class AccountService;
class SettingsStore;
class SettingsWindow;
class TokenStore;
class UploadService;

// The Pelorin Cloud account controls: e-mail and password sign-in, account creation and the
// browser sign-in while signed out; the address, the account summary and Sign Out while
// signed in; the service's status line under both.
class AccountSection : public QWidget {
    Q_OBJECT
public:
    AccountSection(AccountService& account, TokenStore& tokens, QWidget* parent = nullptr);

    bool showsSignedIn() const;
    QLineEdit* emailField() const { return m_email; }
    QLineEdit* passwordField() const { return m_password; }
    QPushButton* signInButton() const { return m_signIn; }
    QPushButton* createAccountButton() const { return m_createAccount; }
    QPushButton* googleButton() const { return m_google; }
    QPushButton* cancelGoogleButton() const { return m_cancelGoogle; }
    QPushButton* signOutButton() const { return m_signOut; }
    QLabel* statusLabel() const { return m_status; }
    QLabel* summaryLabel() const { return m_summary; }

public Q_SLOTS:
    // Call each time the settings window is shown.
    void refreshQuietly();

private:
    void sync();

    AccountService& m_account;
    TokenStore& m_tokens;
    QWidget* m_signedOutPage = nullptr;
    QWidget* m_signedInPage = nullptr;
    QLineEdit* m_email = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_signIn = nullptr;
    QPushButton* m_createAccount = nullptr;
    QPushButton* m_google = nullptr;
    QPushButton* m_cancelGoogle = nullptr;
    QLabel* m_signedInAs = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_signOut = nullptr;
    QLabel* m_status = nullptr;
};

// Whether and where screenshots upload, and what Ctrl+C leaves on the clipboard.
class UploadsSection : public QWidget {
    Q_OBJECT
public:
    UploadsSection(SettingsStore& settings, UploadService& uploads, QWidget* parent = nullptr);

    static QString footerText();

    QCheckBox* uploadToggle() const { return m_upload; }
    QComboBox* destinationPicker() const { return m_destination; }
    QComboBox* clipboardPicker() const { return m_clipboard; }

public Q_SLOTS:
    // Without a stored choice the destination follows the bucket settings, so the picker is
    // brought up to date after they are saved.
    void showCurrentDestination();

private:
    void syncUploadToggle();
    void syncClipboardPicker();

    SettingsStore& m_settings;
    UploadService& m_uploads;
    QCheckBox* m_upload = nullptr;
    QComboBox* m_destination = nullptr;
    QComboBox* m_clipboard = nullptr;
};

// The user's own S3-compatible bucket: five fields edited on a copy of the configuration and
// written only by Save.
class StorageSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int savedIndicatorMs = 1400;

    explicit StorageSection(UploadService& uploads, QWidget* parent = nullptr);

    static QString footerText();

    QLineEdit* accountIdField() const { return m_accountId; }
    QLineEdit* accessKeyIdField() const { return m_accessKeyId; }
    QLineEdit* secretField() const { return m_secret; }
    QLineEdit* bucketField() const { return m_bucket; }
    QLineEdit* publicUrlField() const { return m_publicUrl; }
    QLineEdit* endpointField() const { return m_endpoint; }
    QLineEdit* regionField() const { return m_region; }
    QPushButton* saveButton() const { return m_save; }
    bool showsSaved() const;
    // Why the stored upload settings could not be read; hidden when they could.
    QLabel* problemLabel() const { return m_problem; }

Q_SIGNALS:
    void configSaved();

public Q_SLOTS:
    void save();

private:
    UploadService& m_uploads;
    QLabel* m_problem = nullptr;
    QLineEdit* m_accountId = nullptr;
    QLineEdit* m_accessKeyId = nullptr;
    QLineEdit* m_secret = nullptr;
    QLineEdit* m_bucket = nullptr;
    QLineEdit* m_publicUrl = nullptr;
    QLineEdit* m_endpoint = nullptr;
    QLineEdit* m_region = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_saved = nullptr;
    QTimer m_savedTimer;
};

// The three sections placed into the settings window, with their footers, wired to each
// other, and the account refreshed quietly every time the window is shown.
struct UploadSettingsSections {
    AccountSection* account;
    UploadsSection* uploads;
    StorageSection* storage;
};
UploadSettingsSections installUploadSettingsSections(SettingsWindow& window, SettingsStore& settings,
                                                     AccountService& account, TokenStore& tokens,
                                                     UploadService& uploads);

} // namespace pelorin
