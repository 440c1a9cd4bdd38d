// On-device Analyze of a 2880 × 1800 development screenshot, whole and in process (the
// detector finds lines and boxes, Tesseract reads the lines), against the `tesseract`
// command line reading the same image (automatic page segmentation) in the same run.
// Report the medians; peak_MB is the peak memory of this process so far, all_threads_cpu_s
// the CPU time of all its threads per analysis.
//   bench_analysis [--benchmark_…] [IMAGE]   (default: the shared calendar@2x.png)
#include "detection/DeviceComponentAnalyzer.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <sys/resource.h>

namespace {

// CPU seconds of every thread of this process so far: on a machine shared with other work
// the wall time says more about the neighbours than about the analysis.
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void analyzeInProcess(benchmark::State& state, QImage image)
{
    size_t found = 0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        found = pelorin::DeviceComponentAnalyzer::analyze(image).components.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["components"] = double(found);
    state.counters["all_threads_cpu_s"] = (processCpuSeconds() - cpuBefore) / double(state.iterations());
    state.counters["peak_MB"] = peakMegabytes();
}

void tesseractCommand(benchmark::State& state, QString path)
{
    for (auto _ : state) {
        QProcess tesseract;
        tesseract.start(QStringLiteral("tesseract"), {path, QStringLiteral("-"), QStringLiteral("--psm"), QStringLiteral("3")});
        if (!tesseract.waitForFinished(120'000) || tesseract.exitCode() != 0) {
            state.SkipWithError("tesseract failed");
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QGuiApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(PELORIN_DETECTION_SHOTS "/calendar@2x.png");
    QImage image(path);
    if (image.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }
    image.setDevicePixelRatio(2);
    // Once before measuring: the recogniser loads its model per worker thread.
    pelorin::DeviceComponentAnalyzer::analyze(image);
    benchmark::RegisterBenchmark("analyze/in-process", analyzeInProcess, image)
        ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
    if (!QStandardPaths::findExecutable(QStringLiteral("tesseract")).isEmpty()) {
        benchmark::RegisterBenchmark("tesseract-command", tesseractCommand, path)
            ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
