#include "platform/core/LateBinding.h"

#include "platform/core/Error.h"

#include <QMetaMethod>

namespace zentaro::latebound {

namespace {

[[noreturn]] void unsupported(const char *member)
{
    throw Error(QStringLiteral("El objeto no admite esta propiedad o método: %1").arg(QLatin1String(member)));
}

void requireObject(const QObject *object)
{
    if (!object)
        throw Error(QStringLiteral("Variable de objeto no establecida"));
}

} // namespace

QVariant get(const QObject *object, const char *member)
{
    requireObject(object);
    const int index = object->metaObject()->indexOfProperty(member);
    if (index < 0)
        unsupported(member);
    return object->metaObject()->property(index).read(object);
}

void set(QObject *object, const char *member, const QVariant &value)
{
    requireObject(object);
    const int index = object->metaObject()->indexOfProperty(member);
    if (index < 0 || !object->metaObject()->property(index).write(object, value))
        unsupported(member);
}

QVariant call(QObject *object, const char *member, const QVariantList &arguments)
{
    requireObject(object);
    const QMetaObject *meta = object->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.name() != member || method.parameterCount() != arguments.size())
            continue;
        QVariantList converted;
        for (int p = 0; p < arguments.size(); ++p) {
            QVariant argument = arguments.at(p);
            if (!argument.convert(method.parameterMetaType(p)))
                throw Error(QStringLiteral("El argumento %1 de %2 no es del tipo esperado").arg(p + 1).arg(QLatin1String(member)));
            converted << argument;
        }
        QVariant result = method.returnMetaType().isValid() && method.returnMetaType().id() != QMetaType::Void
                              ? QVariant(method.returnMetaType()) : QVariant();
        auto arg = [&](int p) {
            return p < converted.size() ? QGenericArgument(converted[p].typeName(), converted[p].constData())
                                        : QGenericArgument();
        };
        const bool ok = result.isValid()
            ? method.invoke(object, Qt::DirectConnection,
                            QGenericReturnArgument(method.typeName(), result.data()), arg(0), arg(1), arg(2))
            : method.invoke(object, Qt::DirectConnection, arg(0), arg(1), arg(2));
        if (!ok)
            unsupported(member);
        return result;
    }
    unsupported(member);
}

} // namespace zentaro::latebound
