#pragma once

#include "CloudTestServer.h"
#include "MemoryPasteboard.h"
#include "TestSupport.h"

#include "cloud/AccountService.h"
#include "cloud/CloudAPI.h"
#include "platform/TokenStore.h"
#include "platform/SettingsKeys.h"
#include "upload/UploadHistoryStore.h"
#include "upload/UploadService.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <memory>

namespace pelorin::test {

// The upload and account services of one test, on their own files, pointed at the stand-in
// cloud service (started only by tests that need it).
class UploadUi : public ::testing::Test {
protected:
    UploadUi() { api.setTimeout(std::chrono::seconds(10)); }

    CloudTestServer& startServer()
    {
        server = std::make_unique<CloudTestServer>();
        settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), server->baseUrl());
        return *server;
    }
    void signIn(const QString& token = QStringLiteral("tok-1"), const QString& email = QStringLiteral("me@example.com"))
    {
        if (server)
            server->addSession(token, email);
        tokens.setToken(token);
        settings.store().setValue(QLatin1String(SettingsKeys::cloudAccountEmail), email);
    }
    QString configPath() const { return dir.filePath(QStringLiteral("upload-config.json")); }

    std::unique_ptr<CloudTestServer> server;
    TempSettings settings;
    MemoryTokenStore tokens;
    CloudAPI api{settings.store(), tokens};
    QTemporaryDir dir;
    UploadHistoryStore history{dir.filePath(QStringLiteral("uploads.json")), QString()};
    UploadService uploads{settings.store(), api, history, UploadConfigFile(configPath(), QString())};
    MemoryPasteboard pasteboard;
};

// Runs the event loop until `ms` milliseconds have passed since `start`.
inline void waitUntilElapsed(const QElapsedTimer& start, int ms)
{
    waitUntil([&] { return start.elapsed() >= ms; }, ms + 1000);
}

inline const UploadConfig completeBucket{QStringLiteral("acct"), QStringLiteral("AKID"), QStringLiteral("secret"),
                                         QStringLiteral("shots"), QStringLiteral("https://cdn.example")};

} // namespace pelorin::test
