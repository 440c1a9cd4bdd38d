#include "platform/NotificationCenter.h"

namespace pelorin {

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::NotificationCenter(QObject* parent)
    : QObject(parent)
{
}

void NotificationCenter::post(const QString& name, const QVariant& object)
{
    Q_EMIT posted(name, object);
}

QMetaObject::Connection NotificationCenter::observe(const QString& name, const QObject* context,
                                                    std::function<void(const QVariant&)> handler)
{
    return connect(this, &NotificationCenter::posted, context,
                   [name, handler = std::move(handler)](const QString& posted, const QVariant& object) {
                       if (posted == name)
                           handler(object);
                   });
}

} // namespace pelorin
