#include "platform/ClipboardJsonService.h"

#include "TestSupport.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>

using namespace pelorin;

namespace {

const QString compact = QStringLiteral(R"({"b":1,"a":[true,{}],"s":"x, y: {z}"})");
const QString formatted = QStringLiteral("{\n  \"b\": 1,\n  \"a\": [\n    true,\n    {}\n  ],\n  \"s\": \"x, y: {z}\"\n}");

// Another X client holding the clipboard: xclip for plain text, our helper when the copy
// carries extra types (xclip offers one type only).
class OtherApplication {
public:
    OtherApplication(const QString& text, const QStringList& extraTypes = {})
    {
        if (extraTypes.isEmpty()) {
            // -quiet keeps xclip in the foreground, serving until another client takes over.
            m_process.start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                                      QStringLiteral("clipboard"), QStringLiteral("-i")});
            m_process.write(text.toUtf8());
            m_process.closeWriteChannel();
        } else {
            m_process.start(QStringLiteral(CLIPBOARD_OWNER), QStringList{text} + extraTypes);
        }
        m_started = m_process.waitForStarted(5000);
    }

    ~OtherApplication()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool started() const { return m_started; }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
    bool m_started = false;
};

QString clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

struct Fixture {
    test::TempSettings settings;
    Pasteboard& pasteboard = systemPasteboard();
    ClipboardJsonService service{pasteboard, settings.store()};

    // Copies in another application and waits until this process has noticed the change.
    std::unique_ptr<OtherApplication> copy(const QString& text, const QStringList& extraTypes = {})
    {
        const int before = pasteboard.changeCount();
        auto other = std::make_unique<OtherApplication>(text, extraTypes);
        EXPECT_TRUE(other->started());
        EXPECT_TRUE(test::waitUntil([&] { return pasteboard.changeCount() != before && clipboardText() == text; }));
        return other;
    }
};

} // namespace

TEST(ClipboardJsonX11, CopiesFromOtherApplicationsAreRewrittenOrLeftAlone)
{
    struct Case {
        const char* name;
        QString text;
        QStringList extraTypes;
        bool enabled;
        bool rewritten;
    };
    const Case cases[] = {
        {"plain JSON", compact, {}, true, true},
        {"already formatted", formatted, {}, true, false},
        {"JSON from a password manager", compact, {QStringLiteral("x-kde-passwordManagerHint")}, true, false},
        {"JSON next to a file list", compact, {QStringLiteral("text/uri-list")}, true, false},
        {"JSON with an unrelated extra type", compact, {QStringLiteral("application/x-test")}, true, true},
        {"formatting switched off", compact, {}, false, false},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.settings.store().setValue(QString::fromLatin1(SettingsKeys::formatCopiedJSON), c.enabled);
        const auto other = f.copy(c.text, c.extraTypes);
        const int seen = f.pasteboard.changeCount();
        f.service.tick();
        if (c.rewritten) {
            EXPECT_EQ(clipboardText(), formatted) << c.name;
            // The other application's offer, rich types and all, is gone.
            EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard()) << c.name;
        } else {
            EXPECT_EQ(clipboardText(), c.text) << c.name;
            EXPECT_EQ(f.pasteboard.changeCount(), seen) << c.name;
            EXPECT_TRUE(other->running()) << c.name;
        }
    }
}

TEST(ClipboardJsonX11, TimerRewritesOnceAndNotItsOwnWrite)
{
    Fixture f;
    f.service.start();
    const auto other = f.copy(compact);
    ASSERT_TRUE(test::waitUntil([] { return clipboardText() == formatted; }));
    const int afterWrite = f.pasteboard.changeCount();
    // A few more ticks: nothing left to do.
    test::waitUntil([] { return false; }, 1500);
    EXPECT_EQ(f.pasteboard.changeCount(), afterWrite);
    EXPECT_EQ(clipboardText(), formatted);
}
