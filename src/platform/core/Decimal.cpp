#include "platform/core/Decimal.h"

#include "platform/core/Error.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace zentaro {

namespace {

__extension__ typedef __int128 Int128;

[[noreturn]] void overflow()
{
    throw Error(QStringLiteral("Importe fuera de rango"));
}

std::int64_t checkedAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r))
        overflow();
    return r;
}

std::int64_t pow10(int n)
{
    std::int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// Divides rounding half away from zero.
Int128 divideRounded(Int128 value, Int128 divisor)
{
    const Int128 q = value / divisor;
    const Int128 r = value % divisor;
    const Int128 twice = (r < 0 ? -r : r) * 2;
    if (twice >= divisor)
        return value < 0 ? q - 1 : q + 1;
    return q;
}

std::int64_t narrow(Int128 value)
{
    if (value > std::numeric_limits<std::int64_t>::max() || value < std::numeric_limits<std::int64_t>::min())
        overflow();
    return static_cast<std::int64_t>(value);
}

} // namespace

Decimal Decimal::fromInt(std::int64_t value)
{
    return fromUnits(narrow(static_cast<Int128>(value) * kOne));
}

Decimal Decimal::fromDouble(double value)
{
    if (!std::isfinite(value))
        throw Error(QStringLiteral("El valor no es un número"));
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    const auto parsed = parse(QString::fromLatin1(buffer));
    if (!parsed)
        overflow();
    return *parsed;
}

std::optional<Decimal> Decimal::parse(QStringView text)
{
    text = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    Int128 mantissa = 0;
    int decimals = 0;
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit()) {
            if (mantissa > (Int128(1) << 100))
                return std::nullopt;
            mantissa = mantissa * 10 + c.digitValue();
            ++digits;
            if (point)
                ++decimals;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return std::nullopt;
    int exponent = 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        bool ok = false;
        exponent = text.mid(i + 1).toInt(&ok);
        if (!ok || exponent > 30 || exponent < -30)
            return std::nullopt;
        i = text.size();
    }
    if (i != text.size())
        return std::nullopt;
    int shift = kScale - decimals + exponent;   // power of ten to reach millionths
    Int128 units = mantissa;
    if (shift >= 0) {
        for (int k = 0; k < shift; ++k) {
            units *= 10;
            if (units > std::numeric_limits<std::int64_t>::max())
                return std::nullopt;
        }
    } else {
        Int128 divisor = 1;
        for (int k = 0; k < -shift && k < 38; ++k)
            divisor *= 10;
        units = divideRounded(units, divisor);
    }
    if (negative)
        units = -units;
    if (units > std::numeric_limits<std::int64_t>::max() || units < std::numeric_limits<std::int64_t>::min())
        return std::nullopt;
    return fromUnits(static_cast<std::int64_t>(units));
}

Decimal Decimal::fromVariant(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
        return fromInt(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(value.toDouble());
    case QMetaType::Bool:
        return fromInt(value.toBool() ? 1 : 0);
    default: {
        const QString text = value.toString();
        if (text.trimmed().isEmpty())
            return {};
        if (const auto parsed = parse(text))
            return *parsed;
        throw Error(QStringLiteral("El valor \"%1\" no es un número").arg(text));
    }
    }
}

Decimal Decimal::rounded(int decimals) const
{
    if (decimals >= kScale)
        return *this;
    const std::int64_t step = pow10(kScale - decimals);
    return fromUnits(narrow(divideRounded(m_units, step) * step));
}

QString Decimal::toFixed(int decimals) const
{
    const Decimal r = rounded(decimals);
    const bool negative = r.m_units < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(r.m_units)
                                                  : static_cast<unsigned long long>(r.m_units);
    QString text = QString::number(magnitude / kOne);
    if (decimals > 0) {
        const unsigned long long fraction = (magnitude % kOne) / static_cast<unsigned long long>(pow10(kScale - decimals));
        text += u'.' + QString::number(fraction).rightJustified(decimals, u'0');
    }
    return negative && magnitude != 0 ? u'-' + text : text;
}

QString Decimal::toString() const
{
    QString text = toFixed(kScale);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

Decimal Decimal::operator+(Decimal other) const { return fromUnits(checkedAdd(m_units, other.m_units)); }
Decimal Decimal::operator-(Decimal other) const { return *this + (-other); }

Decimal Decimal::operator-() const
{
    if (m_units == std::numeric_limits<std::int64_t>::min())
        overflow();
    return fromUnits(-m_units);
}

Decimal Decimal::operator*(Decimal other) const
{
    return fromUnits(narrow(divideRounded(static_cast<Int128>(m_units) * other.m_units, kOne)));
}

} // namespace zentaro
