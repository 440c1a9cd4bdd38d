#include "TaskOutcome.h"

#include "cloud/KeychainStore.h"
#include "platform/AppPaths.h"

#include <gtest/gtest.h>

using namespace pelorin;
using namespace Qt::StringLiterals;

namespace {

const QString service = QString::fromLatin1(applicationId);

void run(QCoro::Task<void> task)
{
    const auto result = test::outcome(std::move(task));
    ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
}

std::optional<QString> readBack()
{
    KeychainStore fresh(service);
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

    KeychainStore store(service);
    run(store.load());
    store.setToken(u"tok-first"_s); // replaced before it is written
    const std::optional<QString> tokens[] = {u"tok-ünï ✓"_s, u"tok-second"_s, std::nullopt};
    for (const auto& token : tokens) {
        store.setToken(token);
        EXPECT_EQ(store.token(), token);
        run(store.flush());
        EXPECT_EQ(readBack(), token);
    }
}

TEST(KeychainStore, AnUnreachableKeyringReadsAsSignedOut)
{
    // No session bus at all: the keyring cannot answer.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/pelorin-test-bus");
    KeychainStore store(service);
    store.setOperationTimeout(std::chrono::seconds(5));
    run(store.load());
    EXPECT_TRUE(store.isLoaded());
    EXPECT_EQ(store.token(), std::nullopt);

    // Writes still count for this run.
    store.setToken(u"tok"_s);
    EXPECT_EQ(store.token(), u"tok"_s);
    run(store.flush());
}
