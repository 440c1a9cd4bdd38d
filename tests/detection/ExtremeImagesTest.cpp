#include "detection/DeviceComponentAnalyzer.h"
#include "detection/ElementDetectionService.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace pelorin;

// Any picture the app can open is detected and analysed to the end, with few or no
// findings, or refused in one line; no library exception escapes.
TEST(ExtremeImages, ThinStripsAndSpecksFinishWithoutEscapingExceptions)
{
    const QSize sizes[] = {{2048, 1}, {3840, 1}, {1, 2560}, {16384, 2}, {20000, 1}, {1, 1}, {3, 2}};
    for (const QSize size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        for (int x = 0; x < size.width(); x += 7)
            image.setPixel(x, 0, 0xff000000);
        EXPECT_NO_THROW(ElementDetectionService::detect(image, image.deviceIndependentSize()));
        try {
            const ComponentAnalysisResponse response = DeviceComponentAnalyzer::analyze(image);
            EXPECT_EQ(response.imageWidth, size.width());
        } catch (const DeviceComponentAnalyzer::AnalysisFailed& failure) {
            EXPECT_FALSE(QByteArray(failure.what()).contains('\n'));
        }
    }
}
