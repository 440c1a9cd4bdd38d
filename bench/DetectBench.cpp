// Element detection over the development screenshots (2880 × 1800, two pixels per point):
// time per image in process, and peak memory: `peak_MB` for the whole run, `images_MB` what
// the process held with the screenshots decoded, before any detection.
//   bench_detect [--benchmark_…] [SHOTS_DIR]   (default: the shared development set)
#include "detection/ElementDetectionService.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QCoreApplication>
#include <QImage>

#include <sys/resource.h>

namespace {

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

double imagesMegabytes = 0;

void detectShot(benchmark::State& state, QImage image)
{
    const QSizeF points = image.deviceIndependentSize();
    size_t found = 0;
    for (auto _ : state) {
        const std::vector<QRectF> elements = pelorin::ElementDetectionService::detect(image, points);
        found = elements.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["elements"] = double(found);
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["images_MB"] = imagesMegabytes;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(PELORIN_DETECTION_SHOTS);
    const QStringList shots = QDir(folder).entryList({QStringLiteral("*@2x.png")}, QDir::Files, QDir::Name);
    if (shots.isEmpty()) {
        std::fprintf(stderr, "no *@2x.png screenshots in %s\n", qPrintable(folder));
        return 1;
    }
    for (const QString& name : shots) {
        QImage image(folder + u'/' + name);
        image.setDevicePixelRatio(2);
        benchmark::RegisterBenchmark(qPrintable(name), detectShot, image)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    imagesMegabytes = peakMegabytes();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
