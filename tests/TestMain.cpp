#include <gtest/gtest.h>

#ifdef PELORIN_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Shared main of the test programs: a GUI application (offscreen unless a display is set)
// so fonts, images and timers work, with the user's folders redirected to test locations.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing tests (CTest discovery) must not need a display or create an application.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every test process gets a home of its own, so settings, application files and the
    // Desktop written by one test never leak into another (ctest runs each test alone).
    static QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = home.path() + u'/' + QString::fromLatin1(variable).toLower();
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(variable, folder.toLocal8Bit());
    }
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
