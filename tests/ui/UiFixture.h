#pragma once

#include "TestSupport.h"

#include "core/Fonts.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

namespace pelorin::test {

inline QImage solidImage(QSizeF points, double scale = 1.0, QColor color = QColor(220, 30, 40))
{
    QImage image((points * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    image.setDevicePixelRatio(scale);
    return image;
}

// Pointer input through the window, the way the window system delivers it: Qt picks the
// widget under the pointer and keeps sending to it until the button goes up.
class Pointer {
public:
    explicit Pointer(QWidget* reference) : m_reference(reference) {}
    QWindow* window() const { return m_reference->window()->windowHandle(); }
    QPoint toWindow(QPointF p) const { return m_reference->mapTo(m_reference->window(), p.toPoint()); }

    void press(QPointF at, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mousePress(window(), button, modifiers, toWindow(at));
    }
    void move(QPointF to) { QTest::mouseMove(window(), toWindow(to)); }
    void release(QPointF at, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseRelease(window(), button, modifiers, toWindow(at));
    }
    // Press, move in `steps` equal steps, release; no steps: a click.
    void drag(QPointF from, QPointF to, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = {},
              int steps = 4)
    {
        press(from, button, modifiers);
        for (int i = 1; i <= steps; ++i)
            move(from + (to - from) * (double(i) / steps));
        release(to, button, modifiers);
    }

private:
    QWidget* m_reference;
};

inline void showWindow(QWidget& widget, QSize size)
{
    widget.resize(size);
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

// An editor over settings of its own, at one pixel per point. Views that a test derived from
// this keeps as members go before the editor they show.
class EditorUiFixture : public ::testing::Test {
public:
    EditorUiFixture()
    {
        loadBundledFonts();
        editor = std::make_unique<EditorViewModel>(settings.store(), notifications);
        editor->setScreenScaleProvider([] { return 1.0; });
    }

    void editStyling(const std::function<void(StylingConfiguration&)>& change)
    {
        StylingConfiguration s = editor->styling();
        change(s);
        editor->setStyling(s);
    }
    void tiltBy(float yaw, float pitch)
    {
        editor->beginRotationGesture();
        editor->rotateBy(yaw, pitch);
        editor->endRotationGesture();
    }

    TempSettings settings;
    NotificationCenter notifications;
    std::unique_ptr<EditorViewModel> editor;
};

} // namespace pelorin::test
