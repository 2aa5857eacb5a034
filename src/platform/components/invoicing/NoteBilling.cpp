#include "platform/components/invoicing/NoteBilling.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zentaro {

namespace {

using Rounding = Decimal::Rounding;

// The most a free search tries: 2^10 choices of floor and ceiling per Importe.
constexpr int kMaxChosenTaxes = 10;

QString money(Decimal value, int decimals) { return value.toFixed(std::max(decimals, 2)); }

Decimal magnitude(Decimal value) { return value < Decimal() ? -value : value; }

bool isIeps(const NoteTaxRow &row) { return row.impuestoSat == QLatin1String("003"); }

// How a row's CFDI base is found from the concept's amounts.
enum class BaseKind { Taxable, TaxableWithIeps, Own };

struct Plan
{
    BaseKind kind = BaseKind::Own;
    Decimal ownBase;   // rounded, for BaseKind::Own
};

class Search
{
public:
    Search(const NoteAmounts &note, const QList<Plan> &plans, int decimals)
        : m_note(note), m_plans(plans), m_decimals(decimals)
    {
    }

    // The tax amounts for this Importe and Descuento that add up to `needed`, if any.
    std::optional<QList<ConceptTax>> find(Decimal taxable, Decimal needed)
    {
        m_taxable = taxable;
        m_needed = needed;
        m_chosen.clear();
        m_found.reset();
        walk(0, Decimal(), Decimal());
        return m_found;
    }

private:
    void walk(qsizetype index, Decimal ieps, Decimal sum)
    {
        if (m_found)
            return;
        if (index == m_note.taxes.size()) {
            if (sum == m_needed)
                m_found = m_chosen;
            return;
        }
        const NoteTaxRow &row = m_note.taxes.at(index);
        const Plan &plan = m_plans.at(index);
        Decimal base = plan.ownBase;
        if (plan.kind == BaseKind::Taxable)
            base = m_taxable;
        else if (plan.kind == BaseKind::TaxableWithIeps)
            base = m_taxable + ieps;
        if (!(base > Decimal()))
            return;   // SAT wants every base above zero (CFDI40174)
        QList<Decimal> amounts;
        if (row.exempt()) {
            amounts << Decimal();
        } else {
            // Nearest first, so that a note that adds up with plain rounding keeps it.
            const Decimal nearest = base.times(row.rate, m_decimals, Rounding::HalfAwayFromZero);
            amounts << nearest;
            for (Rounding mode : {Rounding::Floor, Rounding::Ceiling}) {
                const Decimal other = base.times(row.rate, m_decimals, mode);
                if (!amounts.contains(other))
                    amounts << other;
            }
        }
        for (const Decimal &amount : std::as_const(amounts)) {
            m_chosen.append(ConceptTax{base, amount});
            walk(index + 1, isIeps(row) ? ieps + amount : ieps, sum + amount);
            m_chosen.removeLast();
            if (m_found)
                return;
        }
    }

    const NoteAmounts &m_note;
    const QList<Plan> &m_plans;
    int m_decimals;
    Decimal m_taxable;
    Decimal m_needed;
    QList<ConceptTax> m_chosen;
    std::optional<QList<ConceptTax>> m_found;
};

QString unreadable(const NoteAmounts &note)
{
    const std::pair<const MoneyField *, const char *> fields[] = {
        {&note.list, "el importe de lista"}, {&note.discount, "el descuento"},
        {&note.discounted, "el importe descontado"}, {&note.tax, "el impuesto"}, {&note.net, "el total"}};
    for (const auto &[field, name] : fields)
        if (!field->ok())
            return QStringLiteral("%1 está %2").arg(QLatin1String(name), field->described());
    for (const NoteTaxRow &row : note.taxes) {
        if (!row.base.ok())
            return QStringLiteral("la base del impuesto %1 está %2").arg(row.key, row.base.described());
        if (!row.amount.ok())
            return QStringLiteral("el importe del impuesto %1 está %2").arg(row.key, row.amount.described());
    }
    return {};
}

// No list amount and no money: the invoice has nothing to bill and loses nothing.
bool nothingToBill(const NoteAmounts &note)
{
    if (note.list.get() > Decimal() || !note.tax.get().isZero() || !note.net.get().isZero())
        return false;
    for (const NoteTaxRow &row : note.taxes)
        if (!row.amount.get().isZero())
            return false;
    return true;
}

// The note's own amounts must agree before any rounding: a cent or more apart is a note
// the invoice would bill with money that is not the note's.
QString inconsistency(const NoteAmounts &note, int decimals)
{
    const Decimal cent = Decimal::unit(decimals);
    const auto apart = [&cent](Decimal a, Decimal b) { return !(magnitude(a - b) < cent); };
    const Decimal list = note.list.get(), discount = note.discount.get(), discounted = note.discounted.get(),
                  tax = note.tax.get(), net = note.net.get();
    if (net < Decimal())
        return QStringLiteral("su total es negativo (%1)").arg(money(net, decimals));
    if (!(list > Decimal()))
        return QStringLiteral("su importe de lista es %1 y su total es %2; una línea de factura necesita un importe "
                              "de lista mayor que cero")
            .arg(money(list, decimals), money(net, decimals));
    if (discount < Decimal() || discount > list)
        return QStringLiteral("su descuento (%1) es negativo o mayor que su importe de lista (%2)")
            .arg(money(discount, decimals), money(list, decimals));
    if (tax < Decimal())
        return QStringLiteral("su impuesto es negativo (%1)").arg(money(tax, decimals));
    if (apart(list - discount, discounted))
        return QStringLiteral("su importe de lista menos descuentos (%1) no es su importe descontado (%2)")
            .arg(money(list - discount, decimals), money(discounted, decimals));
    if (apart(discounted + tax, net))
        return QStringLiteral("su importe descontado más impuestos (%1) no es su total (%2)")
            .arg(money(discounted + tax, decimals), money(net, decimals));
    Decimal rows;
    for (const NoteTaxRow &row : note.taxes) {
        if (row.impuestoSat.isEmpty())
            return QStringLiteral("su impuesto %1 no está en el catálogo de impuestos").arg(row.key);
        const Decimal base = row.base.get(), amount = row.amount.get();
        if (!(base > Decimal()))
            return QStringLiteral("la base de su impuesto %1 es %2; el SAT pide una base mayor que cero")
                .arg(row.key, money(base, decimals));
        if (row.exempt() && !amount.isZero())
            return QStringLiteral("su impuesto exento %1 tiene un importe de %2").arg(row.key, money(amount, decimals));
        if (!row.exempt() && apart(amount, base * row.rate))
            return QStringLiteral("su impuesto %1 de %2 no corresponde a su base %3 por la tasa %4")
                .arg(row.key, money(amount, decimals), money(base, decimals), row.rate.toString());
        rows += amount;
    }
    if (apart(rows, tax))
        return QStringLiteral("sus renglones de impuesto suman %1 y su impuesto es %2")
            .arg(money(rows, decimals), money(tax, decimals));
    return {};
}

QList<Plan> basePlans(const NoteAmounts &note, int decimals)
{
    const Decimal cent = Decimal::unit(decimals);
    const auto near = [&cent](Decimal a, Decimal b) { return magnitude(a - b) < cent; };
    const Decimal taxable = note.list.get() - note.discount.get();
    QList<Plan> plans;
    Decimal ieps;
    bool anyIeps = false;
    for (const NoteTaxRow &row : note.taxes) {
        Plan plan;
        const Decimal base = row.base.get();
        if (anyIeps && near(base, taxable + ieps))
            plan.kind = BaseKind::TaxableWithIeps;
        else if (near(base, taxable))
            plan.kind = BaseKind::Taxable;
        else
            plan.ownBase = base.rounded(decimals);
        if (isIeps(row)) {
            ieps += row.amount.get();
            anyIeps = true;
        }
        plans.append(plan);
    }
    return plans;
}

} // namespace

MoneyField MoneyField::read(const QVariant &stored)
{
    if (stored.isNull())
        return {};
    switch (stored.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        if (!std::isfinite(stored.toDouble()))
            return MoneyField{std::nullopt, stored.toString()};
        return of(Decimal::fromDouble(stored.toDouble()));
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
        return of(Decimal::fromInt(stored.toLongLong()));
    default:
        break;
    }
    const QString text = stored.toString();
    if (text.trimmed().isEmpty())
        return {};
    if (const auto parsed = Decimal::parse(text))
        return of(*parsed);
    return MoneyField{std::nullopt, text};
}

QString MoneyField::described() const
{
    if (raw.isEmpty())
        return QStringLiteral("vacío");
    return QStringLiteral("escrito \"%1\", que no es un número").arg(raw);
}

Decimal ConceptAmounts::transferred() const
{
    Decimal sum;
    for (const ConceptTax &tax : taxes)
        sum += tax.amount;
    return sum;
}

NoteBilling billNote(const NoteAmounts &note, int decimals)
{
    NoteBilling result;
    if (const QString problem = unreadable(note); !problem.isEmpty()) {
        result.problem = problem;
        return result;
    }
    if (nothingToBill(note))
        return result;   // nothing to bill: no line, and nothing lost
    result.billable = true;
    if (const QString problem = inconsistency(note, decimals); !problem.isEmpty()) {
        result.problem = problem;
        return result;
    }
    int chosen = 0;
    for (const NoteTaxRow &row : note.taxes)
        chosen += row.exempt() ? 0 : 1;
    if (chosen > kMaxChosenTaxes) {
        result.problem = QStringLiteral("tiene %1 renglones de impuesto; una nota admite hasta %2")
                             .arg(chosen)
                             .arg(kMaxChosenTaxes);
        return result;
    }

    const QList<Plan> plans = basePlans(note, decimals);
    const Decimal cent = Decimal::unit(decimals);
    const Decimal descuento = note.discount.get().rounded(decimals);
    const Decimal importe = note.list.get().rounded(decimals);
    const Decimal total = note.net.get().rounded(decimals);
    Search search(note, plans, decimals);
    for (const Decimal &candidate : {importe, importe + cent, importe - cent}) {
        if (!(candidate > Decimal()) || descuento > candidate)
            continue;
        const Decimal taxable = candidate - descuento;
        if (auto taxes = search.find(taxable, total - taxable)) {
            result.amounts = ConceptAmounts{candidate, descuento, *taxes};
            return result;
        }
    }
    result.problem = QStringLiteral("sus importes (lista %1, descuento %2, total %3) no se pueden expresar en "
                                    "centavos con impuestos dentro de los límites del SAT")
                         .arg(money(note.list.get(), 6), money(note.discount.get(), 6), money(note.net.get(), 6));
    return result;
}

} // namespace zentaro
