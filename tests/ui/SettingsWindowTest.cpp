#include "TestSupport.h"

#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QScrollArea>
#include <QScrollBar>

using namespace pelorin;

namespace {

QLabel* header(const SettingsWindow& window, const QString& title)
{
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->text() == title.toUpper())
            return label;
    return nullptr;
}

// Where the header sits in the visible part of the scrolling form.
int headerTop(const SettingsWindow& window, const QString& title)
{
    const auto* scroll = window.findChild<QScrollArea*>();
    return header(window, title)->mapTo(scroll->viewport(), QPoint(0, 0)).y();
}

} // namespace

// Analyze without a sign-in sends the user to the account section, wherever the form was left;
// the form stays where the user left it when a control in it is disabled under the focus (a
// sign-in starting), and Esc closes the window.
TEST(SettingsWindow, ShowsSectionsKeepsItsScrollAndClosesOnEsc)
{
    test::TempSettings settings;
    SettingsWindow window(settings.store());
    auto* field = new QLineEdit;
    window.accountSection()->addWidget(field);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QScrollBar* bar = window.findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "the form fits the window: nothing to scroll";
    // A section near the end can only come as far up as the form's end allows.
    for (const auto& [section, top] : {std::pair{"Account", 20}, {"Uploads", -1}, {"Clipboard", -1}}) {
        bar->setValue(bar->maximum());
        window.showSection(QLatin1String(section));
        const int at = headerTop(window, QLatin1String(section));
        EXPECT_TRUE(at >= 0 && at <= (top < 0 ? window.height() - 1 : top)) << section << " at " << at;
    }
    bar->setValue(bar->maximum());
    window.showSection(QStringLiteral("Nowhere"));
    EXPECT_EQ(bar->value(), bar->maximum()) << "an unknown title leaves the view alone";

    field->setFocus();
    field->setEnabled(false);
    EXPECT_NE(QApplication::focusWidget(), field);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}
