#include "core/Version.h"

#include <QList>

#include <algorithm>

namespace pelorin {

namespace {

QList<qulonglong> versionNumbers(QStringView version)
{
    QList<qulonglong> numbers;
    for (QStringView piece : version.split(u'.', Qt::SkipEmptyParts)) {
        QString digits;
        for (QChar c : piece) {
            if (c >= u'0' && c <= u'9')
                digits += c;
        }
        bool ok = false;
        const qulonglong number = digits.toULongLong(&ok);
        numbers << (ok ? number : 0);
    }
    return numbers;
}

} // namespace

bool isNewer(QStringView a, QStringView b)
{
    const QList<qulonglong> left = versionNumbers(a);
    const QList<qulonglong> right = versionNumbers(b);
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const qulonglong x = i < left.size() ? left[i] : 0;
        const qulonglong y = i < right.size() ? right[i] : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

} // namespace pelorin
