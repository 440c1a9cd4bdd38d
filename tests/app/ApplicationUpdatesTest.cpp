#include "UpdateFixture.h"

#include "app/update/ApplicationUpdates.h"
#include "platform/SettingsKeys.h"
#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace pelorin;

namespace {

QMessageBox* visibleMessageBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

QPushButton* buttonTitled(QWidget* parent, const QString& title)
{
    for (QPushButton* button : parent->findChildren<QPushButton*>())
        if (button->text() == title)
            return button;
    return nullptr;
}

bool statusLineShows(const SettingsWindow& window, const QString& text)
{
    const QList<QLabel*> labels = window.findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [&](QLabel* label) { return label->text() == text; });
}

} // namespace

// "Check Now" runs the interactive check with the real message boxes, and the status line
// follows the updater.
TEST(ApplicationUpdates, CheckNowShowsTheStatusAndTheAlerts)
{
    test::UpdateSite site;
    ASSERT_TRUE(site.isRunning());
    test::TempSettings settings;
    settings.store().setValue(QLatin1String(SettingsKeys::updateSiteURL), site.base());
    ApplicationUpdates updates(settings.store());
    SettingsWindow window(settings.store());
    updates.attach(window);
    window.show();

    site.putFeed({{QStringLiteral("version"), QStringLiteral("0.0.1")}, {QStringLiteral("dmg_url"), QStringLiteral("x")}});
    buttonTitled(&window, QStringLiteral("Check Now"))->click();
    ASSERT_TRUE(test::waitUntil([] { return visibleMessageBox() != nullptr; }, 60'000));
    QMessageBox* upToDate = visibleMessageBox();
    EXPECT_EQ(upToDate->text(), QStringLiteral("You're up to date"));
    EXPECT_EQ(upToDate->informativeText(), QStringLiteral("Pelorin %1 is the latest version.").arg(QStringLiteral(PELORIN_VERSION)));
    EXPECT_TRUE(statusLineShows(window, QStringLiteral("You're up to date.")));
    QTest::keyClick(upToDate, Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([] { return visibleMessageBox() == nullptr; }));

    // The offer: "Update Now" is the default; "Later" with the box ticked skips the version.
    site.putFeed({{QStringLiteral("version"), QStringLiteral("99.0")}, {QStringLiteral("dmg_url"), QStringLiteral("x")}});
    updates.checkAction()();
    ASSERT_TRUE(test::waitUntil([&] { return updates.service().status().kind == UpdateStatus::Kind::available; }, 60'000))
        << updates.service().status().text().toStdString();
    ASSERT_TRUE(test::waitUntil([] { return visibleMessageBox() != nullptr; }, 60'000));
    QMessageBox* offer = visibleMessageBox();
    EXPECT_EQ(offer->text(), QStringLiteral("Pelorin 99.0 is available"));
    EXPECT_EQ(offer->defaultButton(), buttonTitled(offer, QStringLiteral("Update Now")));
    EXPECT_TRUE(buttonTitled(offer, QStringLiteral("On Next Launch")));
    EXPECT_TRUE(statusLineShows(window, QStringLiteral("Version 99.0 is available.")));
    offer->checkBox()->setChecked(true);
    buttonTitled(offer, QStringLiteral("Later"))->click();
    ASSERT_TRUE(test::waitUntil([&] { return updates.service().status().kind == UpdateStatus::Kind::idle; }));
    EXPECT_EQ(settings.store().stringValue(QLatin1String(SettingsKeys::skippedUpdateVersion)), QStringLiteral("99.0"));
}
