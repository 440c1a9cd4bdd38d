#pragma once

// Shared by the fuzz targets: each defines LLVMFuzzerTestOneInput and, where Qt needs an
// application object (settings files, image plug-ins), creates one in LLVMFuzzerInitialize.

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace pelorin::fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A property that must hold for every input: libFuzzer keeps the input as a crash.
#define PELORIN_FUZZ_CHECK(condition)                                                                                 \
    do {                                                                                                              \
        if (!(condition)) {                                                                                           \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #condition);             \
            std::abort();                                                                                             \
        }                                                                                                             \
    } while (false)

inline void startApplication(int* argc, char*** argv)
{
    static QCoreApplication* application = nullptr;
    if (!application) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Warnings about each malformed input would drown the fuzzer's own report.
        qputenv("QT_LOGGING_RULES", "*.warning=false");
        application = new QCoreApplication(*argc, *argv);
    }
}

} // namespace pelorin::fuzz
