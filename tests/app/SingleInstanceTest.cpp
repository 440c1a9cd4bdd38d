#include "TestSupport.h"

#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>

#include <atomic>
#include <thread>

#include <unistd.h>

using namespace pelorin;

namespace {

// Sends from a thread of its own, which blocks as a later process would, while the running
// instance answers from this thread's event loop; true once `arrived` and the send succeeded.
bool sendFromALaterStart(const std::function<bool()>& send, const std::function<bool()>& arrived)
{
    std::atomic<bool> delivered = false;
    std::thread later([&] { delivered = send(); });
    const bool received = test::waitUntil(arrived, 8000);
    test::waitUntil([&] { return delivered.load(); }, 3000);
    later.join();
    return received && delivered;
}

} // namespace

// Files, capture and pin requests from a later `pelorin …` reach the running one, each as
// what it is: only files bring the editor forward.
TEST(SingleInstance, ALaterStartHandsItsRequestToTheRunningOne)
{
    const QString name = QStringLiteral("pelorin-test-") + QUuid::createUuid().toString(QUuid::Id128);
    EXPECT_FALSE(SingleInstance(name).sendToRunningInstance({QStringLiteral("/tmp/a.png")}, 300)) << "nobody runs yet";
    SingleInstance running(name);
    ASSERT_TRUE(running.listen());
    EXPECT_FALSE(SingleInstance(name).listen()) << "the name is taken while the first one answers";
    QSignalSpy files(&running, &SingleInstance::filesReceived);
    QSignalSpy captures(&running, &SingleInstance::captureRequested);
    QSignalSpy pins(&running, &SingleInstance::pinRequested);
    const QStringList sent{QStringLiteral("/tmp/a b.png"), QStringLiteral("/tmp/ü.pdf")};
    ASSERT_TRUE(sendFromALaterStart([&] { return SingleInstance(name).sendToRunningInstance(sent, 5000); },
                                    [&] { return files.count() == 1; }));
    EXPECT_EQ(files.at(0).at(0).toStringList(), sent);
    const QVariantMap request{{QStringLiteral("mode"), QStringLiteral("monitor")}, {QStringLiteral("monitor"), 2},
                              {QStringLiteral("delay"), 3.5}};
    ASSERT_TRUE(sendFromALaterStart([&] { return SingleInstance(name).sendCaptureRequest(request, 5000); },
                                    [&] { return captures.count() == 1; }));
    EXPECT_EQ(captures.at(0).at(0).toMap(), request);
    ASSERT_TRUE(sendFromALaterStart([&] { return SingleInstance(name).sendPinRequest({QStringLiteral("/tmp/a.png")}, 5000); },
                                    [&] { return pins.count() == 1; }));
    EXPECT_EQ(pins.at(0).at(0).toStringList(), QStringList{QStringLiteral("/tmp/a.png")});
    EXPECT_EQ(files.count(), 1) << "neither request brings the editor forward";
}

TEST(SingleInstance, TheSocketBelongsToTheUserAndTheDisplay)
{
    QTemporaryDir runtime;
    const auto nameFor = [&](std::initializer_list<std::pair<const char*, const char*>> variables) {
        QProcessEnvironment env;
        for (const auto& [key, value] : variables)
            env.insert(QLatin1String(key), QLatin1String(value));
        return SingleInstance::defaultName(env);
    };
    const QByteArray dir = runtime.path().toLocal8Bit();
    const QString x0 = nameFor({{"XDG_RUNTIME_DIR", dir.constData()}, {"DISPLAY", ":0"}});
    const QString wayland = nameFor({{"XDG_RUNTIME_DIR", dir.constData()}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-1"}});
    EXPECT_EQ(QFileInfo(x0).path(), runtime.path());
    EXPECT_EQ(QFileInfo(wayland).path(), runtime.path());
    EXPECT_NE(x0, nameFor({{"XDG_RUNTIME_DIR", dir.constData()}, {"DISPLAY", ":1"}})) << "a second X display";
    EXPECT_NE(x0, wayland) << "a Wayland session beside an X one";
    EXPECT_NE(wayland, nameFor({{"XDG_RUNTIME_DIR", dir.constData()}, {"WAYLAND_DISPLAY", "/run/other/wayland-1x"}}));
    // Without a runtime folder the user id keeps users apart in the shared temporary folder.
    const QString fallback = nameFor({{"DISPLAY", ":0"}});
    EXPECT_EQ(QFileInfo(fallback).path(), QDir::tempPath());
    EXPECT_TRUE(fallback.endsWith(u'-' + QString::number(getuid()))) << fallback.toStdString();
}
