#pragma once

#include <QObject>
#include <QVariant>

namespace zentaro::latebound {

// Reads a property of an object by name, as a screen reads its host object. Throws
// zentaro::Error when the object is missing or has no such property.
QVariant get(const QObject *object, const char *member);
void set(QObject *object, const char *member, const QVariant &value);
// Calls an invokable method by name with up to three arguments and gives its result.
QVariant call(QObject *object, const char *member, const QVariantList &arguments = {});

} // namespace zentaro::latebound
