#include "platform/core/Decimal.h"

#include "platform/core/Error.h"

#include <cmath>
#include <algorithm>
#include <charconv>
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

// Divides rounding as asked.
Int128 divide(Int128 value, Int128 divisor, Decimal::Rounding mode)
{
    if (mode == Decimal::Rounding::HalfAwayFromZero)
        return divideRounded(value, divisor);
    Int128 q = value / divisor;   // toward zero
    const Int128 r = value % divisor;
    if (r != 0 && mode == Decimal::Rounding::Floor && value < 0)
        --q;
    if (r != 0 && mode == Decimal::Rounding::Ceiling && value > 0)
        ++q;
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
    // Most amounts are doubles of decimals with at most six places: the nearest count of
    // millionths divides back to the very same double. Only the others need their text.
    if (std::fabs(value) < 9e9) {
        const double scaled = std::round(value * double(kOne));
        if (scaled / double(kOne) == value)
            return fromUnits(static_cast<std::int64_t>(scaled));
    }
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    const auto parsed = parse(QString::fromLatin1(buffer, written.ptr - buffer));
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
        const char16_t c = text[i].unicode();
        // Only ASCII digits: QChar::isDigit() would also take Arabic-Indic or full-width ones,
        // which no engine writes and no clerk means as an amount.
        if (c >= u'0' && c <= u'9') {
            if (mantissa > (Int128(1) << 100))
                return std::nullopt;
            mantissa = mantissa * 10 + (c - u'0');
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
        // An optional sign and ASCII digits, nothing else (toInt() would skip blanks).
        const QStringView digitsOfExponent = text.mid(i + 1);
        const qsizetype signs = !digitsOfExponent.isEmpty() && (digitsOfExponent[0] == u'-' || digitsOfExponent[0] == u'+');
        if (digitsOfExponent.size() == signs)
            return std::nullopt;
        for (qsizetype k = signs; k < digitsOfExponent.size(); ++k)
            if (digitsOfExponent[k] < u'0' || digitsOfExponent[k] > u'9')
                return std::nullopt;
        bool ok = false;
        const long long wide = digitsOfExponent.toLongLong(&ok);
        // Far below a millionth the value is zero (a double's 1e-300 is a real amount of
        // nothing); far above, only a zero fits.
        if (!ok || wide > 1000 || wide < -1000) {
            if (mantissa == 0 || digitsOfExponent[0] == u'-')
                return Decimal();
            return std::nullopt;
        }
        exponent = int(wide);
        i = text.size();
    }
    if (i != text.size())
        return std::nullopt;
    if (mantissa == 0)
        return Decimal();
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

Decimal Decimal::rounded(int decimals, Rounding mode) const
{
    if (decimals >= kScale)
        return *this;
    const std::int64_t step = pow10(kScale - std::max(decimals, 0));
    return fromUnits(narrow(divide(m_units, step, mode) * step));
}

Decimal Decimal::times(Decimal other, int decimals, Rounding mode) const
{
    decimals = std::clamp(decimals, 0, kScale);
    const Int128 step = static_cast<Int128>(kOne) * pow10(kScale - decimals);
    const Int128 product = static_cast<Int128>(m_units) * other.m_units;   // in 1e-12
    return fromUnits(narrow(divide(product, step, mode) * pow10(kScale - decimals)));
}

Decimal Decimal::unit(int decimals) { return fromUnits(pow10(kScale - std::clamp(decimals, 0, kScale))); }

QString Decimal::toFixed(int decimals) const
{
    // Beyond six places the digits are zeros: they are written as such.
    const int padding = std::max(decimals - kScale, 0);
    decimals = std::clamp(decimals, 0, kScale);
    const Decimal r = rounded(decimals);
    const bool negative = r.m_units < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(r.m_units)
                                            : static_cast<unsigned long long>(r.m_units);
    // Written from the right into a buffer and turned into text once.
    char buffer[72];
    char *p = buffer + sizeof buffer;
    for (int i = 0; i < padding && i < 30; ++i)
        *--p = '0';
    const unsigned long long whole = magnitude / kOne;
    unsigned long long fraction = (magnitude % kOne) / static_cast<unsigned long long>(pow10(kScale - decimals));
    for (int i = 0; i < decimals; ++i, fraction /= 10)
        *--p = char('0' + fraction % 10);
    if (decimals > 0 || padding > 0)
        *--p = '.';
    unsigned long long rest = whole;
    do {
        *--p = char('0' + rest % 10);
        rest /= 10;
    } while (rest > 0);
    if (negative && r.m_units != 0)
        *--p = '-';
    return QString::fromLatin1(p, buffer + sizeof buffer - p);
}

QString Decimal::toString() const
{
    QString text = toFixed(kScale);
    qsizetype cut = text.size();
    while (text.at(cut - 1) == u'0')
        --cut;
    if (text.at(cut - 1) == u'.')
        --cut;
    text.truncate(cut);
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
