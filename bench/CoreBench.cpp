#include "core/Annotation.h"
#include "core/StylingJson.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

using namespace pelorin;

// Decoding the stored style runs at every start; it must stay negligible.
static void BM_DecodeBackgroundStyle(benchmark::State& state)
{
    const QByteArray json = encodeBackgroundStyle(BackgroundStyle::customGradient(gradientDefinition(BackgroundPreset::rainbowLight)));
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeBackgroundStyle(json));
}
BENCHMARK(BM_DecodeBackgroundStyle);

// Arrow resolution runs for every frame that draws annotations.
static void BM_ResolveAttachments(benchmark::State& state)
{
    std::vector<Annotation> list;
    for (int i = 0; i < state.range(0); ++i) {
        ShapeAnnotation shape;
        shape.id = QUuid::createUuid();
        shape.position = QPointF(i * 10.0, i * 5.0);
        shape.size = QSizeF(80, 40);
        ArrowAnnotation arrow;
        arrow.id = QUuid::createUuid();
        arrow.position = QPointF(0, 0);
        arrow.endPoint = QPointF(500, 300);
        arrow.endAttachment = ArrowAttachment{shape.id, QPointF(0.5, 0.5)};
        list.emplace_back(shape);
        list.emplace_back(arrow);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(resolvingAttachments(list));
}
BENCHMARK(BM_ResolveAttachments)->Arg(10)->Arg(100);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
