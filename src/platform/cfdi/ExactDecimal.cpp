#include "platform/cfdi/ExactDecimal.h"

#include "platform/core/Error.h"

namespace zentaro::cfdi {

namespace {

constexpr int kMaxDecimals = 30;

[[noreturn]] void overflow()
{
    throw Error(QStringLiteral("Importe fuera de rango en el comprobante"));
}

Int128 pow10(int n)
{
    Int128 p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

Int128 checkedMul(Int128 a, Int128 b)
{
    Int128 r = 0;
    if (__builtin_mul_overflow(a, b, &r))
        overflow();
    return r;
}

Int128 checkedAdd(Int128 a, Int128 b)
{
    Int128 r = 0;
    if (__builtin_add_overflow(a, b, &r))
        overflow();
    return r;
}

} // namespace

std::optional<ExactDecimal> ExactDecimal::parse(QStringView text)
{
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text[0] == u'-';
    if (negative)
        ++i;
    Int128 mantissa = 0;
    int decimals = 0;
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            if (digits > 30 || (point && decimals >= kMaxDecimals))
                return std::nullopt;
            mantissa = mantissa * 10 + (c - u'0');
            ++digits;
            if (point)
                ++decimals;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    return ExactDecimal(negative ? -mantissa : mantissa, decimals);
}

ExactDecimal ExactDecimal::halfUnit(int decimals)
{
    return ExactDecimal(5, decimals + 1);
}

ExactDecimal ExactDecimal::withDecimals(int decimals) const
{
    if (decimals <= m_decimals)
        return *this;
    if (decimals > kMaxDecimals)
        overflow();
    return ExactDecimal(checkedMul(m_mantissa, pow10(decimals - m_decimals)), decimals);
}

ExactDecimal ExactDecimal::operator+(const ExactDecimal &other) const
{
    const int d = std::max(m_decimals, other.m_decimals);
    return ExactDecimal(checkedAdd(withDecimals(d).m_mantissa, other.withDecimals(d).m_mantissa), d);
}

ExactDecimal ExactDecimal::operator-(const ExactDecimal &other) const
{
    return *this + ExactDecimal(-other.m_mantissa, other.m_decimals);
}

ExactDecimal ExactDecimal::operator*(const ExactDecimal &other) const
{
    const int d = m_decimals + other.m_decimals;
    if (d > kMaxDecimals)
        overflow();
    return ExactDecimal(checkedMul(m_mantissa, other.m_mantissa), d);
}

ExactDecimal ExactDecimal::roundedHalfAway(int decimals) const
{
    if (decimals >= m_decimals)
        return *this;
    const Int128 step = pow10(m_decimals - decimals);
    Int128 q = m_mantissa / step;
    const Int128 r = m_mantissa % step;
    if ((r < 0 ? -r : r) * 2 >= step)
        q += m_mantissa < 0 ? -1 : 1;
    return ExactDecimal(q, decimals);
}

ExactDecimal ExactDecimal::truncated(int decimals) const
{
    if (decimals >= m_decimals)
        return *this;
    return ExactDecimal(m_mantissa / pow10(m_decimals - decimals), decimals);
}

ExactDecimal ExactDecimal::ceiled(int decimals) const
{
    if (decimals >= m_decimals)
        return *this;
    const Int128 step = pow10(m_decimals - decimals);
    Int128 q = m_mantissa / step;
    if (m_mantissa % step > 0)
        ++q;
    return ExactDecimal(q, decimals);
}

QString ExactDecimal::toFixed(int decimals) const
{
    const ExactDecimal r = roundedHalfAway(decimals).withDecimals(decimals);
    Int128 magnitude = r.m_mantissa < 0 ? -r.m_mantissa : r.m_mantissa;
    QString digits;
    do {
        digits.prepend(QChar(u'0' + static_cast<char16_t>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    if (decimals > 0) {
        digits = digits.rightJustified(decimals + 1, u'0');
        digits.insert(digits.size() - decimals, u'.');
    }
    return r.m_mantissa < 0 ? u'-' + digits : digits;
}

std::strong_ordering ExactDecimal::operator<=>(const ExactDecimal &other) const
{
    // Only the side with fewer decimals is widened. When widening overflows, that side's
    // magnitude is beyond anything the other can hold, so its sign decides: comparing two
    // amounts that parsed never throws.
    const int d = std::max(m_decimals, other.m_decimals);
    Int128 a = m_mantissa, b = other.m_mantissa;
    if (__builtin_mul_overflow(a, pow10(d - m_decimals), &a))
        return m_mantissa < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
    if (__builtin_mul_overflow(b, pow10(d - other.m_decimals), &b))
        return other.m_mantissa < 0 ? std::strong_ordering::greater : std::strong_ordering::less;
    return a < b ? std::strong_ordering::less : a > b ? std::strong_ordering::greater : std::strong_ordering::equal;
}

} // namespace zentaro::cfdi
