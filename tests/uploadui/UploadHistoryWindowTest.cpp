#include "UploadUiFixture.h"

#include "ui/UploadHistoryWindow.h"
#include "upload/UploadError.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QUrl>

using namespace pelorin;
using namespace pelorin::test;

namespace {

class Alerts : public HistoryAlerts {
public:
    QStringList shown;
    void warning(const QString& message, const QString& informative) override { shown << message + u'|' + informative; }
};

UploadedFile entry(const QString& name, qint64 size, const QDateTime& date, std::optional<QString> source = std::nullopt)
{
    return {QUuid::createUuid(), name, QStringLiteral("key/") + name, QStringLiteral("https://cdn.example/") + name,
            date, size, std::move(source)};
}

class HistoryWindow : public UploadUi {
protected:
    UploadHistoryServices services() { return {history, uploads, api, pasteboard, alerts}; }
    UploadHistoryRow* onlyRow(UploadHistoryWindow& window)
    {
        const auto rows = window.rows();
        return rows.size() == 1 ? rows.first() : nullptr;
    }

    Alerts alerts;
    const QDateTime noon{QDate(2026, 12, 5), QTime(12, 0), Qt::LocalTime};
};

} // namespace

TEST(UploadFileKind, ChosenByTheContentTypeOfTheName)
{
    const std::pair<const char*, UploadFileKind> cases[] = {
        {"Screenshot.png", UploadFileKind::photo},   {"photo.JPEG", UploadFileKind::photo},
        {"clip.mov", UploadFileKind::film},          {"clip.mp4", UploadFileKind::film},
        {"voice.mp3", UploadFileKind::waveform},     {"report.pdf", UploadFileKind::richText},
        {"notes.txt", UploadFileKind::text},         {"page.html", UploadFileKind::text},
        {"archive.zip", UploadFileKind::document},   {"README", UploadFileKind::document},
    };
    for (const auto& [name, kind] : cases)
        EXPECT_EQ(uploadFileKind(QLatin1String(name)), kind) << name;
}

TEST_F(HistoryWindow, ListsTheStoreNewestFirstOrShowsTheEmptyStateAndRowsKeepTheirState)
{
    UploadHistoryWindow window(services());
    EXPECT_TRUE(window.showsEmptyState());
    EXPECT_TRUE(window.rows().isEmpty());

    const UploadedFile oldest = entry(QStringLiteral("a.png"), 1500, noon.addDays(-2));
    const UploadedFile middle = entry(QStringLiteral("b.pdf"), 2'500'000, noon.addDays(-1));
    const UploadedFile newest = entry(QStringLiteral("c.zip"), 10, noon);
    history.add(oldest);
    UploadHistoryRow* oldestRow = onlyRow(window);
    ASSERT_TRUE(oldestRow);
    oldestRow->copyLink();
    ASSERT_TRUE(oldestRow->showsCopied());
    history.add(middle);
    history.add(newest);

    EXPECT_FALSE(window.showsEmptyState());
    const auto rows = window.rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0]->file(), newest);
    EXPECT_EQ(rows[1]->file(), middle);
    EXPECT_EQ(rows[2], oldestRow) << "a row outlives changes to the list, with its state";
    EXPECT_TRUE(oldestRow->showsCopied());
    // The date, then the size in decimal units with one decimal.
    const QString detail = rows[1]->detailText();
    EXPECT_TRUE(detail.startsWith(QStringLiteral("4 Dec 2026, ")) && detail.endsWith(QStringLiteral("  ·  2.5 MB")))
        << detail.toStdString();

    history.remove(middle);
    ASSERT_EQ(window.rows().size(), 2);
    EXPECT_EQ(window.rows()[1]->file(), oldest);
    history.remove(newest);
    history.remove(oldest);
    EXPECT_TRUE(window.showsEmptyState());
}

TEST_F(HistoryWindow, CopyLinkPutsTheRightLinkOnTheClipboard)
{
    CloudTestServer& cloud = startServer();
    ASSERT_TRUE(cloud.isRunning());
    struct Case {
        const char* name;
        std::optional<QString> source;
        bool signedIn;
        QString copied;
    };
    const Case cases[] = {
        {"own bucket: the stored link", std::nullopt, true, QStringLiteral("https://cdn.example/a.png")},
        {"cloud, signed in: a fresh week-long link", QStringLiteral("cloud"), true,
         QStringLiteral("https://share.example/key/a.png?expires=604800")},
        {"cloud, signed out: the stored link", QStringLiteral("cloud"), false, QStringLiteral("https://cdn.example/a.png")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tokens.setToken(std::nullopt);
        if (c.signedIn)
            signIn();
        const UploadedFile file = entry(QStringLiteral("a.png"), 1, noon, c.source);
        history.add(file);
        UploadHistoryWindow window(services());
        UploadHistoryRow* row = window.rows().first();
        pasteboard.string = QStringLiteral("before");
        static_cast<QAbstractButton*>(row->copyButton())->click();
        ASSERT_TRUE(waitUntil([&] { return row->showsCopied(); }));
        EXPECT_EQ(pasteboard.text(), c.copied);
        history.remove(file);
    }
}

TEST_F(HistoryWindow, ASecondCopyExtendsTheCheckMark)
{
    history.add(entry(QStringLiteral("a.png"), 1, noon));
    UploadHistoryWindow window(services());
    UploadHistoryRow* row = onlyRow(window);
    ASSERT_TRUE(row);
    QElapsedTimer clock;
    clock.start();
    row->copyLink();
    EXPECT_TRUE(row->showsCopied());
    waitUntilElapsed(clock, 1000);
    pasteboard.string.clear();
    row->copyLink();
    EXPECT_EQ(pasteboard.text(), QStringLiteral("https://cdn.example/a.png"));
    waitUntilElapsed(clock, 1500); // past the first copy's 1.2 s
    EXPECT_TRUE(row->showsCopied());
    waitUntilElapsed(clock, 2500);
    EXPECT_FALSE(row->showsCopied());
}

// While a delete runs its button is off; a failed one warns and keeps the entry and its row.
TEST_F(HistoryWindow, DeleteDisablesTheButtonThenDropsTheRowOrWarns)
{
    CloudTestServer& cloud = startServer();
    ASSERT_TRUE(cloud.isRunning());
    signIn();
    const QString del = QStringLiteral("/v2/storage/objects/delete");
    cloud.script({QStringLiteral("POST"), del, 200, "{\"ok\": true}", QStringLiteral("application/json"), 0.5});
    // An own-bucket entry with no bucket configured: the uploader refuses.
    for (const std::optional<QString>& source : {std::optional(QStringLiteral("cloud")), std::optional<QString>()}) {
        SCOPED_TRACE(source.value_or(QStringLiteral("own bucket")).toStdString());
        const UploadedFile file = entry(QStringLiteral("a.png"), 1, noon, source);
        history.add(file);
        UploadHistoryWindow window(services());
        UploadHistoryRow* row = onlyRow(window);
        ASSERT_TRUE(row);
        auto* remove = static_cast<QAbstractButton*>(row->deleteButton());
        remove->click();
        if (source) {
            EXPECT_FALSE(remove->isEnabled());
            ASSERT_TRUE(waitUntil([&] { return history.files().isEmpty(); }));
            EXPECT_TRUE(window.showsEmptyState());
            EXPECT_TRUE(alerts.shown.isEmpty());
            EXPECT_EQ(cloud.count(QStringLiteral("POST"), del), 1);
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return !alerts.shown.isEmpty(); }));
        EXPECT_EQ(alerts.shown, QStringList{QStringLiteral("Delete Failed|") + UploadError::notConfigured().description()});
        EXPECT_EQ(history.files(), QList<UploadedFile>{file});
        EXPECT_EQ(onlyRow(window), row);
        EXPECT_TRUE(remove->isEnabled());
    }
}

TEST_F(HistoryWindow, DroppedLocalFilesGoToTheHandler)
{
    UploadHistoryWindow window(services());
    QStringList received;
    int calls = 0;
    window.setDropHandler([&](const QStringList& paths) {
        received = paths;
        ++calls;
    });
    const QUrl remote(QStringLiteral("https://example.com/b.png"));
    // Whether the window takes the drag and then the drop.
    const auto drop = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &dropped);
        return dropped.isAccepted();
    };
    EXPECT_FALSE(drop({remote}));
    EXPECT_TRUE(drop({QUrl::fromLocalFile(QStringLiteral("/tmp/a.pdf")), remote, QUrl::fromLocalFile(QStringLiteral("/tmp/c d.png"))}));
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_EQ(received, (QStringList{QStringLiteral("/tmp/a.pdf"), QStringLiteral("/tmp/c d.png")}));
}
