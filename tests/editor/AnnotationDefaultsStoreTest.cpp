#include "editor/AnnotationDefaultsStore.h"

#include "TestSupport.h"
#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <variant>

namespace pelorin {
namespace {

namespace Keys = AnnotationDefaultKeys;

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

// The file as JSON, to see exactly what was written.
QJsonObject storedJson(const test::TempSettings& settings)
{
    QFile file(settings.path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Numbers are read as stored only when they are numbers; colours only as arrays of exactly four
// numbers with an alpha within 0…1. Every case is read twice: straight after writing, and after
// a restart, when the JSON file has turned whole numbers into integers.
TEST(AnnotationDefaultsStoreTest, StoredValuesAreReadOnlyWhenWellFormed)
{
    const std::optional<QColor> none;
    struct Case { const char* name; const char* key; QVariant stored; std::variant<double, std::optional<QColor>> expected; };
    const Case cases[] = {
        {"missing number", Keys::textFontSize, {}, 24.0},
        {"zero", Keys::textFontSize, 0, 0.0},
        {"fraction", Keys::textFontSize, 12.5, 12.5},
        {"negative", Keys::textFontSize, -3, -3.0},
        {"numeric string", Keys::textFontSize, QStringLiteral("30"), 24.0},
        {"bool", Keys::textFontSize, true, 24.0},
        {"list", Keys::textFontSize, QVariantList{1, 2}, 24.0},
        {"missing colour", Keys::color, {}, none},
        {"whole numbers", Keys::color, QVariantList{1, 0, 0, 1}, QColor::fromRgbF(1, 0, 0, 1)},
        {"fractions", Keys::color, QVariantList{0.5, 0.25, 1.0, 0.5}, QColor::fromRgbF(0.5f, 0.25f, 1, 0.5f)},
        {"three numbers", Keys::color, QVariantList{1, 0, 0}, none},
        {"five numbers", Keys::color, QVariantList{1, 0, 0, 1, 1}, none},
        {"strings", Keys::color, QVariantList{QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1")}, none},
        {"a bool among numbers", Keys::color, QVariantList{1, 0, true, 1}, none},
        {"a name", Keys::color, QStringLiteral("red"), none},
        {"a number", Keys::color, 1, none},
        {"alpha above one", Keys::color, QVariantList{1, 0.2, 0.2, 2}, none},
        {"negative alpha", Keys::color, QVariantList{1, 0.2, 0.2, -0.5}, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempSettings settings;
        if (c.stored.isValid())
            settings.store().setValue(key(c.key), c.stored);
        const auto check = [&c](const AnnotationDefaultsStore& store) {
            if (const double* number = std::get_if<double>(&c.expected)) {
                EXPECT_EQ(store.number(c.key, 24), *number);
                EXPECT_EQ(store.number(c.key), *number) << "the key's own default";
            } else {
                EXPECT_EQ(store.color(c.key), std::get<std::optional<QColor>>(c.expected));
            }
        };
        check(AnnotationDefaultsStore(settings.store()));
        check(AnnotationDefaultsStore(settings.reopen()));
    }
}

// Written in sRGB, whatever the colour's own model; an invalid colour writes nothing.
TEST(AnnotationDefaultsStoreTest, ColorsComeBackAsTheyWereSet)
{
    const QColor hsv = QColor::fromHsvF(0.6f, 0.5f, 0.8f, 0.75f);
    test::TempSettings settings;
    AnnotationDefaultsStore store(settings.store());
    store.setColor(hsv, Keys::color);
    store.setColor(QColor(), Keys::color);
    EXPECT_EQ(AnnotationDefaultsStore(settings.reopen()).color(Keys::color).value_or(QColor()).rgba(), hsv.rgba());
}

TEST(AnnotationDefaultsStoreTest, EnumerationsFallBackOnUnknownValues)
{
    for (const QVariant& stored : {QVariant(), QVariant(QStringLiteral("hexagon")), QVariant(QStringLiteral("Bold")), QVariant(2)}) {
        SCOPED_TRACE(stored.toString().toStdString());
        test::TempSettings settings;
        for (const char* name : {Keys::textDesign, Keys::arrowStyle, Keys::shapeType, Keys::textFontWeight}) {
            if (stored.isValid())
                settings.store().setValue(key(name), stored);
        }
        const AnnotationDefaultsStore store(settings.reopen());
        EXPECT_EQ(store.textDesign(), TextDesign::standard);
        EXPECT_EQ(store.arrowStyle(), ArrowStyle::single);
        EXPECT_EQ(store.shapeType(), ShapeType::roundedRectangle);
        EXPECT_EQ(store.textFontWeight(), FontWeight::semibold);
    }
}

TEST(AnnotationDefaultsStoreTest, RecordWritesTheStyleOfItsKindOnly)
{
    TextAnnotation text = TextAnnotation::make({10, 10}, Qt::green);
    text.fontSize = 0;
    text.fontWeight = FontWeight::heavy;
    text.design = TextDesign::mono;
    text.isItalic = true;
    text.strokeWidth = 3;
    text.strokeColor = QColor::fromRgbF(0, 0, 1, 1);
    text.backgroundColor = Qt::black;
    text.padding = 20;

    ArrowAnnotation arrow = ArrowAnnotation::make({0, 0}, {10, 10}, Qt::green);
    arrow.strokeWidth = 12;
    arrow.style = ArrowStyle::double_;

    ShapeAnnotation shape = ShapeAnnotation::make({0, 0, 40, 40}, Qt::green);
    shape.strokeWidth = 2;
    shape.shapeType = ShapeType::circle;
    shape.cornerRadius = 0;
    shape.fillColor = QColor(0, 255, 0, 64);

    RedactAnnotation redact = RedactAnnotation::make({0, 0, 40, 40}, Qt::green);
    redact.cornerRadius = 10;
    redact.redactStyle = RedactStyle::pixelate;

    struct Case { const char* name; Annotation annotation; QJsonObject expected; };
    const Case cases[] = {
        {"text", text,
         {{key(Keys::textFontSize), 0}, {key(Keys::textFontWeight), QStringLiteral("semibold")},
          {key(Keys::textDesign), QStringLiteral("mono")}, {key(Keys::textIsItalic), true},
          {key(Keys::textStrokeWidth), 3}, {key(Keys::textStrokeColor), QJsonArray{0, 0, 1, 1}}}},
        {"arrow", arrow, {{key(Keys::arrowStrokeWidth), 12}, {key(Keys::arrowStyle), QStringLiteral("double")}}},
        {"shape", shape,
         {{key(Keys::shapeStrokeWidth), 2}, {key(Keys::shapeType), QStringLiteral("circle")},
          {key(Keys::shapeCornerRadius), 0}, {key(Keys::shapeIsFilled), true}}},
        {"redaction", redact, {{key(Keys::redactCornerRadius), 10}}},
        {"pen, its colour left to the shared key", StrokeAnnotation::make(StrokeKind::pen, {{0, 0}, {5, 5}}, Qt::green, 9),
         {{key(Keys::penStrokeWidth), 9}}},
        {"highlighter, with its own colour",
         StrokeAnnotation::make(StrokeKind::highlighter, {{0, 0}, {5, 5}}, QColor::fromRgbF(0, 1, 0, 1), 30),
         {{key(Keys::highlighterStrokeWidth), 30}, {key(Keys::highlighterColor), QJsonArray{0, 1, 0, 1}}}},
        {"step", StepAnnotation::make({10, 10}, 3, Qt::green, 48), {{key(Keys::stepSize), 48}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempSettings settings;
        AnnotationDefaultsStore(settings.store()).record(c.annotation);
        EXPECT_EQ(storedJson(settings), c.expected);
    }
}

} // namespace
} // namespace pelorin
