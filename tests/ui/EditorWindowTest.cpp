#include "MemoryPasteboard.h"
#include "UiFixture.h"

#include "platform/SettingsKeys.h"
#include "ui/AnalysisPanel.h"
#include "ui/AnnotationStylePanel.h"
#include "ui/CanvasView.h"
#include "ui/ChromeButton.h"
#include "ui/ComponentOverlayView.h"
#include "ui/CopyConfirmation.h"
#include "ui/EditorToolbar.h"
#include "ui/EditorWindow.h"
#include "ui/EmptyStateView.h"
#include "ui/SettingsWindow.h"
#include "ui/ShimmerView.h"
#include "ui/StyleSection.h"
#include "ui/StyleSidebar.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
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
        showWindow(*window, {1400, 860});
    }

    // Whether the window offers to take the drag; a drag it offers to take, it opens.
    bool drop(QMimeData& data)
    {
        const QPoint at = window->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &dropEvent);
        EXPECT_TRUE(dropEvent.isAccepted()) << "offered on entering, refused on dropping";
        return true;
    }

    QTemporaryDir dir;
    MemoryPasteboard pasteboard;
    std::unique_ptr<EditorWindow> window = std::make_unique<EditorWindow>(*editor);
};

TEST_F(Window, DropsAndPastesOpenTheDocumentTheToolbarAndKeysActOn)
{
    const QString file = dir.filePath(QStringLiteral("dropped.png"));
    ASSERT_TRUE(solidImage({320, 200}).save(file, "PNG"));
    const struct { const char* name; std::function<void(QMimeData&)> fill; std::optional<SourceType> opens; } cases[] = {
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
        for (const auto& c : cases) {
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

    // The empty state starts region and window captures and gives way to the document; the
    // copy button and Ctrl+C copy it and show the confirmation; an error shows until its OK.
    // The toolbar's buttons and the window's keys act on the document; the inspector takes
    // the sidebar's place while there is something to inspect.
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
    editor->loadImage(solidImage({300, 200}), SourceType::file, false);
    EXPECT_FALSE(empty->isVisible());

    CopyConfirmation* notice = window->canvas()->copyConfirmation();
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

    editor->setErrorMessage(QStringLiteral("Failed to load image from broken.png"));
    ASSERT_TRUE(waitUntil([&] { return window->errorAlert() && window->errorAlert()->isVisible(); }));
    QMessageBox* alert = window->errorAlert();
    EXPECT_EQ(alert->text(), QStringLiteral("Failed to load image from broken.png"));
    ASSERT_EQ(alert->buttons().size(), 1);
    alert->buttons().first()->click();
    EXPECT_TRUE(editor->errorMessage().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !window->errorAlert(); }));

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
    // Ctrl+Z undoes the delete, then the adding; Ctrl+Shift+Z and Ctrl+Y redo.
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    for (const auto& [key, mods, count] : {std::tuple{Qt::Key_Z, ctrl, 1u}, {Qt::Key_Z, ctrl, 0u},
                                           {Qt::Key_Z, ctrl | Qt::ShiftModifier, 1u}, {Qt::Key_Z, ctrl, 0u}, {Qt::Key_Y, ctrl, 1u}}) {
        QTest::keyClick(window.get(), key, mods);
        EXPECT_EQ(annotations(), count) << key << ' ' << mods;
        EXPECT_TRUE(window->redoAction()->isEnabled());
    }

    editor->setSelectedAnnotationId({});
    EXPECT_TRUE(window->sidebar()->isVisible());
    EXPECT_FALSE(window->inspector()->isVisible());
    editor->setSelectedAnnotationId(redact.id);
    EXPECT_TRUE(window->inspector()->isVisible());
    EXPECT_FALSE(window->sidebar()->isVisible());
    EXPECT_TRUE(window->inspector()->section(AnnotationTool::redact)->isVisible());
    editor->setSelectedAnnotationId({});
    editor->setSelectedTool(AnnotationTool::text);
    EXPECT_TRUE(window->inspector()->isVisible());

    editor->clearDocument();
    EXPECT_TRUE(empty->isVisible());
    // A new screenshot starts a new history; the close button hides the window and keeps it.
    editor->loadImage(solidImage({300, 200}), SourceType::file, false);
    EXPECT_FALSE(window->undoAction()->isEnabled());
    EXPECT_TRUE(window->close()) << "a refused close would refuse the app's Quit too";
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(editor->hasDocument());
}

DetectedComponent component(const char* label, int x1, int y1, int x2, int y2)
{
    const QString name = QString::fromLatin1(label);
    return {.label = name, .text = name, .type = QStringLiteral("button"), .x1 = x1, .y1 = y1, .x2 = x2, .y2 = y2};
}

// Analyze shows the shimmer until the components are found. A click on a box toggles its
// highlight; other clicks pass through to the canvas.
TEST_F(Window, AnalysisShimmersThenItsBoxesToggleAndListTheComponents)
{
    settings.store().setValue(QLatin1String(SettingsKeys::analysisProvider), QStringLiteral("device"));
    editor->loadImage(QImage(QStringLiteral(PELORIN_SAMPLE)), SourceType::file, false);
    window->toolbar()->analyzeButton()->click();
    ShimmerView* shimmer = window->canvas()->shimmer();
    EXPECT_TRUE(shimmer->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !editor->isAnalyzing(); }, 60'000));
    EXPECT_FALSE(shimmer->isVisible());

    editor->loadImage(solidImage({800, 500}, 1.0, QColor(240, 240, 240)), SourceType::file, false);
    editor->setDetectedComponents({component("Save", 100, 100, 300, 160), component("Cancel", 400, 300, 600, 360)});
    editor->setShowComponentOverlay(true);
    ComponentOverlayView* overlay = window->canvas()->componentOverlay();
    ASSERT_TRUE(overlay->isVisible());
    Pointer pointer(overlay);

    const QRectF save = overlay->boxRect(editor->detectedComponents()[0]);
    pointer.press(save.center());
    pointer.release(save.center());
    EXPECT_TRUE(editor->detectedComponents()[0].isHighlighted);
    EXPECT_FALSE(editor->detectedComponents()[1].isHighlighted);
    EXPECT_GT(overlay->tagRect(editor->detectedComponents()[0]).bottom(), save.top() - 18);

    // Between the boxes the click reaches the canvas, not the overlay.
    const QPointF between = (save.center() + overlay->boxRect(editor->detectedComponents()[1]).center()) / 2;
    EXPECT_NE(QApplication::widgetAt(overlay->mapToGlobal(between.toPoint())), overlay);
    pointer.press(save.center());
    pointer.release(save.center());
    EXPECT_FALSE(editor->detectedComponents()[0].isHighlighted);

    AnalysisPanel* panel = window->findChild<AnalysisPanel*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    ASSERT_EQ(panel->rowCount(), 2);
    EXPECT_EQ(panel->rowButton(1, 2)->toolTip(), QStringLiteral("Redact this element"));
    panel->rowButton(1, 2)->click();
    QApplication::processEvents();
    EXPECT_TRUE(editor->componentIsRedacted(editor->detectedComponents()[1].id));
    EXPECT_EQ(panel->rowButton(1, 2)->toolTip(), QStringLiteral("Remove redaction"));

    // A long list makes widgets only for the rows in view.
    std::vector<DetectedComponent> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back(component("Row", 10 + i % 50, 10, 20 + i % 50, 20));
    editor->setDetectedComponents(many);
    QApplication::processEvents();
    EXPECT_EQ(panel->rowCount(), 2000);
    EXPECT_LT(panel->builtRowCount(), 60);
    EXPECT_EQ(panel->rowButton(1999, 1)->toolTip(), QStringLiteral("Search Google for this text"));

    window->toolbar()->clearAnalysisButton()->click();
    EXPECT_FALSE(overlay->isVisible());
    EXPECT_FALSE(panel->isVisible());
}

// Analyze without a sign-in sends the user to the account section, wherever the form was left;
// the form stays where the user left it when a control in it is disabled under the focus (a
// sign-in starting), and Esc closes the window.
TEST(SettingsWindow, ShowsSectionsKeepsItsScrollAndClosesOnEsc)
{
    TempSettings settings;
    SettingsWindow window(settings.store());
    // A control of the account section, and the next one in the tab chain far below it.
    auto* field = new QLineEdit;
    auto* gap = new QWidget;
    gap->setFixedHeight(2000);
    auto* below = new QLineEdit;
    for (QWidget* widget : std::initializer_list<QWidget*>{field, gap, below})
        window.accountSection()->addWidget(widget);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QScrollBar* bar = window.findChild<QScrollArea*>()->verticalScrollBar();
    // Where the section's header sits in the visible part of the scrolling form.
    const auto headerTop = [&](const char* title) {
        for (QLabel* label : window.findChildren<QLabel*>())
            if (label->text() == QString::fromLatin1(title).toUpper())
                return label->mapTo(window.findChild<QScrollArea*>()->viewport(), QPoint(0, 0)).y();
        return -1000;
    };
    ASSERT_GT(bar->maximum(), 0) << "the form fits the window: nothing to scroll";
    // A section near the end can only come as far up as the form's end allows.
    for (const auto& [section, top] : {std::pair{"Account", 20}, {"Uploads", -1}, {"Clipboard", -1}}) {
        bar->setValue(bar->maximum());
        window.showSection(QLatin1String(section));
        const int at = headerTop(section);
        EXPECT_TRUE(at >= 0 && at <= (top < 0 ? window.height() - 1 : top)) << section << " at " << at;
    }
    bar->setValue(bar->maximum());
    window.showSection(QStringLiteral("Nowhere"));
    EXPECT_EQ(bar->value(), bar->maximum()) << "an unknown title leaves the view alone";

    window.showSection(QStringLiteral("Account"));
    const int kept = bar->value();
    field->setFocus();
    field->setEnabled(false);
    EXPECT_EQ(QApplication::focusWidget(), below);
    EXPECT_EQ(bar->value(), kept);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace pelorin::test
