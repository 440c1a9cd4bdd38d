#include "platform/ClipboardJsonService.h"

#include "TestSupport.h"
#include "platform/Pasteboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>

using namespace pelorin;

namespace {

QString clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

struct Fixture {
    test::TempSettings settings;
    Pasteboard& pasteboard = systemPasteboard();
    ClipboardJsonService service{pasteboard, settings.store()};

    // Copies in another application and waits until this process has noticed the change. The
    // application holds the clipboard until another client takes over, or its QProcess ends it.
    std::unique_ptr<QProcess> copy(const QString& text, const QStringList& extraTypes)
    {
        const int before = pasteboard.changeCount();
        auto other = std::make_unique<QProcess>();
        other->start(QStringLiteral(CLIPBOARD_OWNER), QStringList{text} + extraTypes);
        EXPECT_TRUE(other->waitForStarted(5000));
        EXPECT_TRUE(test::waitUntil([&] { return pasteboard.changeCount() != before && clipboardText() == text; }));
        return other;
    }
};

} // namespace

// The running service rewrites a copy once, taking the clipboard over; one it must leave alone
// (the types the other application offers say so) keeps its owner and its text.
TEST(ClipboardJsonX11, CopiesFromOtherApplicationsAreRewrittenOrLeftAlone)
{
    const QString compact = QStringLiteral(R"({"b":1,"a":[true,{}],"s":"x, y: {z}"})");
    const QString formatted = QStringLiteral("{\n  \"b\": 1,\n  \"a\": [\n    true,\n    {}\n  ],\n  \"s\": \"x, y: {z}\"\n}");
    const struct { const char* name; QStringList extraTypes; bool rewritten; } cases[] = {
        {"plain JSON", {}, true},
        {"JSON from a password manager", {QStringLiteral("x-kde-passwordManagerHint")}, false},
        {"JSON next to a file list", {QStringLiteral("text/uri-list")}, false},
        {"JSON with an unrelated extra type", {QStringLiteral("application/x-test")}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.service.start();
        const auto other = f.copy(compact, c.extraTypes);
        const int seen = f.pasteboard.changeCount();
        if (c.rewritten) {
            ASSERT_TRUE(test::waitUntil([&] { return clipboardText() == formatted; }));
            EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard()) << "the other application's offer is gone";
            const int written = f.pasteboard.changeCount();
            f.service.tick();
            EXPECT_EQ(f.pasteboard.changeCount(), written) << "its own write is left alone";
        } else {
            f.service.tick();
            EXPECT_EQ(clipboardText(), compact);
            EXPECT_EQ(f.pasteboard.changeCount(), seen);
            EXPECT_EQ(other->state(), QProcess::Running);
        }
    }
}
