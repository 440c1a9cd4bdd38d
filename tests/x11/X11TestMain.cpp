#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>

// These tests talk to a real X server: other clients own the clipboard, synthesized key
// presses go through the server's grabs. Widgets are needed for the shortcut field.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("x11_tests need an X server: run them under xvfb-run\n", stderr);
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
