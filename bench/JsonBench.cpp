#include "core/JsonFormatter.h"

#include <benchmark/benchmark.h>

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <cstring>

using namespace pelorin;

namespace {

// A compact document of about 2 MB, the largest the clipboard formatter examines: records
// with nested objects and arrays, escaped strings, punctuation inside strings, numbers in
// several written forms and non-ASCII text.
QByteArray sampleDocument(qsizetype size = 2'000'000)
{
    QByteArray json = "{\"generated\":\"bench\",\"items\":[";
    for (int i = 0; json.size() < size - 400; ++i) {
        if (i > 0)
            json += ',';
        json += "{\"id\":" + QByteArray::number(i) + ",\"name\":\"item " + QByteArray::number(i)
            + ", \\\"quoted\\\" {x: [y]}\",\"price\":1.50,\"ratio\":-0.25e-3,\"big\":1e5,\"zero\":-0,"
              "\"tags\":[\"a\",\"b, c\",\"caf\xc3\xa9 \\u00e9\"],\"ok\":true,\"none\":null,"
              "\"nested\":{\"empty\":{},\"list\":[],\"deep\":{\"level\":[1,[2,[3]]]}}}";
    }
    json += "]}";
    return json;
}

// A realistic API export of about 2 MB where text dominates: support tickets with long
// multi-paragraph bodies (escaped line breaks, quotes and slashes), authors with nested
// profiles, threaded comments, labels and attachments, in several scripts. Strings make up
// most of the bytes, and a fifth of all bytes are outside ASCII.
QByteArray textDocument(qsizetype size = 2'000'000)
{
    static const char* const sentences[] = {
        "The export button stays grey after the upload finishes, even though the progress bar reached 100 %.",
        "Steps to reproduce:\\n1. Open the \\\"Reports\\\" tab\\n2. Pick last month\\n3. Press Export",
        "Der Bericht enth\xc3\xa4lt doppelte Zeilen, wenn der Zeitraum \xc3\xbc""ber einen Monatswechsel geht.",
        "L'aper\xc3\xa7u ne se met pas \xc3\xa0 jour apr\xc3\xa8s la modification du mod\xc3\xa8le ; il faut recharger la page.",
        "\xd0\x9f\xd1\x80\xd0\xb8 \xd1\x81\xd0\xbe\xd1\x85\xd1\x80\xd0\xb0\xd0\xbd\xd0\xb5\xd0\xbd\xd0\xb8\xd0\xb8 "
        "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb\xd0\xb0 \xd0\xb8\xd0\xbc\xd1\x8f \xd0\xbe\xd0\xb1\xd1\x80\xd0\xb5\xd0\xb7"
        "\xd0\xb0\xd0\xb5\xd1\x82\xd1\x81\xd1\x8f \xd0\xb4\xd0\xbe 32 \xd1\x81\xd0\xb8\xd0\xbc\xd0\xb2\xd0\xbe\xd0\xbb"
        "\xd0\xbe\xd0\xb2.",
        "\xe4\xbf\x9d\xe5\xad\x98\xe3\x81\x97\xe3\x81\x9f\xe7\x94\xbb\xe5\x83\x8f\xe3\x81\x8c\xe5\x88\xa5\xe3\x81\xae"
        "\xe3\x83\x95\xe3\x82\xa9\xe3\x83\xab\xe3\x83\x80\xe3\x81\xab\xe5\x85\xa5\xe3\x82\x8a\xe3\x81\xbe\xe3\x81\x99"
        "\xe3\x80\x82\xe8\xa8\xad\xe5\xae\x9a\xe3\x82\x92\xe7\xa2\xba\xe8\xaa\x8d\xe3\x81\x97\xe3\x81\xa6\xe3\x81\x8f"
        "\xe3\x81\xa0\xe3\x81\x95\xe3\x81\x84\xe3\x80\x82",
        "See https:\\/\\/example.com\\/help\\/exports?tab=csv&range=30d for the workaround \xe2\x80\x94 it works \xf0\x9f\x91\x8d",
        "Path on disk: C:\\\\Users\\\\ren\xc3\xa9\\\\Documents\\\\report (final).xlsx \xe2\x86\x92 still locked.",
        "\xce\x97 \xce\xb5\xce\xbe\xce\xb1\xce\xb3\xcf\x89\xce\xb3\xce\xae \xce\xb1\xcf\x80\xce\xbf\xcf\x84\xcf\x85"
        "\xce\xb3\xcf\x87\xce\xac\xce\xbd\xce\xb5\xce\xb9 \xcf\x87\xcf\x89\xcf\x81\xce\xaf\xcf\x82 \xce\xbc\xce\xae"
        "\xce\xbd\xcf\x85\xce\xbc\xce\xb1 \xcf\x83\xcf\x86\xce\xac\xce\xbb\xce\xbc\xce\xb1\xcf\x84\xce\xbf\xcf\x82.",
        "Thanks for the quick fix!\\tTested on 4.2.1 and 4.3.0-beta, both fine.\\u00a0Closing.",
    };
    static const char* const people[] = {"Jos\xc3\xa9 M\xc3\xbcller", "Anna Kowalska", "\xe7\x94\xb0\xe4\xb8\xad \xe5\xa4\xaa\xe9\x83\x8e",
                                         "Ols\xc3\xb8n, Britt", "\xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd \xd0\x9f\xd0\xb5\xd1\x82\xd1\x80\xd0\xbe\xd0\xb2"};
    static const char* const labels[] = {"bug", "export", "ui/preview", "needs triage", "regression", "i18n"};
    constexpr int sentenceCount = int(std::size(sentences));
    constexpr int personCount = int(std::size(people));
    // A fixed linear congruential sequence: the same document every run, without patterns
    // short enough for a branch predictor to learn.
    std::uint32_t seed = 12345;
    const auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % std::uint32_t(range));
    };
    const auto paragraph = [&](int minimum, int spread) {
        QByteArray text;
        for (int n = minimum + next(spread); n > 0; --n) {
            text += sentences[next(sentenceCount)];
            text += n > 1 && next(3) == 0 ? "\\n\\n" : " ";
        }
        return text;
    };
    const auto person = [&](int i) {
        const int who = next(personCount);
        return "{\"name\":\"" + QByteArray(people[who]) + "\",\"handle\":\"user" + QByteArray::number(who * 7 + i % 3)
            + "\",\"profile\":{\"locale\":\"" + QByteArray(who % 2 ? "de-DE" : "ja-JP") + "\",\"bio\":\""
            + paragraph(1, 2) + "\",\"links\":{\"home\":\"https:\\/\\/example.org\\/~user" + QByteArray::number(who)
            + "\"}}}";
    };
    QByteArray json = "{\"export\":{\"format\":\"tickets\",\"version\":3,\"generated\":\"2024-05-01T12:00:00Z\"},"
                      "\"tickets\":[";
    for (int i = 0; json.size() < size - 4000; ++i) {
        if (i > 0)
            json += ',';
        json += "{\"id\":\"TCK-" + QByteArray::number(10000 + i) + "\",\"title\":\"" + paragraph(1, 1)
            + "\",\"status\":\"" + (i % 3 ? "open" : "closed") + "\",\"author\":" + person(i) + ",\"body\":\""
            + paragraph(4, 8) + "\",\"labels\":[";
        for (int l = next(3); l >= 0; --l)
            json += "\"" + QByteArray(labels[next(int(std::size(labels)))]) + (l > 0 ? "\"," : "\"");
        json += "],\"comments\":[";
        for (int c = next(4); c >= 0; --c) {
            json += "{\"author\":" + person(i + c) + ",\"body\":\"" + paragraph(1, 4) + "\",\"reactions\":{\"+1\":"
                + QByteArray::number(next(9)) + ",\"heart\":" + QByteArray::number(next(3)) + "}}";
            if (c > 0)
                json += ',';
        }
        json += "],\"attachments\":[{\"name\":\"screen shot " + QByteArray::number(i)
            + ".png\",\"type\":\"image\\/png\",\"bytes\":" + QByteArray::number(20000 + next(90000)) + "}]}";
    }
    json += "]}";
    return json;
}

const QByteArray& document()
{
    static const QByteArray json = [] {
        const QByteArray path = qgetenv("PELORIN_BENCH_JSON");
        QFile file(QString::fromLocal8Bit(path));
        return !path.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : sampleDocument();
    }();
    return json;
}

} // namespace

// As the clipboard watcher runs it: from the clipboard's text to the text written back.
// Registered first: after the other benchmarks glibc hands out its large blocks afresh
// each time, and page faults, not the formatter, dominate the figure.
static void BM_PrettyPrint2MBText(benchmark::State& state)
{
    const QString text = QString::fromUtf8(document());
    for (auto _ : state)
        benchmark::DoNotOptimize(prettyPrintedJSON(text));
    state.SetBytesProcessed(state.iterations() * document().size());
}
BENCHMARK(BM_PrettyPrint2MBText)->Unit(benchmark::kMillisecond);

// The whole formatter on bytes, as `pelorin format-json` runs it.
static void BM_PrettyPrint2MB(benchmark::State& state)
{
    const QByteArray& json = document();
    for (auto _ : state)
        benchmark::DoNotOptimize(prettyPrintedJSON(QByteArrayView(json)));
    state.SetBytesProcessed(state.iterations() * json.size());
}
BENCHMARK(BM_PrettyPrint2MB)->Unit(benchmark::kMillisecond);

// The validator alone, the part that decides whether anything is written.
static void BM_Validate2MB(benchmark::State& state)
{
    const QByteArray& json = document();
    for (auto _ : state)
        benchmark::DoNotOptimize(isValidJson(QByteArrayView(json)));
    state.SetBytesProcessed(state.iterations() * json.size());
}
BENCHMARK(BM_Validate2MB)->Unit(benchmark::kMillisecond);

// `bench_json --write-document PATH [BYTES]` writes the number-heavy sample (2 MB unless
// BYTES says), `--write-text-document` the text-heavy one, for the side-by-side script.
int main(int argc, char** argv)
{
    const bool text = argc >= 2 && std::strcmp(argv[1], "--write-text-document") == 0;
    if ((argc == 3 || argc == 4) && (text || std::strcmp(argv[1], "--write-document") == 0)) {
        const qsizetype size = argc == 4 ? std::atoll(argv[3]) : 2'000'000;
        QFile file(QString::fromLocal8Bit(argv[2]));
        return size > 0 && file.open(QIODevice::WriteOnly)
                && file.write(text ? textDocument(size) : sampleDocument(size)) > 0
            ? 0
            : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
