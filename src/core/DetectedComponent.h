#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace pelorin {

// One labelled UI component found in the screenshot; coordinates are document points.
struct DetectedComponent {
    QUuid id = QUuid::createUuid();
    QString label;
    std::optional<QString> text;
    QString type;
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    bool isHighlighted = false;
    bool operator==(const DetectedComponent&) const = default;
};

} // namespace pelorin
