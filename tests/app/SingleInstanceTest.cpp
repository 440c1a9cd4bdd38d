#include "TestSupport.h"

#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QUuid>

#include <atomic>
#include <thread>

using namespace pelorin;

TEST(SingleInstance, ALaterStartHandsItsFilesToTheRunningOne)
{
    const QString name = QStringLiteral("pelorin-test-") + QUuid::createUuid().toString(QUuid::Id128);
    EXPECT_FALSE(SingleInstance(name).sendToRunningInstance({QStringLiteral("/tmp/a.png")}, 300)) << "nobody runs yet";

    SingleInstance running(name);
    ASSERT_TRUE(running.listen());
    EXPECT_FALSE(SingleInstance(name).listen()) << "the name is taken while the first one answers";
    QSignalSpy received(&running, &SingleInstance::filesReceived);
    // The later start blocks while it sends, as a second process would; the running one
    // answers from its event loop here.
    std::atomic<bool> delivered = false;
    std::thread later([&] {
        delivered = SingleInstance(name).sendToRunningInstance({QStringLiteral("/tmp/a b.png"), QStringLiteral("/tmp/ü.pdf")}, 5000);
    });
    const bool arrived = test::waitUntil([&] { return received.count() == 1; }, 8000);
    test::waitUntil([&] { return delivered.load(); }, 3000);
    later.join();
    ASSERT_TRUE(arrived);
    EXPECT_TRUE(delivered);
    EXPECT_EQ(received.at(0).at(0).toStringList(), (QStringList{QStringLiteral("/tmp/a b.png"), QStringLiteral("/tmp/ü.pdf")}));
}
