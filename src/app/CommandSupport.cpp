#include "app/CommandSupport.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace pelorin {

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void quietQtMessages()
{
    if (qEnvironmentVariableIsEmpty("PELORIN_DEBUG"))
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        });
}

} // namespace pelorin
