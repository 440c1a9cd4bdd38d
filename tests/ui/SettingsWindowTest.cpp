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

// Analyze without a sign-in sends the user to the account section, wherever the form was left.
TEST(SettingsWindow, ShowSectionBringsItsHeaderToTheTop)
{
    test::TempSettings settings;
    SettingsWindow window(settings.store());
    window.show();
    QScrollBar* bar = window.findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "the form fits the window: nothing to scroll";

    struct Case {
        QString section;
        bool atTop;
    };
    for (const Case& c : {Case{QStringLiteral("Account"), true}, Case{QStringLiteral("Uploads"), false},
                          Case{QStringLiteral("Clipboard"), false}}) {
        bar->setValue(bar->maximum());
        window.showSection(c.section);
        const int top = headerTop(window, c.section);
        // A section near the end can only come as far up as the form's end allows.
        if (c.atTop)
            EXPECT_TRUE(top >= 0 && top <= 20) << c.section.toStdString() << " at " << top;
        else
            EXPECT_TRUE(top >= 0 && top < window.height()) << c.section.toStdString() << " at " << top;
    }
    // An unknown title leaves the view alone.
    bar->setValue(bar->maximum());
    window.showSection(QStringLiteral("Nowhere"));
    EXPECT_EQ(bar->value(), bar->maximum());
}

// The form stays where the user left it when a control in it is disabled under the focus (a
// sign-in starting), and Esc closes the window.
TEST(SettingsWindow, KeepsItsScrollAndClosesOnEsc)
{
    test::TempSettings settings;
    SettingsWindow window(settings.store());
    auto* field = new QLineEdit;
    window.accountSection()->addWidget(field);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QScrollBar* bar = window.findChild<QScrollArea*>()->verticalScrollBar();
    bar->setValue(bar->maximum());
    field->setFocus();
    field->setEnabled(false);
    EXPECT_NE(QApplication::focusWidget(), field);
    EXPECT_EQ(bar->value(), bar->maximum());

    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}
