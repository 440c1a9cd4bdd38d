#include "platform/SystemLog.h"

#include <cstdio>

namespace pelorin {

void systemLog(const QString& message)
{
    const QByteArray line = "Pelorin: " + message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace pelorin
