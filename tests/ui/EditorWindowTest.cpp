#include "MemoryPasteboard.h"
#include "UiFixture.h"

#include "platform/SettingsKeys.h"
#include "ui/ChromeButton.h"
#include "ui/CopyConfirmation.h"
#include "ui/EditorToolbar.h"
#include "ui/EditorWindow.h"
#include "ui/EmptyStateView.h"
#include "ui/StyleSidebar.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>

namespace pelorin::test {
namespace {

class Window : public EditorUiFixture {
public:
    Window()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::copyFollowUp), QStringLiteral("stay"));
        // A capture tool that gives up at once, as when the user presses Escape.
        const QString tool = dir.filePath(QStringLiteral("capture-tool"));
        EXPECT_TRUE(writeScript(tool, "#!/bin/sh\nexit 1\n"));
        settings.store().setValue(QLatin1String(SettingsKeys::captureToolPath), tool);
        editor->setPasteboard(pasteboard);
        showWindow(*window, {1200, 800});
    }

    bool drop(QMimeData& data)
    {
        const QPoint at = window->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &dropEvent);
        return dropEvent.isAccepted();
    }

    QTemporaryDir dir;
    MemoryPasteboard pasteboard;
    std::unique_ptr<EditorWindow> window = std::make_unique<EditorWindow>(*editor);
};

TEST_F(Window, ErrorAlertShowsTheMessageAndOkClearsIt)
{
    editor->setErrorMessage(QStringLiteral("Failed to load image from broken.png"));
    ASSERT_TRUE(waitUntil([&] { return window->errorAlert() && window->errorAlert()->isVisible(); }));
    QMessageBox* alert = window->errorAlert();
    EXPECT_EQ(alert->text(), QStringLiteral("Failed to load image from broken.png"));
    ASSERT_EQ(alert->buttons().size(), 1);
    alert->buttons().first()->click();
    EXPECT_TRUE(editor->errorMessage().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !window->errorAlert(); }));
}

TEST_F(Window, DroppedLocalImagesOpenAndAnythingElseIsRefused)
{
    const QString file = dir.filePath(QStringLiteral("dropped.png"));
    ASSERT_TRUE(solidImage({320, 200}).save(file, "PNG"));
    struct Case {
        const char* name;
        std::function<void(QMimeData&)> fill;
        std::optional<SourceType> opens;
    };
    const Case cases[] = {
        {"file", [&](QMimeData& d) { d.setUrls({QUrl::fromLocalFile(file)}); }, SourceType::file},
        {"image data", [](QMimeData& d) { d.setImageData(solidImage({120, 90})); }, SourceType::dragAndDrop},
        {"the file rather than its image data", [&](QMimeData& d) {
             d.setUrls({QUrl::fromLocalFile(file)});
             d.setImageData(solidImage({10, 10}));
         }, SourceType::file},
        {"a web browser's image: its address and its data", [](QMimeData& d) {
             d.setUrls({QUrl(QStringLiteral("https://example.com/a.png"))});
             d.setImageData(solidImage({120, 90}));
         }, SourceType::dragAndDrop},
        {"remote link", [](QMimeData& d) { d.setUrls({QUrl(QStringLiteral("https://example.com/a.png"))}); }, std::nullopt},
        {"plain text", [](QMimeData& d) { d.setText(QStringLiteral("hello")); }, std::nullopt},
    };
    // Ctrl+V opens what the clipboard holds the way a drop opens it.
    for (const bool paste : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (paste ? " pasted" : " dropped"));
            editor->clearDocument();
            auto* data = new QMimeData;
            c.fill(*data);
            if (paste) {
                QGuiApplication::clipboard()->setMimeData(data);
                ASSERT_EQ(window->pasteAction()->shortcut(), QKeySequence(QKeySequence::Paste));
                window->pasteAction()->trigger();
            } else {
                ASSERT_EQ(drop(*data), c.opens.has_value());
                delete data;
            }
            if (c.opens) {
                ASSERT_TRUE(waitUntil([&] { return editor->hasDocument(); }));
                EXPECT_EQ(editor->document()->sourceType, *c.opens);
            }
        }
        QTest::qWait(20);
        EXPECT_FALSE(editor->hasDocument());
    }
}

TEST_F(Window, CopyButtonAndCtrlCCopyAndShowTheConfirmation)
{
    editor->loadImage(solidImage({300, 200}), SourceType::file, false);
    CopyConfirmation* notice = window->canvas()->copyConfirmation();
    EXPECT_FALSE(notice->isShowing());
    window->toolbar()->copyButton()->click();
    ASSERT_TRUE(waitUntil([&] { return editor->imageCopiedPulse() == 1; }));
    EXPECT_FALSE(pasteboard.png.isEmpty());
    EXPECT_TRUE(notice->isShowing());
    ASSERT_TRUE(waitUntil([&] { return notice->isVisible(); }));
    ASSERT_TRUE(waitUntil([&] { return !notice->isShowing(); }, CopyConfirmation::holdMs * 4));

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return editor->imageCopiedPulse() == 2; }));
}

TEST_F(Window, EmptyStateStartsRegionAndWindowCapturesAndGivesWayToTheDocument)
{
    EmptyStateView* empty = window->canvas()->emptyState();
    ASSERT_TRUE(empty->isVisible());
    QSignalSpy captures(editor.get(), &EditorViewModel::captureRequested);
    for (ChromeButton* button : {empty->captureRegionButton(), empty->captureWindowButton()}) {
        button->click();
        ASSERT_TRUE(waitUntil([&] { return !editor->isCapturing(); }));
    }
    ASSERT_EQ(captures.size(), 2);
    EXPECT_FALSE(captures[0].at(0).toBool());
    EXPECT_TRUE(captures[1].at(0).toBool());
    EXPECT_EQ(empty->captureRegionButton()->text(), QStringLiteral("Capture Region"));
    EXPECT_EQ(empty->captureWindowButton()->text(), QStringLiteral("Capture Window"));

    editor->loadImage(solidImage({300, 200}), SourceType::file, false);
    EXPECT_FALSE(empty->isVisible());
    editor->clearDocument();
    EXPECT_TRUE(empty->isVisible());
}

// The toolbar's buttons and the window's keys act on the open document.
TEST_F(Window, ToolbarAndKeysActOnTheDocument)
{
    editor->loadImage(solidImage({300, 200}), SourceType::file, false);
    editor->setZoomLevel(1.0);
    // A wheel over the sidebar scrolls it instead of zooming.
    QWidget* target = window->sidebar()->viewport();
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
    EXPECT_EQ(editor->canvasTransform().zoomLevel, 1.0);

    EXPECT_EQ(window->toolbar()->zoomLabel()->text(), QStringLiteral("100%"));
    window->toolbar()->zoomInButton()->click();
    EXPECT_EQ(window->toolbar()->zoomLabel()->text(), QStringLiteral("125%"));
    editor->setZoomLevel(4.0);
    EXPECT_FALSE(window->toolbar()->zoomInButton()->isEnabled());
    window->toolbar()->fitButton()->click();
    EXPECT_LT(editor->canvasTransform().zoomLevel, 4.0);

    ChromeButton* shape = window->toolbar()->toolButton(AnnotationTool::shape);
    EXPECT_EQ(shape->toolTip(), QStringLiteral("Shape (3)"));
    shape->click();
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::shape);
    EXPECT_TRUE(shape->isChecked());
    window->toolbar()->toolButton(AnnotationTool::arrow)->click();
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::arrow);
    EXPECT_FALSE(shape->isChecked());
    window->toolbar()->toolButton(AnnotationTool::arrow)->click();
    EXPECT_EQ(editor->selectedTool(), std::nullopt);

    // Delete is offered only with a selection; undo and redo follow the history.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ChromeButton* remove = window->toolbar()->deleteButton();
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_FALSE(window->undoAction()->isEnabled());
    const RedactAnnotation redact = RedactAnnotation::make(QRectF(10, 10, 50, 20), Qt::black);
    editor->addAnnotation(redact);
    editor->setSelectedAnnotationId(redact.id);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_TRUE(window->undoAction()->isEnabled());
    EXPECT_FALSE(window->redoAction()->isEnabled());
    const auto annotations = [&] { return editor->document()->annotations.size(); };
    remove->click();
    EXPECT_EQ(annotations(), 0u);
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(annotations(), 1u);
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(annotations(), 0u);
    EXPECT_TRUE(window->redoAction()->isEnabled());
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(annotations(), 1u);
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(annotations(), 1u);

    // A new screenshot starts a new history; the close button hides the window and keeps it.
    editor->loadImage(solidImage({300, 200}), SourceType::file, false);
    EXPECT_FALSE(window->undoAction()->isEnabled());
    EXPECT_TRUE(window->close()) << "a refused close would refuse the app's Quit too";
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(editor->hasDocument());
}

} // namespace
} // namespace pelorin::test
