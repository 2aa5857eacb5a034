#pragma once

#include <QString>

namespace qx417 {

// A configuration flag read as stored ("1", "-1", "SI", "true"); empty or missing is false.
inline bool isOn(const QString &value)
{
    const QString v = value.trimmed();
    bool number = false;
    const double n = v.toDouble(&number);
    if (number)
        return n != 0;
    return v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
        || v.compare(QLatin1String("si"), Qt::CaseInsensitive) == 0
        || v.compare(QLatin1String("verdadero"), Qt::CaseInsensitive) == 0;
}

} // namespace qx417
