#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace zentaro {

// An exact decimal amount with six decimal places, held as a count of millionths.
// Money, rates and quantities of the suite go through it so that sums never carry binary
// noise. Arithmetic that leaves the int64 range throws zentaro::Error.
class Decimal
{
public:
    static constexpr int kScale = 6;
    static constexpr std::int64_t kOne = 1'000'000;

    constexpr Decimal() = default;
    static constexpr Decimal fromUnits(std::int64_t units) { Decimal d; d.m_units = units; return d; }
    static Decimal fromInt(std::int64_t value);
    // A double is read through its shortest decimal form (15 significant digits), so the
    // stored 1.005 is the decimal 1.005, not 1.00499999...
    static Decimal fromDouble(double value);
    // Plain decimal text: optional sign, digits, optional point and decimals, optional
    // exponent. Extra decimals are rounded half away from zero.
    static std::optional<Decimal> parse(QStringView text);
    // Whatever a record set field holds (integer, double, numeric text); null gives 0.
    static Decimal fromVariant(const QVariant &value);

    std::int64_t units() const { return m_units; }
    double toDouble() const { return static_cast<double>(m_units) / kOne; }
    bool isZero() const { return m_units == 0; }
    bool isInteger() const { return m_units % kOne == 0; }

    // How a value that does not fit the wanted decimals is brought to them. Money is rounded
    // half away from zero, the way both database engines round a cast to Decimal(18,2);
    // Floor and Ceiling serve the SAT's bounds, which are defined by truncation and rounding up.
    enum class Rounding { HalfAwayFromZero, Floor, Ceiling };

    // Rounds half away from zero to the given number of decimals (0..6).
    Decimal rounded(int decimals) const;
    Decimal rounded(int decimals, Rounding mode) const;
    // The exact product brought to `decimals` (0..6) in one step: a product of two six-decimal
    // values has twelve, and rounding it to six first could move its floor or ceiling.
    Decimal times(Decimal other, int decimals, Rounding mode) const;
    // One unit of the given decimal place: 0.01 for 2.
    static Decimal unit(int decimals);

    // Shortest plain text: "3.69", "5", "-0.5".
    QString toString() const;
    // Exactly `decimals` decimals: toFixed(2) of 5 is "5.00".
    QString toFixed(int decimals) const;

    Decimal operator+(Decimal other) const;
    Decimal operator-(Decimal other) const;
    Decimal operator-() const;
    Decimal &operator+=(Decimal other) { return *this = *this + other; }
    Decimal &operator-=(Decimal other) { return *this = *this - other; }
    // Product rounded half away from zero to six decimals.
    Decimal operator*(Decimal other) const;
    auto operator<=>(const Decimal &) const = default;

private:
    std::int64_t m_units = 0;
};

} // namespace zentaro
