// The rule by which a note becomes a concept in cents: what it refuses, and that tickets
// priced with tax included always add up to their total inside SAT's bounds.

#include "platform/components/invoicing/NoteBilling.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

using namespace zentaro;

namespace {

__extension__ typedef __int128 Int128;

Decimal d(const char *text) { return *Decimal::parse(QString::fromLatin1(text)); }
MoneyField m(const char *text) { return MoneyField::of(d(text)); }

NoteTaxRow row(const char *key, const char *rate, const char *base, const char *amount)
{
    NoteTaxRow r;
    r.key = QString::fromLatin1(key);
    r.impuestoSat = r.key.startsWith(QLatin1String("IEPS")) ? QStringLiteral("003") : QStringLiteral("002");
    r.tipoFactor = r.key == QLatin1String("IVAEX") ? QStringLiteral("Exento") : QStringLiteral("Tasa");
    r.rate = d(rate);
    r.base = m(base);
    r.amount = m(amount);
    return r;
}

NoteAmounts note(const char *list, const char *discount, const char *tax, const char *net, QList<NoteTaxRow> taxes)
{
    NoteAmounts n;
    n.folio = QStringLiteral("T-1");
    n.list = m(list);
    n.discount = m(discount);
    n.discounted = MoneyField::of(d(list) - d(discount));
    n.tax = m(tax);
    n.net = m(net);
    n.taxes = taxes;
    return n;
}

// SAT's bounds for a traslado's Importe (CFDI40180): (Base -/+ half a cent) x rate, the lower
// truncated and the upper rounded up to cents. Computed here in integers of 1e-8, apart
// from the code under test.
bool withinBounds(Decimal base, Decimal rate, Decimal amount)
{
    const Int128 b = base.units() / 10'000;   // cents
    const Int128 r = rate.units();             // millionths
    const Int128 low = (b * 100 - 50) * r;     // in 1e-10
    const Int128 high = (b * 100 + 50) * r;
    const Int128 a = Int128(amount.units() / 10'000) * 100'000'000;
    const Int128 step = 100'000'000;           // a cent in 1e-10
    const Int128 lowCents = low / step * step;
    const Int128 highCents = (high + step - 1) / step * step;
    return lowCents <= a && a <= highCents;
}

TEST(NoteBilling, RefusesTheNotesThatWouldLoseOrInventMoney)
{
    NoteAmounts empty = note("100", "0", "16", "116", {row("IVA16", "0.16", "100", "16")});
    empty.taxes[0].amount = MoneyField::read(QVariant());
    NoteAmounts nan = note("100", "0", "16", "116", {row("IVA16", "0.16", "100", "16")});
    nan.taxes[0].amount = MoneyField::read(QVariant(QStringLiteral("NaN")));
    NoteAmounts unknown = note("100", "0", "16", "116", {row("IVA16", "0.16", "100", "16")});
    unknown.taxes[0].impuestoSat.clear();
    const struct
    {
        const char *why;
        NoteAmounts note;
        const char *says;   // part of the reason
    } cases[] = {
        {"negative total", note("-100", "0", "-16", "-116", {row("IVA16", "0.16", "-100", "-16")}), "negativo (-116.00)"},
        {"list 0 with net", note("0", "0", "16", "116", {row("IVA16", "0.16", "100", "16")}), "importe de lista es 0.00"},
        {"empty tax amount", empty, "vacío"},
        {"tax amount NaN", nan, "\"NaN\""},
        {"tax not catalogued", unknown, "catálogo"},
        {"net apart from its parts", note("100", "0", "16", "120", {row("IVA16", "0.16", "100", "16")}), "no es su total"},
        {"rows apart from tax", note("100", "0", "16", "116", {row("IVA16", "0.16", "100", "8"), row("IVA0", "0", "50", "0")}),
         "no corresponde"},
        {"rows summing apart", note("100", "0", "24", "124", {row("IVA16", "0.16", "100", "16")}), "suman 16.00"},
        {"discount above list", note("100", "150", "0", "-50", {}), "negativo"},
        {"base of zero", note("100", "0", "0", "100", {row("IVA0", "0", "0", "0")}), "mayor que cero"},
    };
    for (const auto &c : cases) {
        const NoteBilling billing = billNote(c.note, 2);
        EXPECT_TRUE(billing.problem.contains(QString::fromUtf8(c.says))) << c.why << ": " << billing.problem.toStdString();
    }
    // All zero: nothing to bill and nothing wrong.
    const NoteBilling zero = billNote(note("0", "0", "0", "0", {}), 2);
    EXPECT_FALSE(zero.billable);
    EXPECT_TRUE(zero.problem.isEmpty());
}

// The failing ticket of the field: IEPS 8 % and VAT on $1.50 tax included. Each amount rounded
// on its own gives 1.20 + 0.10 + 0.21 = 1.51.
TEST(NoteBilling, ChoosesFloorOrCeilingSoTheConceptIsTheNotesTotal)
{
    const NoteBilling b = billNote(note("1.197318", "0", "0.302682", "1.50",
                                        {row("IEPS8", "0.08", "1.197318", "0.095785"),
                                         row("IVA16", "0.16", "1.293103", "0.206897")}),
                                   2);
    ASSERT_TRUE(b.problem.isEmpty()) << b.problem.toStdString();
    EXPECT_EQ(b.amounts.importe.toFixed(2), QStringLiteral("1.20"));
    EXPECT_EQ(b.amounts.taxes[0].base.toFixed(2), QStringLiteral("1.20"));
    EXPECT_EQ(b.amounts.taxes[1].base, b.amounts.importe + b.amounts.taxes[0].amount);   // VAT over IEPS
    EXPECT_EQ(b.amounts.total().toFixed(2), QStringLiteral("1.50"));
    EXPECT_TRUE(withinBounds(b.amounts.taxes[0].base, d("0.08"), b.amounts.taxes[0].amount));
    EXPECT_TRUE(withinBounds(b.amounts.taxes[1].base, d("0.16"), b.amounts.taxes[1].amount));
}

// 100,000 tax-included tickets of every kind: each concept is the ticket's price to the cent,
// all in cents, every tax inside SAT's bounds.
TEST(NoteBilling, EveryTaxIncludedTicketAddsUpWithinTheBounds)
{
    QRandomGenerator rng(417);
    const Decimal ieps = d("0.08");
    const auto r6 = [](Decimal v) { return v.rounded(6); };
    const auto divide = [](Decimal price, const char *factor) {
        // price / factor to six decimals, through the exact integers
        const Int128 p = price.units(), f = Decimal::parse(QString::fromLatin1(factor))->units();
        return Decimal::fromUnits(std::int64_t((p * 1'000'000 * 2 + f) / (2 * f)));
    };
    int moved = 0;
    for (int i = 0; i < 100000; ++i) {
        const Decimal price = Decimal::fromUnits(std::int64_t(rng.bounded(50, 500000)) * 10'000);
        const int kind = int(rng.bounded(5));
        NoteAmounts n;
        n.folio = QStringLiteral("T-%1").arg(i);
        Decimal list;
        if (kind == 0) {   // VAT 16 %
            list = divide(price, "1.16");
            n.taxes = {row("IVA16", "0.16", "0", "0")};
            n.taxes[0].base = MoneyField::of(list);
            n.taxes[0].amount = MoneyField::of(price - list);
        } else if (kind == 1) {   // IEPS 8 % and VAT over it
            list = divide(price, "1.2528");
            const Decimal first = r6(list * ieps);
            n.taxes = {row("IEPS8", "0.08", "0", "0"), row("IVA16", "0.16", "0", "0")};
            n.taxes[0].base = MoneyField::of(list);
            n.taxes[0].amount = MoneyField::of(first);
            n.taxes[1].base = MoneyField::of(list + first);
            n.taxes[1].amount = MoneyField::of(price - list - first);
        } else if (kind == 2) {   // VAT 16 % goods and rate 0 goods on one ticket
            const Decimal zeroPart = Decimal::fromUnits(price.units() / 3 / 10'000 * 10'000);
            const Decimal taxed = divide(price - zeroPart, "1.16");
            list = taxed + zeroPart;
            n.taxes = {row("IVA16", "0.16", "0", "0"), row("IVA0", "0", "0", "0")};
            n.taxes[0].base = MoneyField::of(taxed);
            n.taxes[0].amount = MoneyField::of(price - zeroPart - taxed);
            n.taxes[1].base = MoneyField::of(zeroPart);
            if (zeroPart.isZero())
                n.taxes.removeLast();
        } else {   // exempt, rate 0
            list = price;
            n.taxes = {kind == 3 ? row("IVAEX", "0", "0", "0") : row("IVA0", "0", "0", "0")};
            n.taxes[0].base = MoneyField::of(price);
        }
        Decimal tax;
        for (const NoteTaxRow &t : n.taxes)
            tax += t.amount.get();
        n.list = MoneyField::of(list);
        n.discount = MoneyField::of(Decimal());
        n.discounted = n.list;
        n.tax = MoneyField::of(tax);
        n.net = MoneyField::of(price);
        const NoteBilling b = billNote(n, 2);
        ASSERT_TRUE(b.problem.isEmpty()) << n.folio.toStdString() << " " << price.toString().toStdString() << " kind "
                                         << kind << ": " << b.problem.toStdString();
        ASSERT_EQ(b.amounts.total(), price) << price.toString().toStdString() << " kind " << kind;
        ASSERT_EQ(b.amounts.importe, b.amounts.importe.rounded(2));
        moved += b.amounts.importe != list.rounded(2);
        for (qsizetype t = 0; t < n.taxes.size(); ++t) {
            const ConceptTax &c = b.amounts.taxes[t];
            ASSERT_EQ(c.amount, c.amount.rounded(2));
            ASSERT_GT(c.base, Decimal());
            if (!n.taxes[t].exempt()) {
                ASSERT_TRUE(withinBounds(c.base, n.taxes[t].rate, c.amount))
                    << price.toString().toStdString() << " " << c.base.toString().toStdString() << " "
                    << c.amount.toString().toStdString();
            }
        }
        if (kind == 1) {
            ASSERT_EQ(b.amounts.taxes[1].base, b.amounts.importe + b.amounts.taxes[0].amount);
        }
    }
    // Tickets priced in cents never need Importe moved off the rounded list amount.
    EXPECT_EQ(moved, 0);
}

} // namespace
