#pragma once

#include "platform/core/OrderedJson.h"

#include <QJsonValue>
#include <QString>
#include <QVariant>

#include <cstdio>
#include <memory>

namespace zentaro {

// Writes one JSON object a line, UTF-8, to a stream (standard output by default).
class JsonLines
{
public:
    explicit JsonLines(FILE *stream = stdout) : m_stream(stream) {}
    void write(const OrderedJson &object) const;
    void write(std::initializer_list<QPair<QString, OrderedJson>> members) const;

private:
    FILE *m_stream;
};

// A value as the script output shows it: objects by their name, numbers as numbers.
QJsonValue toJson(const QVariant &value);

} // namespace zentaro
