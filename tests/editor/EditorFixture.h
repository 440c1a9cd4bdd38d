#pragma once

#include "TestSupport.h"

#include "editor/EditorViewModel.h"
#include "editor/EditorWindowHost.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

namespace pelorin::test {

// Counts what the editor asks of the window manager, over two app windows, the editor and the
// settings, both visible at first.
class RecordingWindowHost : public EditorWindowHost {
public:
    QObject editorWindow, settingsWindow;
    QList<QObject*> visible{&editorWindow, &settingsWindow};
    int shown = 0, hidden = 0, policySyncs = 0;
    QImage grab;

    void showEditorWindow() override
    {
        ++shown;
        if (!visible.contains(&editorWindow))
            visible.append(&editorWindow);
    }
    void hideEditorWindow() override { ++hidden; }
    void syncActivationPolicy() override { ++policySyncs; }
    bool isEditorWindow(const QWindow*) const override { return true; }
    QImage grabVisibleWindow() override { return grab; }
    QList<QPointer<QObject>> hideVisibleWindows() override
    {
        QList<QPointer<QObject>> taken;
        for (QObject* window : std::exchange(visible, {}))
            taken.append(window);
        return taken;
    }
    void showWindows(const QList<QPointer<QObject>>& windows) override
    {
        for (const QPointer<QObject>& window : windows)
            visible.append(window.data());
    }
};

// An editor over its own settings file, notification centre and last-screenshot file.
class EditorFixture : public ::testing::Test {
protected:
    EditorFixture() { makeEditor(); }

    void makeEditor()
    {
        editor.reset();
        editor = std::make_unique<EditorViewModel>(settings.store(), notifications);
        editor->setWindowHost(&host);
        editor->setLastScreenshotStore(LastScreenshotStore(lastScreenshotPath()));
        editor->setScreenScaleProvider([] { return 1.0; });
        editor->setFileRevealer([](const QString&) {});
    }

    void restart()
    {
        editor.reset();
        settings.reopen();
        makeEditor();
    }

    QString lastScreenshotPath() const { return dir.filePath(QStringLiteral("LastScreenshot.png")); }

    static QImage solidImage(QSize size, double scale = 1.0, QColor color = Qt::blue)
    {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(color);
        image.setDevicePixelRatio(scale);
        return image;
    }

    QTemporaryDir dir;
    TempSettings settings;
    NotificationCenter notifications;
    RecordingWindowHost host;
    std::unique_ptr<EditorViewModel> editor;
};

} // namespace pelorin::test
