#include "TaskOutcome.h"

#include "cloud/KeychainStore.h"
#include "platform/AppPaths.h"

#include <gtest/gtest.h>

using namespace pelorin;

namespace {

void run(QCoro::Task<void> task)
{
    const auto result = test::outcome(std::move(task));
    ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
}

std::optional<QString> readBack()
{
    KeychainStore fresh(QString::fromLatin1(applicationId));
    run(fresh.load());
    return fresh.token();
}

} // namespace

// Needs a Secret Service: run through tests/cloud/run-keyring-test.sh (CTest does).
TEST(KeychainIntegration, TokenIsWrittenReplacedAndDeletedInTheKeyring)
{
    if (qEnvironmentVariableIsEmpty("PELORIN_KEYRING_SESSION"))
        GTEST_SKIP() << "runs inside run-keyring-test.sh";

    EXPECT_EQ(readBack(), std::nullopt);

    KeychainStore store(QString::fromLatin1(applicationId));
    run(store.load());
    store.setToken(QStringLiteral("tok-first"));
    store.setToken(QStringLiteral("tok-ünï ✓")); // replaces the first before it is written
    EXPECT_EQ(store.token(), QStringLiteral("tok-ünï ✓"));
    run(store.flush());
    EXPECT_EQ(readBack(), QStringLiteral("tok-ünï ✓"));

    store.setToken(QStringLiteral("tok-second"));
    run(store.flush());
    EXPECT_EQ(readBack(), QStringLiteral("tok-second"));

    store.setToken(std::nullopt);
    run(store.flush());
    EXPECT_EQ(readBack(), std::nullopt);
}

TEST(KeychainStore, AnUnreachableKeyringReadsAsSignedOut)
{
    // No session bus at all: the keyring cannot answer.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/pelorin-test-bus");
    KeychainStore store(QString::fromLatin1(applicationId));
    store.setOperationTimeout(std::chrono::seconds(5));
    run(store.load());
    EXPECT_TRUE(store.isLoaded());
    EXPECT_EQ(store.token(), std::nullopt);

    // Writes still count for this run.
    store.setToken(QStringLiteral("tok"));
    EXPECT_EQ(store.token(), QStringLiteral("tok"));
    run(store.flush());
}
