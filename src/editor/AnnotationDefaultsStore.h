#pragma once

#include "core/Annotation.h"

#include <QAnyStringView>
#include <QColor>
#include <QString>
#include <QVariantMap>

#include <optional>

namespace pelorin {

class SettingsStore;

// The keys under which the last chosen annotation style is remembered. The colour is shared
// by every kind; the rest belong to one kind each.
namespace AnnotationDefaultKeys {
inline constexpr const char* color = "annotationDefault.color";
inline constexpr const char* textFontSize = "annotationDefault.text.fontSize";
inline constexpr const char* textFontWeight = "annotationDefault.text.fontWeight";
inline constexpr const char* textDesign = "annotationDefault.text.design";
inline constexpr const char* textIsItalic = "annotationDefault.text.isItalic";
inline constexpr const char* textStrokeWidth = "annotationDefault.text.strokeWidth";
inline constexpr const char* textStrokeColor = "annotationDefault.text.strokeColor";
inline constexpr const char* arrowStrokeWidth = "annotationDefault.arrow.strokeWidth";
inline constexpr const char* arrowStyle = "annotationDefault.arrow.style";
inline constexpr const char* shapeType = "annotationDefault.shape.type";
inline constexpr const char* shapeStrokeWidth = "annotationDefault.shape.strokeWidth";
inline constexpr const char* shapeCornerRadius = "annotationDefault.shape.cornerRadius";
inline constexpr const char* shapeIsFilled = "annotationDefault.shape.isFilled";
inline constexpr const char* redactCornerRadius = "annotationDefault.redact.cornerRadius";
inline constexpr const char* penStrokeWidth = "annotationDefault.pen.strokeWidth";
// The highlighter keeps a colour of its own (yellow until one is chosen).
inline constexpr const char* highlighterColor = "annotationDefault.highlighter.color";
inline constexpr const char* highlighterStrokeWidth = "annotationDefault.highlighter.strokeWidth";
inline constexpr const char* stepSize = "annotationDefault.step.size";
} // namespace AnnotationDefaultKeys

// The style new annotations start from: the last one the user chose, per kind. Every read
// goes to the settings store, so changes made through any handle are seen at once.
//
// A key holding a value of another type reads as missing. Presence, not value, decides: a
// stored 0 reads as 0.
class AnnotationDefaultsStore {
public:
    explicit AnnotationDefaultsStore(SettingsStore& settings);

    static QString colorKey() { return QString::fromLatin1(AnnotationDefaultKeys::color); }

    // The stored number, else `fallback`.
    double number(QAnyStringView key, double fallback) const;
    // The stored number, else the key's default (0 for a key without a numeric default).
    double number(QAnyStringView key) const;
    void setNumber(QAnyStringView key, double value);
    // The store's plain boolean read: missing is false.
    bool flag(QAnyStringView key) const;
    void setFlag(QAnyStringView key, bool value);

    // Colours are stored as [red, green, blue, alpha] in sRGB; anything but an array of
    // exactly four numbers reads as none.
    std::optional<QColor> color(QAnyStringView key) const;
    // Writes nothing for a colour that cannot be expressed in sRGB.
    void setColor(const QColor& color, QAnyStringView key);

    // Only regular and bold are remembered as such; every other weight reads back as semibold.
    FontWeight textFontWeight() const;
    void setTextFontWeight(FontWeight weight);
    TextDesign textDesign() const;
    void setTextDesign(TextDesign design);
    ArrowStyle arrowStyle() const;
    void setArrowStyle(ArrowStyle style);
    ShapeType shapeType() const;
    void setShapeType(ShapeType type);
    // The text outline colour, white when none is remembered.
    QColor textStrokeColor() const;
    QColor highlighterColor() const;

    // Remembers the style of `annotation` for new annotations of its kind. Its colour is left
    // alone (the shared colour follows the editor's colour picker instead), except for a
    // highlighter, whose colour is its own.
    void record(const Annotation& annotation);

private:
    void recordEach(const Annotation& annotation);
    void write(const QString& key, const QVariant& value);
    void setString(QAnyStringView key, const QString& value);
    template <typename E>
    E enumeration(QAnyStringView key, E fallback) const;

    SettingsStore& m_settings;
    QVariantMap* m_batch = nullptr; // collects the writes of one record
};

} // namespace pelorin
