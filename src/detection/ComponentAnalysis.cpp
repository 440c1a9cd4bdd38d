#include "detection/ComponentAnalysis.h"

#include "platform/SystemLog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRectF>

#include <cmath>
#include <limits>

namespace pelorin {

namespace {

[[noreturn]] void fail(const QString& what)
{
    throw DecodingError(QStringLiteral("The analysis answer is not valid: ") + what);
}

QString requiredString(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        fail(QStringLiteral("\"%1\" must be a string").arg(QLatin1String(key)));
    return value.toString();
}

int requiredInteger(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    const double number = value.toDouble(std::numeric_limits<double>::quiet_NaN());
    // A fraction or a number beyond int is no integer; truncating it would move the box.
    if (!value.isDouble() || !std::isfinite(number) || std::trunc(number) != number ||
        number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        fail(QStringLiteral("\"%1\" must be an integer").arg(QLatin1String(key)));
    return int(number);
}

// x · scale (+ offset) truncated toward zero, or nothing when that is no int.
std::optional<int> scaled(int value, double scale, double offset)
{
    const double result = std::trunc(value * scale + offset);
    if (!std::isfinite(result) || result < std::numeric_limits<int>::min() || result > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(result);
}

} // namespace

ComponentAnalysisResponse decodeComponentAnalysisResponse(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        fail(QStringLiteral("not a JSON object"));
    const QJsonObject root = document.object();
    const QJsonValue list = root.value(QLatin1String("components"));
    if (!list.isArray())
        fail(QStringLiteral("\"components\" must be a list"));

    ComponentAnalysisResponse response;
    const QJsonArray entries = list.toArray();
    if (entries.size() > maxAcceptedComponents)
        systemLog(QStringLiteral("the analysis holds %1 components; the first %2 are kept").arg(entries.size()).arg(maxAcceptedComponents));
    for (const QJsonValue& entry : entries) {
        if (int(response.components.size()) == maxAcceptedComponents)
            break;
        if (!entry.isObject())
            fail(QStringLiteral("a component must be an object"));
        const QJsonObject object = entry.toObject();
        DetectedComponent component;
        component.label = requiredString(object, "label");
        const QJsonValue text = object.value(QLatin1String("text"));
        if (text.isString())
            component.text = text.toString();
        else if (!text.isUndefined() && !text.isNull())
            fail(QStringLiteral("\"text\" must be a string"));
        component.type = requiredString(object, "type");
        component.x1 = requiredInteger(object, "x1");
        component.y1 = requiredInteger(object, "y1");
        component.x2 = requiredInteger(object, "x2");
        component.y2 = requiredInteger(object, "y2");
        response.components.push_back(std::move(component));
    }
    response.imageWidth = requiredInteger(root, "image_width");
    response.imageHeight = requiredInteger(root, "image_height");
    return response;
}

QByteArray encodeComponentAnalysisResponse(const ComponentAnalysisResponse& response)
{
    QJsonArray list;
    for (const DetectedComponent& c : response.components) {
        QJsonObject object{{QStringLiteral("label"), c.label}, {QStringLiteral("type"), c.type},
                           {QStringLiteral("x1"), c.x1},       {QStringLiteral("y1"), c.y1},
                           {QStringLiteral("x2"), c.x2},       {QStringLiteral("y2"), c.y2}};
        if (c.text)
            object.insert(QStringLiteral("text"), *c.text);
        list.append(object);
    }
    const QJsonObject root{{QStringLiteral("components"), list},
                           {QStringLiteral("image_width"), response.imageWidth},
                           {QStringLiteral("image_height"), response.imageHeight}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

VisionError::VisionError(Kind kind, QString description, int statusCode, QString detail)
    : ServiceError(std::move(description))
    , m_kind(kind)
    , m_statusCode(statusCode)
    , m_detail(std::move(detail))
{
}

VisionError VisionError::rateLimited(const QString& detail)
{
    return VisionError(Kind::rateLimited, detail, 429, detail);
}

VisionError VisionError::serverError(int statusCode, const QString& detail)
{
    return VisionError(Kind::serverError, QStringLiteral("Server error (") + QString::number(statusCode) + QStringLiteral("): ") + detail, statusCode,
                       detail);
}

VisionError VisionError::imageConversionFailed()
{
    return VisionError(Kind::imageConversionFailed, QStringLiteral("Failed to convert image to PNG"));
}

VisionError VisionError::invalidResponse()
{
    return VisionError(Kind::invalidResponse, QStringLiteral("Invalid response from vision server"));
}

VisionError VisionError::notAuthenticated()
{
    return VisionError(Kind::notAuthenticated,
                       QStringLiteral("Sign in to your Pelorin account to use Analyze (Settings → Account)."));
}

std::optional<std::vector<DetectedComponent>> mapToDocument(const ComponentAnalysisResponse& response,
                                                            QSizeF basePointSize, double dy)
{
    if (response.imageWidth <= 0 || response.imageHeight <= 0)
        return std::nullopt;
    const double sx = basePointSize.width() / response.imageWidth;
    const double sy = basePointSize.height() / response.imageHeight;
    std::vector<DetectedComponent> mapped;
    mapped.reserve(response.components.size());
    for (const DetectedComponent& c : response.components) {
        const auto x1 = scaled(c.x1, sx, 0), y1 = scaled(c.y1, sy, dy);
        const auto x2 = scaled(c.x2, sx, 0), y2 = scaled(c.y2, sy, dy);
        if (!x1 || !y1 || !x2 || !y2)
            continue;
        DetectedComponent out;
        out.label = c.label;
        out.text = c.text;
        out.type = c.type;
        out.x1 = *x1;
        out.y1 = *y1;
        out.x2 = *x2;
        out.y2 = *y2;
        mapped.push_back(std::move(out));
    }
    return mapped;
}

namespace {

struct Placed {
    QRectF box;
    QString text;
};

// Splits `items` where nothing spans the gap along one axis; the pieces in order, or one
// piece when there is no gap at least `minimumGap` wide.
std::vector<std::vector<Placed>> cut(std::vector<Placed> items, bool acrossX, double minimumGap)
{
    const auto start = [acrossX](const Placed& p) { return acrossX ? p.box.left() : p.box.top(); };
    const auto end = [acrossX](const Placed& p) { return acrossX ? p.box.right() : p.box.bottom(); };
    std::stable_sort(items.begin(), items.end(), [&](const Placed& a, const Placed& b) { return start(a) < start(b); });
    std::vector<std::vector<Placed>> pieces(1);
    double reach = -std::numeric_limits<double>::infinity();
    for (Placed& item : items) {
        if (!pieces.back().empty() && start(item) - reach >= minimumGap)
            pieces.emplace_back();
        reach = std::max(reach, end(item));
        pieces.back().push_back(std::move(item));
    }
    return pieces;
}

void readInto(std::vector<Placed> items, double columnGap, QStringList& out)
{
    if (items.size() == 1) {
        out.append(items.front().text);
        return;
    }
    // A gutter wider than a line is high divides columns: each is read to its end. Otherwise
    // rows top to bottom, and what shares a row left to right.
    std::vector<std::vector<Placed>> pieces = cut(items, true, columnGap);
    if (pieces.size() == 1)
        pieces = cut(std::move(items), false, 0);
    if (pieces.size() == 1)
        pieces = cut(std::move(pieces.front()), true, 0);
    if (pieces.size() == 1) {
        // Overlapping every way: by top edge, then left edge.
        std::stable_sort(pieces.front().begin(), pieces.front().end(), [](const Placed& a, const Placed& b) {
            return std::pair(a.box.top(), a.box.left()) < std::pair(b.box.top(), b.box.left());
        });
        for (const Placed& p : pieces.front())
            out.append(p.text);
        return;
    }
    for (std::vector<Placed>& piece : pieces)
        readInto(std::move(piece), columnGap, out);
}

} // namespace

QStringList textsInReadingOrder(const std::vector<DetectedComponent>& components)
{
    std::vector<Placed> withText;
    for (const DetectedComponent& c : components) {
        if (c.text && !c.text->isEmpty())
            withText.push_back({QRectF(QPointF(c.x1, c.y1), QPointF(c.x2, c.y2)).normalized(), *c.text});
    }
    std::vector<Placed> leaves;
    std::vector<double> heights;
    for (const Placed& p : withText) {
        const bool holdsOthers = std::any_of(withText.begin(), withText.end(), [&](const Placed& other) {
            return other.box.width() * other.box.height() < p.box.width() * p.box.height() &&
                   p.box.contains(other.box.center());
        });
        if (!holdsOthers) {
            leaves.push_back(p);
            heights.push_back(p.box.height());
        }
    }
    QStringList out;
    if (leaves.empty())
        return out;
    std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
    readInto(std::move(leaves), std::max(1.0, heights[heights.size() / 2]), out);
    return out;
}

} // namespace pelorin
