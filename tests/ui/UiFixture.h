#pragma once

#include "TestSupport.h"

#include "core/Fonts.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"
#include "ui/AnnotationOverlayView.h"
#include "ui/CanvasView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <memory>

namespace pelorin::test {

// A solid image of `points` at `scale` pixels per point.
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

// Counts the pointer events that reach the annotation overlay, the layer below the navigation
// layer that takes plain clicks and drags (moves only while a button is down).
class PointerProbe : public QObject {
public:
    explicit PointerProbe(CanvasView* canvas) : QObject(canvas) { canvas->annotationOverlay()->installEventFilter(this); }
    int presses = 0, moves = 0, releases = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const auto type = event->type();
        presses += type == QEvent::MouseButtonPress;
        releases += type == QEvent::MouseButtonRelease;
        moves += type == QEvent::MouseMove && static_cast<QMouseEvent*>(event)->buttons();
        return false;
    }
};

// How far `exported` is from the same place in `shown`, which holds it at `origin`, leaving
// out `inset` pixels along the edges: the mean of the largest channel difference, and the
// share of pixels where that difference is above `tolerance`.
struct Agreement {
    double mean = 0, share = 0;
};
inline Agreement compare(const QImage& exported, const QImage& shown, QPoint origin, int inset, int tolerance)
{
    const QImage a = exported.convertToFormat(QImage::Format_RGB32), b = shown.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    long large = 0, count = 0;
    for (int y = inset; y < a.height() - inset; ++y) {
        for (int x = inset; x < a.width() - inset; ++x, ++count) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(origin.x() + x, origin.y() + y);
            const int d = std::max({std::abs(p.red() - q.red()), std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue())});
            sum += d;
            large += d > tolerance;
        }
    }
    return {sum / double(std::max(1L, count)), double(large) / double(std::max(1L, count))};
}

// Saves what `widget` shows as <name>.png when PELORIN_SCREENSHOT_DIR names a folder, to be
// looked at.
inline void screenshot(QWidget* widget, const QString& name)
{
    const QString folder = qEnvironmentVariable("PELORIN_SCREENSHOT_DIR");
    if (!folder.isEmpty() && QDir().mkpath(folder))
        widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// Shows `widget` as a top-level window of `size` and waits until it is on screen.
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

// An editor with a canvas of its own as a top-level window.
class CanvasFixture : public EditorUiFixture {
public:
    static constexpr QSize canvasSize{1000, 700};

    CanvasFixture() { showWindow(*canvas, canvasSize); }

    void open(QSizeF points = {800, 500}, double scale = 1.0, QColor color = QColor(220, 30, 40))
    {
        editor->loadImage(solidImage(points, scale, color), SourceType::file, false);
        waitForFrame();
    }

    // Waits until the canvas has drawn a frame after this call and has stopped easing.
    void waitForFrame()
    {
        const int before = canvas->framesDrawn();
        canvas->requestFrame();
        ASSERT_TRUE(waitUntil([&] { return canvas->framesDrawn() > before && !canvas->isEasing() && !canvas->isShowingPreview(); }));
    }

    std::unique_ptr<CanvasView> canvas = std::make_unique<CanvasView>(*editor);
};

} // namespace pelorin::test
