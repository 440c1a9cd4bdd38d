#include "EditorFixture.h"

#include "detection/ElementDetectionService.h"

#include <QPainter>

using namespace pelorin;

namespace {

class EditorDetection : public test::EditorFixture {
protected:
    // A light screen with one dark-bordered card, so the detector has something to find.
    static QImage cardScreen(QRect card)
    {
        QImage image(800, 500, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setPen(QPen(QColor(90, 90, 90), 2));
        p.drawRect(card);
        return image;
    }

    void waitForDetection()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return editor->pendingElementDetection().isFinished(); }, 20000));
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST_F(EditorDetection, AResultForAReplacedScreenshotIsDropped)
{
    const QImage first = cardScreen({100, 100, 300, 200});
    const QImage second = cardScreen({450, 250, 200, 150});

    editor->loadImage(first, SourceType::clipboard, false);
    editor->setSelectedTool(AnnotationTool::quick);
    EXPECT_TRUE(editor->isDetectingElements());
    EXPECT_EQ(editor->localDetectionDocumentId(), editor->document()->id);

    // A new screenshot arrives while the first is still being looked at.
    editor->loadImage(second, SourceType::clipboard, false);
    EXPECT_FALSE(editor->isDetectingElements());
    waitForDetection();
    EXPECT_TRUE(editor->localDetectedElements().empty());
    EXPECT_FALSE(editor->localDetectionDocumentId().has_value());
    EXPECT_FALSE(editor->isDetectingElements());

    // The quick tool on the new screenshot finds its own card, once.
    editor->setSelectedTool(AnnotationTool::quick);
    waitForDetection();
    EXPECT_FALSE(editor->isDetectingElements());
    const std::vector<QRectF> expected = ElementDetectionService::detect(second, QSizeF(800, 500));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(editor->quickAnnotationElements(), expected);
    editor->setSelectedTool(std::nullopt);
    editor->setSelectedTool(AnnotationTool::quick);
    EXPECT_FALSE(editor->isDetectingElements()) << "the cached list is reused";

    // Components from the analysis server take precedence over what was found here.
    DetectedComponent component;
    component.x1 = 10, component.y1 = 20, component.x2 = 110, component.y2 = 60;
    editor->setDetectedComponents({component});
    EXPECT_EQ(editor->quickAnnotationElements(), std::vector<QRectF>{QRectF(10, 20, 100, 40)});
}
