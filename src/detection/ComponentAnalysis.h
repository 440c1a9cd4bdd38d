#pragma once

#include "detection/ComponentAnalysisResponse.h"
#include "net/ServiceError.h"

#include <QByteArray>
#include <QSizeF>
#include <QStringList>

#include <optional>
#include <vector>

namespace pelorin {

// The most components an answer may bring (a server's or a cached one): a screen holds a
// few hundred at most, and the overlay and list must stay quick. Those past it are dropped,
// with a log line.
inline constexpr int maxAcceptedComponents = 2000;

// Every key is required except "text"; each decoded component gets a new id. Throws
// DecodingError naming what is wrong.
ComponentAnalysisResponse decodeComponentAnalysisResponse(const QByteArray& json);
QByteArray encodeComponentAnalysisResponse(const ComponentAnalysisResponse& response);

// What went wrong in an analysis; description() is the sentence the user reads.
class VisionError : public ServiceError {
public:
    enum class Kind { rateLimited, serverError, imageConversionFailed, invalidResponse, notAuthenticated };

    static VisionError rateLimited(const QString& detail);
    static VisionError serverError(int statusCode, const QString& detail);
    static VisionError imageConversionFailed();
    static VisionError invalidResponse();
    static VisionError notAuthenticated();

    Kind kind() const { return m_kind; }
    int statusCode() const { return m_statusCode; }
    QString detail() const { return m_detail; }

private:
    VisionError(Kind kind, QString description, int statusCode = 0, QString detail = {});

    Kind m_kind;
    int m_statusCode;
    QString m_detail;
};

// The answer's components in the document's points: scaled by the base image's point size
// over the answer's image size, shifted down by `dy` (what a browser frame adds on top) and
// truncated toward zero. Each gets a new id and no highlight. Nothing when the answer's image
// size is not positive; a component whose box does not fit integers is left out.
std::optional<std::vector<DetectedComponent>> mapToDocument(const ComponentAnalysisResponse& response,
                                                            QSizeF basePointSize, double dy);

// The non-empty texts of the components, as a reader takes them in: top to bottom, left to
// right, a column read to its end before the next. A component whose box holds other
// components with text is left out: its text is theirs.
QStringList textsInReadingOrder(const std::vector<DetectedComponent>& components);

} // namespace pelorin
