#include "platform/host/JsonLines.h"

#include "platform/core/Decimal.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>

namespace zentaro {

void JsonLines::write(const OrderedJson &object) const
{
    const QByteArray line = object.serialize();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), m_stream);
    std::fputc('\n', m_stream);
    std::fflush(m_stream);
}

void JsonLines::write(std::initializer_list<QPair<QString, OrderedJson>> members) const
{
    OrderedJson object = OrderedJson::object();
    for (const auto &member : members)
        object.insert(member.first, member.second);
    write(object);
}

QJsonValue toJson(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue::Null;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::Short:
        return value.toLongLong();
    case QMetaType::Double: case QMetaType::Float:
        return Decimal::fromDouble(value.toDouble()).toString().toDouble();
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::QObjectStar: {
        const QObject *object = value.value<QObject *>();
        return object ? QJsonValue(object->objectName()) : QJsonValue(QJsonValue::Null);
    }
    default:
        return value.toString();
    }
}

} // namespace zentaro
