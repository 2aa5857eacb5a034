// Money from the notes to the stamped CFDI: every marked note is billed or Accept names it
// before writing anything, and every invoice Accept commits is stamped with the amounts its
// header stores.

#include "ScreenFixture.h"
#include "support/TableSnapshot.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"

#include <QRandomGenerator>
#include <QRegularExpression>

using namespace zentaro;

namespace qx417::test {
namespace {

__extension__ typedef __int128 Int128;

Decimal dec(const QString &text) { return Decimal::parse(text).value_or(Decimal()); }

struct TaxRow
{
    QString key;
    Decimal base;
    Decimal amount;
};

struct Ticket
{
    QString folio;
    QDate date;
    Decimal list;
    Decimal tax;
    Decimal net;
    QList<TaxRow> rows;
    QString paymentForm = QStringLiteral("01");
};

// price / factor to six decimals, rounded half up, as a point of sale stores a ticket priced
// with its taxes included.
Decimal pretax(Decimal price, const char *factor)
{
    const Int128 p = price.units(), f = Decimal::parse(QString::fromLatin1(factor))->units();
    return Decimal::fromUnits(std::int64_t((p * 1'000'000 * 2 + f) / (2 * f)));
}

// A ticket of `price` with taxes included: 0 VAT 16 %, 1 IEPS 8 % and VAT over it, 2 VAT 16 %
// and rate 0 goods together, 3 exempt, 4 rate 0.
Ticket ticket(const QString &folio, const QDate &date, Decimal price, int kind)
{
    Ticket t{folio, date, {}, {}, price, {}};
    if (kind == 0) {
        t.list = pretax(price, "1.16");
        t.rows = {{QStringLiteral("IVA16"), t.list, price - t.list}};
    } else if (kind == 1) {
        t.list = pretax(price, "1.2528");
        const Decimal ieps = (t.list * *Decimal::parse(u"0.08")).rounded(6);
        t.rows = {{QStringLiteral("IEPS8"), t.list, ieps}, {QStringLiteral("IVA16"), t.list + ieps, price - t.list - ieps}};
    } else if (kind == 2) {
        const Decimal zeroPart = Decimal::fromUnits(price.units() / 3 / 10'000 * 10'000);
        const Decimal taxed = pretax(price - zeroPart, "1.16");
        t.list = taxed + zeroPart;
        t.rows = {{QStringLiteral("IVA16"), taxed, price - zeroPart - taxed}, {QStringLiteral("IVA0"), zeroPart, {}}};
    } else {
        t.list = price;
        t.rows = {{kind == 3 ? QStringLiteral("IVAEX") : QStringLiteral("IVA0"), price, {}}};
    }
    for (const TaxRow &r : t.rows)
        t.tax += r.amount;
    return t;
}

struct Cfdi
{
    Decimal subTotal, descuento, impuestos, total;
    int conceptos = 0;
};

class Money : public ScreenTest
{
protected:
    void write(const QList<Ticket> &tickets)
    {
        QList<QVariantList> notes(16), taxes(5);
        for (const Ticket &t : tickets) {
            const QVariant row[] = {t.folio, t.date.toString(Qt::ISODate), QStringLiteral("NO"), QStringLiteral("PUBLICO"),
                                    QStringLiteral("V01"), QStringLiteral("MXN"), QStringLiteral("S01"), t.paymentForm,
                                    t.list.toString(), QStringLiteral("0"), QStringLiteral("0"), t.list.toString(),
                                    t.tax.toString(), t.net.toString(), QStringLiteral("AC"), QStringLiteral("CONT")};
            for (int c = 0; c < 16; ++c)
                notes[c].append(row[c]);
            int id = 0;
            for (const TaxRow &r : t.rows) {
                const QVariant tax[] = {t.folio, ++id, r.key, r.base.toString(), r.amount.toString()};
                for (int c = 0; c < 5; ++c)
                    taxes[c].append(tax[c]);
            }
        }
        db().runBatch(QStringLiteral("INSERT INTO Venta_Encabezado (Vn_Folio, Vn_Fecha, Vn_Credito, Cl_Cve_Cliente, "
                                     "Vn_Cve_Vendedor, Mn_Cve_Moneda, Sc_Cve_Sucursal, Vn_Forma_Pago, "
                                     "Vn_Precio_Lista_Importe, Vn_Descuento_Importe, Vn_Descuento_Global_Importe, "
                                     "Vn_Precio_Descontado_Importe, Vn_Impuesto_Importe, Vn_Precio_Neto_Importe, "
                                     "Es_Cve_Estado, Vn_Condicion_Venta) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                      notes);
        if (!taxes[0].isEmpty())
            db().runBatch(QStringLiteral("INSERT INTO Venta_Total_Impuesto (Vn_Folio, Vt_ID, Vt_Impuesto, "
                                         "Vt_SubTotal_Importe, Vt_Impuesto_Importe) VALUES (?, ?, ?, ?, ?)"),
                          taxes);
        exec(QStringLiteral("INSERT INTO Venta SELECT * FROM Venta_Encabezado WHERE Vn_Folio NOT IN (SELECT Vn_Folio FROM Venta)"));
    }

    // New, the public, the notes of the days loaded and all of them marked.
    frmQX417 &load(const QDate &first, const QDate &last, bool markAll = true)
    {
        frmQX417 &form = screen ? *screen : open();
        form.Controles->press(Toolbar::Cancel);
        form.Controles->press(Toolbar::New);
        form.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("PUBLICO"));
        form.txt_Cl_Cve_Cliente->scriptEnter();
        form.chkFechas->setValue(1);
        form.dpFecha_Inicio->setValue(first);
        form.dpFecha_Final->setValue(last);
        form.Controles->press(Toolbar::Option1);
        if (markAll)
            form.chkMarcarN->scriptClick({});
        return form;
    }
    QString one(const QString &sql, const QVariantList &values = {}) { return db().select(sql, values).textAt(0); }
    QString lastInvoice() { return one(QStringLiteral("SELECT max(Fc_Folio) FROM Factura WHERE Fc_Serie = 'FG'")); }

    // The stamped CFDI of the invoice: the Comprobante's own amounts and the document taxes.
    Cfdi stamped(const QString &folio)
    {
        const QString xml = one(QStringLiteral("SELECT Cd_XML FROM Comprobante_Digital WHERE Cd_Tabla = 'Factura' AND "
                                               "Cd_Documento = ? AND Cd_UUID <> ''"),
                                {folio});
        const int start = xml.indexOf(QLatin1String("<cfdi:Comprobante"));
        const QString root = xml.mid(start, xml.indexOf(u'>', start) - start);
        const auto attribute = [](const QString &text, const char *name) {
            const auto match = QRegularExpression(QStringLiteral("\\s%1=\"([^\"]*)\"").arg(QLatin1String(name))).match(text);
            return match.hasMatch() ? dec(match.captured(1)) : Decimal();
        };
        Cfdi c;
        c.subTotal = attribute(root, "SubTotal");
        c.descuento = attribute(root, "Descuento");
        c.total = attribute(root, "Total");
        c.impuestos = attribute(xml, "TotalImpuestosTrasladados");
        c.conceptos = int(xml.count(QLatin1String("<cfdi:Concepto ")));
        return c;
    }
    // The stored header is the CFDI, to the cent.
    void expectHeaderIsTheCfdi(const QString &folio, const Cfdi &cfdi)
    {
        Recordset h = db().select(QStringLiteral("SELECT Fc_Precio_Lista_Importe, Fc_Descuento_Importe, "
                                                 "Fc_Precio_Descontado_Importe, Fc_Impuesto_Importe, "
                                                 "Fc_Precio_Neto_Importe FROM Factura WHERE Fc_Folio = ?"),
                                  {folio});
        ASSERT_FALSE(h.eof()) << folio.toStdString();
        EXPECT_EQ(h.decimal(QStringLiteral("Fc_Precio_Lista_Importe")), cfdi.subTotal) << folio.toStdString();
        EXPECT_EQ(h.decimal(QStringLiteral("Fc_Descuento_Importe")), cfdi.descuento) << folio.toStdString();
        EXPECT_EQ(h.decimal(QStringLiteral("Fc_Precio_Descontado_Importe")), cfdi.subTotal - cfdi.descuento);
        EXPECT_EQ(h.decimal(QStringLiteral("Fc_Impuesto_Importe")), cfdi.impuestos) << folio.toStdString();
        EXPECT_EQ(h.decimal(QStringLiteral("Fc_Precio_Neto_Importe")), cfdi.total) << folio.toStdString();
    }
    QString messagesText() const
    {
        QStringList texts;
        for (const auto &m : presenter->messages)
            texts << m.id + QStringLiteral(" ") + m.text;
        return texts.join(u'\n');
    }
};

// Ten $10.00 tickets with VAT and one of $1.50 with IEPS 8 % and VAT: rounding each amount on
// its own made that concept 1.51, and the signer refused the committed invoice ("registra un
// total de 101.50 y sus líneas e impuestos suman 101.51").
TEST_P(Money, TenVatTicketsAndOneWithIepsAreStampedWithTheirTotal)
{
    const QDate day(2026, 11, 2);
    QList<Ticket> tickets;
    for (int i = 1; i <= 10; ++i)
        tickets << ticket(QStringLiteral("R-%1").arg(i, 2, 10, QLatin1Char('0')), day, Decimal::fromInt(10), 0);
    tickets << ticket(QStringLiteral("R-IEPS"), day, *Decimal::parse(u"1.50"), 1);
    write(tickets);
    frmQX417 &form = load(day, day);
    ASSERT_EQ(form.lvNotas->count(), 11);
    presenter->messages.clear();
    form.Controles->press(Toolbar::Accept);
    EXPECT_TRUE(presenter->messages.isEmpty()) << messagesText().toStdString();
    const QString folio = lastInvoice();
    const Cfdi cfdi = stamped(folio);
    EXPECT_EQ(cfdi.total.toFixed(2), QStringLiteral("101.50"));
    EXPECT_EQ(cfdi.subTotal.toFixed(2), QStringLiteral("87.40"));   // 10 x 8.62 + 1.20
    expectHeaderIsTheCfdi(folio, cfdi);
}

// Days of tax-included tickets of every kind, thousands of notes: every invoice Accept commits
// is stamped by the sandbox PAC (which applies the signer's Anexo 20 rules), its Total is the
// notes' total and its stored header is its CFDI.
TEST_P(Money, EveryGeneratedDayIsStampedWithTheStoredAmounts)
{
    QRandomGenerator rng(19);
    const int days = 6, perDay = 350;
    QList<Ticket> tickets;
    for (int day = 0; day < days; ++day) {
        const QDate date = QDate(2026, 10, 5).addDays(day);
        for (int i = 0; i < perDay; ++i) {
            const Decimal price = Decimal::fromUnits(std::int64_t(rng.bounded(50, 250000)) * 10'000);
            tickets << ticket(QStringLiteral("D%1-%2").arg(day).arg(i, 4, 10, QLatin1Char('0')), date, price,
                              int(rng.bounded(5)));
        }
    }
    write(tickets);
    for (int day = 0; day < days; ++day) {
        const QDate date = QDate(2026, 10, 5).addDays(day);
        frmQX417 &form = load(date, date);
        ASSERT_EQ(form.lvNotas->count(), perDay);
        const Decimal shown = Decimal::fromDouble(form.txtTotal->value().toDouble());
        presenter->messages.clear();
        form.Controles->press(Toolbar::Accept);
        ASSERT_TRUE(presenter->messages.isEmpty()) << date.toString(Qt::ISODate).toStdString() << "\n"
                                                   << messagesText().toStdString();
        const QString folio = lastInvoice();
        const Cfdi cfdi = stamped(folio);
        EXPECT_EQ(cfdi.conceptos, perDay);
        EXPECT_EQ(cfdi.total, shown) << folio.toStdString();   // the notes' total, to the cent
        Decimal notes;
        for (Recordset rs = db().select(QStringLiteral("SELECT Vn_Precio_Neto_Importe FROM Venta_Encabezado WHERE "
                                                       "Fc_Folio = ?"), {folio}); !rs.eof(); rs.moveNext())
            notes += rs.decimal(QStringLiteral("Vn_Precio_Neto_Importe"));
        EXPECT_EQ(cfdi.total, notes) << folio.toStdString();
        expectHeaderIsTheCfdi(folio, cfdi);
    }
}

// Odd notes among normal ones: Accept names each one that cannot be billed and writes
// nothing; without them every note the invoice marks is on exactly one of its lines, and the
// lines add up to the notes to the cent.
TEST_P(Money, AcceptNamesTheNotesItCannotBillAndBillsEveryNoteItMarks)
{
    const QDate day(2026, 10, 20);
    QList<Ticket> tickets;
    QRandomGenerator rng(7);
    for (int i = 0; i < 40; ++i)
        tickets << ticket(QStringLiteral("N-%1").arg(i, 2, 10, QLatin1Char('0')), day,
                          Decimal::fromUnits(std::int64_t(rng.bounded(100, 90000)) * 10'000), int(rng.bounded(5)));
    Ticket negative{QStringLiteral("O-NEG"), day, Decimal::fromInt(-100), Decimal::fromInt(-16), Decimal::fromInt(-116),
                    {{QStringLiteral("IVA16"), Decimal::fromInt(-100), Decimal::fromInt(-16)}}};
    Ticket listZero{QStringLiteral("O-LISTA0"), day, {}, Decimal::fromInt(16), Decimal::fromInt(116),
                    {{QStringLiteral("IVA16"), Decimal::fromInt(100), Decimal::fromInt(16)}}};
    Ticket inconsistent{QStringLiteral("O-DESCUADRE"), day, Decimal::fromInt(100), Decimal::fromInt(16),
                        Decimal::fromInt(120), {{QStringLiteral("IVA16"), Decimal::fromInt(100), Decimal::fromInt(16)}}};
    Ticket outside = ticket(QStringLiteral("O-FUERA"), day.addDays(1), Decimal::fromInt(58), 0);
    Ticket toDefine = ticket(QStringLiteral("O-FP99"), day, Decimal::fromInt(58), 0);
    toDefine.paymentForm = QStringLiteral("99");
    const Ticket zero{QStringLiteral("O-CERO"), day, {}, {}, {}, {}};
    tickets << negative << listZero << inconsistent << outside << toDefine << zero
            << ticket(QStringLiteral("O-NULO"), day, Decimal::fromInt(58), 0)
            << ticket(QStringLiteral("O-NAN"), day, Decimal::fromInt(58), 0);
    write(tickets);
    // A tax amount that is empty, and one that is not a number, as each engine can hold them.
    if (GetParam() == Engine::Postgres) {
        exec(QStringLiteral("ALTER TABLE Venta_Total_Impuesto ALTER COLUMN Vt_Impuesto_Importe DROP NOT NULL"));
        exec(QStringLiteral("UPDATE Venta_Total_Impuesto SET Vt_Impuesto_Importe = NULL WHERE Vn_Folio = 'O-NULO'"));
        exec(QStringLiteral("UPDATE Venta_Total_Impuesto SET Vt_Impuesto_Importe = 'NaN' WHERE Vn_Folio = 'O-NAN'"));
    } else {
        exec(QStringLiteral("UPDATE Venta_Total_Impuesto SET Vt_Impuesto_Importe = '' WHERE Vn_Folio = 'O-NULO'"));
        exec(QStringLiteral("UPDATE Venta_Total_Impuesto SET Vt_Impuesto_Importe = 'NaN' WHERE Vn_Folio = 'O-NAN'"));
    }
    const QStringList refused = {QStringLiteral("O-NEG"),  QStringLiteral("O-LISTA0"), QStringLiteral("O-DESCUADRE"),
                                 QStringLiteral("O-FUERA"), QStringLiteral("O-FP99"),  QStringLiteral("O-NULO"),
                                 QStringLiteral("O-NAN")};

    frmQX417 &form = load(day, day.addDays(1));
    ASSERT_EQ(form.lvNotas->count(), tickets.size());
    const auto before = zentaro::test::snapshotTables(db());
    presenter->messages.clear();
    form.Controles->press(Toolbar::Accept);
    ASSERT_EQ(presenter->messages.size(), 1) << messagesText().toStdString();
    const auto &refusal = presenter->messages.first();
    EXPECT_EQ(refusal.id, QStringLiteral("ERR-ID:7500030"));
    EXPECT_EQ(refusal.style, 48);
    EXPECT_EQ(refusal.title, QStringLiteral("Controles_Aceptar()"));
    for (const QString &folio : refused)
        EXPECT_TRUE(refusal.text.contains(folio + QStringLiteral(": "))) << folio.toStdString() << "\n"
                                                                          << refusal.text.toStdString();
    EXPECT_FALSE(refusal.text.contains(QStringLiteral("O-CERO")));
    EXPECT_FALSE(refusal.text.contains(QStringLiteral("N-")));
    EXPECT_TRUE(form.Controles->isNew());
    EXPECT_EQ(zentaro::test::snapshotTables(db()), before);

    for (const QString &folio : refused)
        form.lvNotas->scriptCheck(QStringLiteral("K") + folio, false);
    presenter->messages.clear();
    form.Controles->press(Toolbar::Accept);
    ASSERT_TRUE(presenter->messages.isEmpty()) << messagesText().toStdString();
    const QString folio = lastInvoice();
    // Every marked note carrying money is on exactly one line; the note of all zeros is
    // marked without one, as before.
    Recordset marked = db().select(QStringLiteral("SELECT v.Vn_Folio, v.Vn_Precio_Neto_Importe, "
                                                  "(SELECT count(*) FROM Factura_Linea l WHERE l.Fc_Folio = v.Fc_Folio "
                                                  "AND l.Vn_Folio = v.Vn_Folio) AS lineas "
                                                  "FROM Venta_Encabezado v WHERE v.Fc_Folio = ? AND v.Es_Cve_Estado = 'FA'"),
                                   {folio});
    int notes = 0;
    Decimal notesTotal;
    for (; !marked.eof(); marked.moveNext()) {
        ++notes;
        notesTotal += marked.decimal(QStringLiteral("Vn_Precio_Neto_Importe"));
        const bool isZero = marked.text(QStringLiteral("Vn_Folio")) == QLatin1String("O-CERO");
        EXPECT_EQ(marked.text(QStringLiteral("lineas")).toInt(), isZero ? 0 : 1) << marked.text(QStringLiteral("Vn_Folio")).toStdString();
    }
    marked.close();
    EXPECT_EQ(notes, 41);
    Decimal lines;
    for (Recordset rs = db().select(QStringLiteral("SELECT Fl_Precio_Neto_Importe FROM Factura_Linea WHERE Fc_Folio = ?"),
                                    {folio}); !rs.eof(); rs.moveNext())
        lines += rs.decimal(QStringLiteral("Fl_Precio_Neto_Importe"));
    EXPECT_EQ(lines.toFixed(2), notesTotal.toFixed(2));
    for (const QString &note : refused)
        EXPECT_EQ(one(QStringLiteral("SELECT Es_Cve_Estado FROM Venta_Encabezado WHERE Vn_Folio = ?"), {note}),
                  QStringLiteral("AC"));
    const Cfdi cfdi = stamped(folio);
    EXPECT_EQ(cfdi.total, notesTotal.rounded(2));
    expectHeaderIsTheCfdi(folio, cfdi);
}

// A note whose amount is not a number: PostgreSQL cannot add it up, and the load stops with a
// message that names the note; SQLite's cast counts such text as 0, so the note is listed,
// and Accept refuses it by name before writing anything.
TEST_P(Money, ANoteWhoseAmountIsNotANumberIsNamed)
{
    const QDate day(2026, 10, 21);
    write({ticket(QStringLiteral("L-BIEN"), day, Decimal::fromInt(58), 0), ticket(QStringLiteral("L-NAN"), day, Decimal::fromInt(58), 0)});
    exec(QStringLiteral("UPDATE Venta_Encabezado SET Vn_Impuesto_Importe = 'NaN' WHERE Vn_Folio = 'L-NAN'"));
    presenter->messages.clear();
    frmQX417 &form = load(day, day, false);
    if (GetParam() == Engine::Sqlite) {
        ASSERT_TRUE(presenter->messages.isEmpty()) << messagesText().toStdString();
        ASSERT_EQ(form.lvNotas->count(), 2);
        form.chkMarcarN->scriptClick({});
        const auto before = zentaro::test::snapshotTables(db());
        form.Controles->press(Toolbar::Accept);
        ASSERT_EQ(presenter->messages.size(), 1) << messagesText().toStdString();
        EXPECT_EQ(presenter->messages.first().id, QStringLiteral("ERR-ID:7500030"));
        EXPECT_TRUE(presenter->messages.first().text.contains(QStringLiteral("L-NAN: el impuesto está escrito \"NaN\"")))
            << messagesText().toStdString();
        EXPECT_EQ(zentaro::test::snapshotTables(db()), before);
        return;
    }
    ASSERT_FALSE(presenter->messages.isEmpty());
    const auto &message = presenter->messages.first();
    EXPECT_EQ(message.id, QStringLiteral("ERR-ID:7500026"));
    EXPECT_EQ(message.title, QStringLiteral("CargaDocumentos()"));
    EXPECT_TRUE(message.text.contains(QStringLiteral("L-NAN"))) << message.text.toStdString();
    EXPECT_TRUE(message.text.contains(QStringLiteral("Vn_Impuesto_Importe"))) << message.text.toStdString();
}

ZENTARO_ON_BOTH_ENGINES(Money);

} // namespace
} // namespace qx417::test
