#include "platform/db/demo/Parts.h"
#include "platform/db/demo/RowWriter.h"

#include "platform/cfdi/GlobalInvoice.h"
#include "platform/db/Connection.h"

#include <QHash>

#include <algorithm>

namespace zentaro::demo::detail {

namespace {

QString S(const char16_t *text = u"") { return QString::fromUtf16(text); }

struct CustomerTerms
{
    const char16_t *key;
    const char16_t *salesperson;
    const char16_t *creditCondition;   // empty: cash customer
    int days;
    qint64 limitPesos;
};

const CustomerTerms kTerms[] = {
    {u"PUBLICO", u"V01", u"", 0, 0},          {u"C-0001", u"V01", u"", 0, 0},
    {u"C-0002", u"V02", u"C30", 30, 50000},   {u"C-0003", u"V01", u"C15", 15, 15000},
    {u"C-0004", u"V02", u"", 0, 0},           {u"C-0005", u"V03", u"C30", 30, 25000},
    {u"C-0006", u"V03", u"", 0, 0},           {u"C-0007", u"V03", u"C15", 15, 30000},
};

const CustomerTerms &terms(const QString &customer)
{
    for (const CustomerTerms &t : kTerms)
        if (customer == QStringView(t.key))
            return t;
    return kTerms[0];
}

// The tax mixes a note can carry.
const QList<QStringList> kTaxMixes = {
    {S(u"IVA16")}, {S(u"IVA0")}, {S(u"IVAEX")}, {S(u"IEPS8")}, {S(u"IVA16"), S(u"IVA0")}};

int pickMix(QRandomGenerator &rng)
{
    const int r = int(rng.bounded(100));
    return r < 50 ? 0 : r < 65 ? 1 : r < 75 ? 2 : r < 85 ? 3 : 4;
}

// A note the plan below makes sure of, whatever the seed: the invoices and the clerk's
// first candidates rest on them.
struct Forced
{
    int daysBack;
    const char16_t *branch;
    int index;
    const char16_t *customer;
    int mix;   // -1: drawn
};

const Forced kForced[] = {
    {21, u"S01", 0, u"PUBLICO", 0}, {21, u"S01", 1, u"PUBLICO", 1}, {21, u"S01", 2, u"PUBLICO", 2},
    {21, u"S01", 3, u"PUBLICO", 3}, {21, u"S01", 4, u"PUBLICO", 4},
    {26, u"S01", 0, u"PUBLICO", -1}, {15, u"S01", 0, u"C-0001", -1}, {12, u"S01", 1, u"C-0001", 3},
    {12, u"S01", 0, u"C-0004", -1}, {8, u"S01", 0, u"C-0004", 1},
    {20, u"S02", 0, u"PUBLICO", -1}, {27, u"S02", 0, u"PUBLICO", 4},
    {0, u"S01", 0, u"PUBLICO", 0}, {0, u"S01", 1, u"PUBLICO", 0}, {0, u"S01", 2, u"PUBLICO", 3},
    {0, u"S01", 3, u"PUBLICO", 1}, {0, u"S02", 0, u"PUBLICO", 0},
};

const Forced *forced(int daysBack, const QString &branch, int index)
{
    for (const Forced &f : kForced)
        if (f.daysBack == daysBack && branch == QStringView(f.branch) && f.index == index)
            return &f;
    return nullptr;
}

struct Draft
{
    Note note;
    int daysBack = 0;
    bool pinned = false;   // forced notes are never cancelled
};

QList<Draft> planNotes(quint32 seed, const QDate &today)
{
    QRandomGenerator rng = generator(seed, 2);
    QList<Draft> drafts;
    QHash<QString, int> folioNumbers;
    int tickets = 1200 + int(rng.bounded(300));
    int deliveries = 100 + int(rng.bounded(100));
    for (int back = 30; back >= 0; --back) {
        for (const QString &branch : {S(u"S01"), S(u"S02")}) {
            const bool main = branch == QLatin1String("S01");
            int count = main ? int(between(rng, 4, 7)) : int(between(rng, 2, 4));
            for (const Forced &f : kForced)
                if (f.daysBack == back && branch == QStringView(f.branch))
                    count = std::max(count, f.index + 1);
            for (int i = 0; i < count; ++i) {
                const Forced *pin = forced(back, branch, i);
                Draft draft;
                draft.daysBack = back;
                draft.pinned = pin != nullptr;
                Note &n = draft.note;
                n.date = today.addDays(-back);
                n.branch = branch;

                const int who = int(rng.bounded(100));
                if (pin)
                    n.customer = QString::fromUtf16(pin->customer);
                else if (main)
                    n.customer = who < 60 ? S(u"PUBLICO") : who < 72 ? S(u"C-0001") : who < 82 ? S(u"C-0002")
                               : who < 90 ? S(u"C-0003") : S(u"C-0004");
                else
                    n.customer = who < 60 ? S(u"PUBLICO") : who < 75 ? S(u"C-0005") : who < 88 ? S(u"C-0006") : S(u"C-0007");
                const CustomerTerms &t = terms(n.customer);
                const bool publicCustomer = n.customer == QLatin1String("PUBLICO");

                const bool dollars = n.customer == QLatin1String("C-0004")
                                  || (publicCustomer && main && !pin && rng.bounded(100) < 5);
                n.currency = dollars ? S(u"USD") : S(u"MXN");
                n.credit = t.creditCondition[0] != 0 && rng.bounded(100) < 70;
                const int form = int(rng.bounded(100));
                n.paymentForm = n.credit ? S(u"03") : form < 50 ? S(u"01") : form < 80 ? S(u"04") : S(u"03");
                n.condition = n.credit ? QString::fromUtf16(t.creditCondition)
                            : n.paymentForm == QLatin1String("01") ? S(u"EFEC") : S(u"CONT");
                n.salesperson = QString::fromUtf16(t.salesperson);
                n.warehouse = main ? (rng.bounded(100) < 75 ? S(u"A01") : S(u"A02")) : S(u"A03");
                n.user = main ? S(u"ADMIN") : S(u"CAJERO1");
                if (publicCustomer) {
                    n.table = S(u"Ticket");
                    n.document = QStringLiteral("T-%1").arg(++tickets, 6, 10, QLatin1Char('0'));
                    n.reference = QStringLiteral("Caja %1").arg(1 + rng.bounded(3));
                } else {
                    n.table = S(u"Remision");
                    n.document = QStringLiteral("R-%1").arg(++deliveries, 6, 10, QLatin1Char('0'));
                    n.reference = rng.bounded(100) < 50 ? QStringLiteral("OC %1").arg(4500 + rng.bounded(500)) : QString();
                }
                n.folio = QStringLiteral("NV-%1-%2").arg(branch).arg(++folioNumbers[branch], 6, 10, QLatin1Char('0'));
                n.minuteOfDay = 9 * 60 + i * 47 + int(rng.bounded(30));

                const qint64 list = dollars ? between(rng, 2'000, 60'000)
                                  : publicCustomer ? between(rng, 8'000, 350'000) : between(rng, 50'000, 600'000);
                n.listPrice = cents(list);
                n.discount = rng.bounded(100) < 30 ? cents(list * between(rng, 2, 15) / 100) : Decimal();
                const Decimal discounted = n.listPrice - n.discount;
                n.globalDiscount = rng.bounded(100) < 15 ? applyRate(discounted, rate(u"0.05")) : Decimal();
                const int mix = pin && pin->mix >= 0 ? pin->mix : pickMix(rng);
                priceNote(n, kTaxMixes.at(mix));
                // Drawn even when not used so that pinning a note does not shift the others.
                const bool cancel = rng.bounded(100) < 8;
                if (cancel && !draft.pinned)
                    n.state = S(u"CA");
                drafts.append(draft);
            }
        }
    }
    return drafts;
}

struct Invoice
{
    QString folio;
    QString series;
    int number = 0;
    QDate date;
    QString branch;
    QString warehouse;
    QString customer;
    QString currency;
    Decimal exchangeRate = Decimal::fromInt(1);
    QString comment;
    QString periodicity;   // a global invoice's c_Periodicidad
    QString state = QStringLiteral("AC");
    QString motive;        // a cancelled invoice's SAT motive
    QString uuid;          // a cancelled invoice's fiscal folio
    QList<int> notes;      // indexes into the drafts
};

QString invoiceName(const Invoice &invoice) { return QStringLiteral("%1-%2").arg(invoice.series).arg(invoice.number); }

// A note that an invoice of this branch, customer and currency may bill.
bool billable(const Draft &d, const QString &branch, const QString &customer, const QString &currency)
{
    const Note &n = d.note;
    return n.state == QLatin1String("AC") && !n.credit && n.branch == branch && n.customer == customer
        && n.currency == currency;
}

QList<Invoice> planInvoices(QList<Draft> &drafts, const QDate &today)
{
    // Global invoices cover the period their periodicity gives the anchor day (never today,
    // whose notes stay candidates); the others gather a range of days.
    struct Rule
    {
        const char16_t *series;
        int number;
        const char16_t *branch, *warehouse, *customer, *currency;
        const char16_t *periodicity;   // empty: not a global invoice
        int anchorBack;                // global: a day of the period; otherwise the invoice date
        int fromBack, toBack;          // not global: notes dated today-fromBack .. today-toBack
        const char16_t *comment;
    };
    // Applied in this order: a note goes to the first invoice whose period holds it.
    const Rule rules[] = {
        {u"FG", 1, u"S01", u"A01", u"PUBLICO", u"MXN", u"01", 21, 0, 0, u"Factura global diaria"},
        {u"FZ", 2, u"S02", u"A03", u"PUBLICO", u"MXN", u"02", 20, 0, 0, u"Factura global semanal Zapopan"},
        {u"FG", 2, u"S01", u"A01", u"PUBLICO", u"MXN", u"03", 26, 0, 0, u"Factura global quincenal"},
        {u"FZ", 1, u"S02", u"A03", u"PUBLICO", u"MXN", u"04", 27, 0, 0, u"Factura global mensual Zapopan"},
        {u"FG", 3, u"S01", u"A01", u"C-0001", u"MXN", u"", 9, 30, 10, u"Factura de remisiones"},
        {u"FG", 4, u"S01", u"A01", u"C-0004", u"USD", u"", 4, 30, 5, u"Factura en dólares"},
    };
    QList<Invoice> invoices;
    for (const Rule &rule : rules) {
        Invoice inv;
        inv.series = QString::fromUtf16(rule.series);
        inv.number = rule.number;
        inv.folio = QStringLiteral("%1-%2").arg(inv.series).arg(rule.number, 6, 10, QLatin1Char('0'));
        inv.branch = QString::fromUtf16(rule.branch);
        inv.warehouse = QString::fromUtf16(rule.warehouse);
        inv.customer = QString::fromUtf16(rule.customer);
        inv.currency = QString::fromUtf16(rule.currency);
        inv.comment = QString::fromUtf16(rule.comment);
        inv.periodicity = QString::fromUtf16(rule.periodicity);
        QDate first = today.addDays(-rule.fromBack);
        QDate last = today.addDays(-rule.toBack);
        inv.date = today.addDays(-rule.anchorBack);
        if (!inv.periodicity.isEmpty()) {
            const cfdi::GlobalPeriod period = cfdi::globalPeriod(inv.periodicity, inv.date, QStringLiteral("601"));
            first = period.first;
            last = std::min(period.last, today.addDays(-1));
            // The global is dated on the last day of its period it covers.
            inv.date = last;
        }
        for (int i = 0; i < drafts.size(); ++i) {
            Note &n = drafts[i].note;
            if (!billable(drafts[i], inv.branch, inv.customer, inv.currency) || n.date < first || n.date > last)
                continue;
            n.state = S(u"FA");
            n.invoiceFolio = inv.folio;
            n.invoiceName = invoiceName(inv);
            inv.notes.append(i);
        }
        invoices.append(inv);
    }

    // A daily global cancelled with motive 04 (one of its tickets was invoiced to a named
    // customer) and the global that bills its notes again, relating it: the latest day
    // before today with notes left.
    for (int back = 2; back <= 9; ++back) {
        const QDate day = today.addDays(-back);
        QList<int> free;
        for (int i = 0; i < drafts.size(); ++i)
            if (drafts[i].note.date == day && billable(drafts[i], S(u"S01"), S(u"PUBLICO"), S(u"MXN")))
                free.append(i);
        if (free.isEmpty())
            continue;
        Invoice cancelled;
        cancelled.series = S(u"FG");
        cancelled.number = 5;
        cancelled.folio = S(u"FG-000005");
        cancelled.date = day;
        cancelled.branch = S(u"S01");
        cancelled.warehouse = S(u"A01");
        cancelled.customer = S(u"PUBLICO");
        cancelled.currency = S(u"MXN");
        cancelled.periodicity = S(u"01");
        cancelled.comment = S(u"Factura global diaria cancelada (motivo 04)");
        cancelled.state = S(u"CA");
        cancelled.motive = S(u"04");
        cancelled.uuid = QStringLiteral("5A3C1E27-0B6D-4F18-9C2A-%1").arg(day.toString(QStringLiteral("yyyyMMdd")) + S(u"0417"));
        cancelled.notes = free;
        Invoice reissued = cancelled;
        reissued.number = 6;
        reissued.folio = S(u"FG-000006");
        reissued.comment = S(u"Factura global diaria que sustituye a FG-5");
        reissued.state = S(u"AC");
        reissued.motive.clear();
        reissued.uuid.clear();
        for (int i : free) {
            Note &n = drafts[i].note;
            n.state = S(u"FA");
            n.invoiceFolio = reissued.folio;
            n.invoiceName = invoiceName(reissued);
            n.cancelledInvoice = cancelled.folio;
        }
        invoices << cancelled << reissued;
        break;
    }
    return invoices;
}

Decimal exchangeRate(Connection &c, const QDate &date)
{
    Recordset rs = c.select(QStringLiteral("SELECT Tc_Tipo_Cambio FROM Tipo_Cambio WHERE Mn_Cve_Moneda = ? AND Tc_Fecha = ?"),
                            {S(u"USD"), dateValue(date)});
    return rs.eof() ? Decimal::fromInt(1) : rs.decimal(QStringLiteral("Tc_Tipo_Cambio"));
}

const QHash<QString, QString> &ledgerAccounts()
{
    static const QHash<QString, QString> accounts = {{S(u"IVA16"), S(u"2110-001")}, {S(u"IVA0"), S(u"2110-002")},
                                                     {S(u"IVAEX"), S(u"2110-003")}, {S(u"IEPS8"), S(u"2120-001")}};
    return accounts;
}

QStringList columns(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *name : list)
        out << QString::fromLatin1(name);
    return out;
}

void writeInvoices(Connection &c, QList<Invoice> &invoices, const QList<Draft> &drafts)
{
    const QStringList headerColumns = columns(
        {"Fc_Folio", "Fc_Serie", "Fc_Factura", "Fc_Numero", "Fc_Fecha", "Fc_Tipo", "Sc_Cve_Sucursal", "Al_Cve_Almacen",
         "Cl_Cve_Cliente", "Vn_Cve_Vendedor", "Mn_Cve_Moneda", "Fc_Tipo_Cambio", "Fc_Condicion_Venta", "Fc_Credito",
         "Fc_Condicion_Tipo_02", "Fc_Comentario", "Fc_Referencia", "Fc_Descuento_Global_Factor",
         "Fc_Precio_Lista_Importe", "Fc_Descuento_Importe", "Fc_Descuento_Global_Importe",
         "Fc_Precio_Descontado_Importe", "Fc_Impuesto_Importe", "Fc_Precio_Neto_Importe", "Fc_Motivo_Cancelacion",
         "Fc_Folio_Sustitucion", "Es_Cve_Estado", "Oper_Ult_Modif", "Fecha_Ult_Modif", "Fc_Periodicidad"});
    RowWriter stored(c, QStringLiteral("Factura"), headerColumns);
    RowWriter headers(c, QStringLiteral("Factura_Encabezado"), headerColumns);
    RowWriter lines(c, QStringLiteral("Factura_Linea"),
                    columns({"Fc_Folio", "Fc_ID", "Pr_Cve_Producto", "Vn_Folio", "Fl_Descripcion", "Fl_Cantidad",
                             "Un_Cve_Unidad", "Fl_Precio_Lista_Importe", "Fl_Descuento_Importe",
                             "Fl_Precio_Descontado_Importe", "Fl_Impuesto_Importe", "Fl_Precio_Neto_Importe"}));
    RowWriter taxes(c, QStringLiteral("Factura_Impuesto"),
                    columns({"Fc_Folio", "Fc_ID", "Fi_ID", "Im_Cve_Impuesto", "Im_Cuenta_Contable", "Fi_Base", "Im_Importe"}));
    for (Invoice &inv : invoices) {
        if (inv.currency != QLatin1String("MXN"))
            inv.exchangeRate = exchangeRate(c, inv.date);
        Decimal list, discount, global, discounted, tax, net;
        int line = 0;
        for (int index : inv.notes) {
            const Note &n = drafts.at(index).note;
            list += n.listPrice;
            discount += n.discount;
            global += n.globalDiscount;
            discounted += n.discounted;
            tax += n.tax;
            net += n.net;
            // One concept per note: its discount is the note's line and global discount together.
            const QString id = QString::number(++line);
            lines.add({inv.folio, id, S(u"FACGLOBAL"), n.folio, S(u"Venta"), 1, S(u"ACT"), decimalValue(n.listPrice),
                       decimalValue(n.discount + n.globalDiscount), decimalValue(n.discounted - n.globalDiscount),
                       decimalValue(n.tax), decimalValue(n.net)});
            int taxId = 0;
            for (const Note::Tax &t : n.taxes)
                taxes.add({inv.folio, id, QString::number(++taxId), t.key, ledgerAccounts().value(t.key),
                           decimalValue(t.base), decimalValue(t.amount)});
        }
        const QVariantList row = {
            inv.folio, inv.series, invoiceName(inv), inv.number, dateValue(inv.date), S(u"I"), inv.branch,
            inv.warehouse, inv.customer, QString::fromUtf16(terms(inv.customer).salesperson), inv.currency,
            decimalValue(inv.exchangeRate), S(u"CONT"), S(u"NO"), 0, inv.comment, QString(), decimalValue(Decimal()),
            decimalValue(list), decimalValue(discount), decimalValue(global), decimalValue(discounted),
            decimalValue(tax), decimalValue(net), inv.motive, QString(), inv.state, S(u"ADMIN"),
            momentValue(inv.date, 18 * 60), inv.periodicity};
        stored.add(row);
        headers.add(row);
    }
    stored.flush();
    headers.flush();
    lines.flush();
    taxes.flush();

    // A cancelled invoice keeps its fiscal folio; its XML stays with the system that stamped it.
    RowWriter digital(c, QStringLiteral("Comprobante_Digital"),
                      columns({"Cd_Tabla", "Cd_Documento", "Cd_UUID", "Cd_Fecha_Timbrado", "Cd_Estado",
                               "Cd_Motivo_Cancelacion"}));
    for (const Invoice &inv : invoices)
        if (!inv.uuid.isEmpty())
            digital.add({S(u"Factura"), inv.folio, inv.uuid, momentValue(inv.date, 21 * 60), inv.state, inv.motive});
    digital.flush();

    RowWriter series(c, QStringLiteral("Serie"),
                     columns({"Sr_Cve_Serie", "Sr_Descripcion", "Sc_Cve_Sucursal", "Sr_Tabla", "Sr_Electronica",
                              "Sr_Default", "Sr_Siguiente_Numero", "Es_Cve_Estado"}));
    auto next = [&](const QString &name) {
        int number = 0;
        for (const Invoice &inv : invoices)
            if (inv.series == name)
                number = std::max(number, inv.number);
        return number + 1;
    };
    series.add({S(u"FG"), S(u"Facturas electrónicas Matriz"), S(u"S01"), S(u"Factura"), S(u"SI"), S(u"SI"), next(S(u"FG")), S(u"AC")});
    series.add({S(u"FGN"), S(u"Facturas sin timbrar Matriz"), S(u"S01"), S(u"Factura"), S(u"NO"), S(u"NO"), next(S(u"FGN")), S(u"AC")});
    series.add({S(u"FZ"), S(u"Facturas electrónicas Zapopan"), S(u"S02"), S(u"Factura"), S(u"SI"), S(u"SI"), next(S(u"FZ")), S(u"AC")});
    series.flush();
}

void writeReturns(Connection &c, const QList<Invoice> &invoices, const QList<Draft> &drafts)
{
    struct Return
    {
        int invoice;
        int afterDays;
        const char16_t *reason;
        const char16_t *state;
    };
    // Indexes into the planned invoices: FG-000001, FG-000003, FG-000004.
    const Return returns[] = {{0, 2, u"Producto dañado", u"AC"},
                              {4, 1, u"Mercancía no solicitada", u"AC"},
                              {5, 1, u"Error de captura", u"CA"}};
    RowWriter writer(c, QStringLiteral("Devolucion_Cliente"),
                     columns({"Dc_Folio", "Dc_Fecha", "Dc_Referencia", "Vn_Cve_Vendedor", "Cl_Cve_Cliente", "Fc_Folio",
                              "Dc_Precio_Lista_Importe", "Dc_Descuento_Importe", "Dc_Descuento_Global_Importe",
                              "Dc_Impuesto_Importe", "Dc_Precio_Neto_Importe", "Es_Cve_Estado"}));
    int number = 0;
    for (const Return &r : returns) {
        const Invoice &inv = invoices.at(r.invoice);
        if (inv.notes.isEmpty())
            continue;
        // The customer brings back what one of the invoiced notes sold.
        const Note &n = drafts.at(inv.notes.first()).note;
        writer.add({QStringLiteral("DV-%1").arg(++number, 6, 10, QLatin1Char('0')), dateValue(inv.date.addDays(r.afterDays)),
                    QString::fromUtf16(r.reason), n.salesperson, inv.customer, inv.folio, decimalValue(n.listPrice),
                    decimalValue(n.discount), decimalValue(n.globalDiscount), decimalValue(n.tax), decimalValue(n.net),
                    QString::fromUtf16(r.state)});
    }
    writer.flush();
}

void writeReceivables(Connection &c, const QList<Draft> &drafts)
{
    RowWriter writer(c, QStringLiteral("Cuenta_Por_Cobrar"),
                     columns({"Cc_Folio", "Cl_Cve_Cliente", "Cc_Tabla", "Cc_Documento", "Cc_Fecha", "Cc_Vencimiento",
                              "Cc_Importe", "Cc_Saldo", "Es_Cve_Estado"}));
    QHash<QString, Decimal> open;
    int number = 0;
    for (const Draft &d : drafts) {
        const Note &n = d.note;
        if (!n.credit || n.state == QLatin1String("CA"))
            continue;
        const CustomerTerms &t = terms(n.customer);
        // Old notes are paid; the recent ones stay open while the customer keeps a fifth
        // of the limit available, so every credit customer still has credit to use.
        Decimal balance = d.daysBack > 25 ? Decimal() : n.net;
        if ((open[n.customer] + balance).units() > Decimal::fromInt(t.limitPesos * 4 / 5).units())
            balance = Decimal();
        open[n.customer] += balance;
        writer.add({QStringLiteral("CC-%1").arg(++number, 6, 10, QLatin1Char('0')), n.customer, S(u"Venta"), n.folio,
                    dateValue(n.date), dateValue(n.date.addDays(t.days)), decimalValue(n.net), decimalValue(balance),
                    S(u"AC")});
    }
    writer.flush();
}

void writeLots(Connection &c, const QDate &today, const QList<Invoice> &invoices, const QList<Draft> &drafts)
{
    RowWriter lots(c, QStringLiteral("Lote"),
                   columns({"Lt_Cve_Lote", "Pr_Cve_Producto", "Lt_Fecha_Caducidad", "Lt_Pedimento", "Lt_Fecha_Pedimento",
                            "Lt_Aduana"}));
    lots.add({S(u"L-0001"), S(u"P-0001"), dateValue(today.addDays(240)), QString(), nullDate(), QString()});
    lots.add({S(u"L-0002"), S(u"P-0001"), dateValue(today.addDays(300)), QString(), nullDate(), QString()});
    lots.add({S(u"L-2501"), S(u"P-BASE"), dateValue(today.addDays(365)), S(u"25  47  3807  5001234"),
              dateValue(today.addDays(-90)), S(u"Manzanillo, Col.")});
    lots.add({S(u"L-0301"), S(u"P-0003"), dateValue(today.addDays(120)), QString(), nullDate(), QString()});
    lots.flush();

    QList<const Note *> notes;
    const QList<int> &daily = invoices.first().notes;
    for (int i = 0; i < daily.size() && i < 3; ++i)
        notes.append(&drafts.at(daily.at(i)).note);
    for (const Draft &d : drafts)
        if (d.daysBack == 0 && d.note.branch == QLatin1String("S01") && d.note.state == QLatin1String("AC")
            && notes.size() < 5)
            notes.append(&d.note);

    RowWriter documents(c, QStringLiteral("Lote_Documento"),
                        columns({"Ld_Tabla", "Ld_Documento", "Ld_ID", "Pr_Cve_Producto", "Lt_Cve_Lote",
                                 "Lt_Cantidad_Control_1", "Lt_Cantidad_Control_2"}));
    int k = 0;
    for (const Note *n : notes) {
        ++k;
        documents.add({S(u"Venta"), n->folio, 1, S(u"P-0001"), k % 2 ? S(u"L-0001") : S(u"L-0002"),
                       decimalValue(Decimal::fromInt(k + 1)), nullQuantity()});
        // A box of P-EQUIV is sold from lot L-2501, registered under its base product P-BASE.
        documents.add({S(u"Venta"), n->folio, 2, S(u"P-EQUIV"), S(u"L-2501"), decimalValue(Decimal::fromInt(12)),
                       decimalValue(Decimal::fromInt(1))});
        if (k % 2)
            documents.add({S(u"Venta"), n->folio, 3, S(u"P-0003"), S(u"L-0301"), nullQuantity(), nullQuantity()});
    }
    documents.flush();
}

} // namespace

void writeDocuments(Connection &connection, quint32 seed, const QDate &today)
{
    QList<Draft> drafts = planNotes(seed, today);
    QList<Invoice> invoices = planInvoices(drafts, today);

    RowWriter headers(connection, QStringLiteral("Venta_Encabezado"), noteColumns());
    RowWriter notes(connection, QStringLiteral("Venta"), noteColumns());
    RowWriter taxes(connection, QStringLiteral("Venta_Total_Impuesto"),
                    columns({"Vn_Folio", "Vt_ID", "Vt_Impuesto", "Vt_SubTotal_Importe", "Vt_Impuesto_Importe"}));
    for (const Draft &d : drafts)
        writeNote(headers, notes, taxes, d.note);
    headers.flush();
    notes.flush();
    taxes.flush();

    writeInvoices(connection, invoices, drafts);
    writeReturns(connection, invoices, drafts);
    writeReceivables(connection, drafts);
    writeLots(connection, today, invoices, drafts);
}

} // namespace zentaro::demo::detail
