#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <optional>

namespace zentaro::cfdi {

__extension__ typedef __int128 Int128;

// Exact decimal arithmetic on the amounts written in a CFDI. It keeps every decimal of a
// product ((Cantidad + ½ unit) × (ValorUnitario + ½ unit) has up to 14), which the six
// decimals of zentaro::Decimal cannot, and SAT's tolerance limits are defined on those exact
// products. Overflow throws zentaro::Error.
class ExactDecimal
{
public:
    ExactDecimal() = default;
    // Plain text as the XSD allows it: optional '-', digits, optional point and decimals.
    static std::optional<ExactDecimal> parse(QStringView text);
    // Half of the last unit of a number written with `decimals` decimals: 0.005 for 2.
    static ExactDecimal halfUnit(int decimals);

    int decimals() const { return m_decimals; }
    bool isZero() const { return m_mantissa == 0; }

    ExactDecimal operator+(const ExactDecimal &other) const;
    ExactDecimal operator-(const ExactDecimal &other) const;
    ExactDecimal operator*(const ExactDecimal &other) const;
    ExactDecimal &operator+=(const ExactDecimal &other) { return *this = *this + other; }

    ExactDecimal roundedHalfAway(int decimals) const;
    ExactDecimal truncated(int decimals) const; // toward zero
    ExactDecimal ceiled(int decimals) const;    // toward +infinity

    // Exactly `decimals` decimals, rounding half away from zero.
    QString toFixed(int decimals) const;

    std::strong_ordering operator<=>(const ExactDecimal &other) const;
    bool operator==(const ExactDecimal &other) const { return (*this <=> other) == 0; }

private:
    ExactDecimal(Int128 mantissa, int decimals) : m_mantissa(mantissa), m_decimals(decimals) {}
    ExactDecimal withDecimals(int decimals) const; // only widens

    Int128 m_mantissa = 0;
    int m_decimals = 0;
};

} // namespace zentaro::cfdi
