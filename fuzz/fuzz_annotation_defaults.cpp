// The settings file as the annotation defaults read it: any content gives every default a
// usable value (a damaged or mistyped entry reads as missing).

#include "FuzzSupport.h"

#include "editor/AnnotationDefaultsStore.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>

using namespace pelorin;

namespace {
QTemporaryDir* folder = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    // A file is written for every input: in memory where the system offers it.
    const QString shm = QStringLiteral("/dev/shm");
    folder = QDir(shm).exists() ? new QTemporaryDir(shm + QStringLiteral("/pelorin-fuzz-XXXXXX")) : new QTemporaryDir;
    return folder->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A new name each time: QSettings caches a file it has read by name, size and time.
    static quint64 counter = 0;
    const QString path = folder->filePath(QStringLiteral("Pelorin-%1.json").arg(++counter));
    {
        QFile file(path);
        PELORIN_FUZZ_CHECK(file.open(QIODevice::WriteOnly));
        PELORIN_FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    {
        SettingsStore settings(path);
        AnnotationDefaultsStore defaults(settings);
        namespace Keys = AnnotationDefaultKeys;
        for (const char* key : {Keys::textFontSize, Keys::textStrokeWidth, Keys::arrowStrokeWidth,
                                Keys::shapeStrokeWidth, Keys::shapeCornerRadius, Keys::redactCornerRadius}) {
            const double value = defaults.number(key);
            (void)value;
        }
        for (const char* key : {Keys::textIsItalic, Keys::shapeIsFilled})
            (void)defaults.flag(key);
        if (const std::optional<QColor> color = defaults.color(Keys::color))
            PELORIN_FUZZ_CHECK(color->isValid());
        PELORIN_FUZZ_CHECK(defaults.textStrokeColor().isValid());
        (void)defaults.textFontWeight();
        (void)defaults.textDesign();
        (void)defaults.arrowStyle();
        (void)defaults.shapeType();
    }
    // Whatever the store left beside the file (a lock, a copy set aside) goes now and then.
    QFile::remove(path);
    if (counter % 1000 == 0) {
        QDir(folder->path()).removeRecursively();
        QDir().mkpath(folder->path());
    }
    return 0;
}
