// Before Accept writes anything, every marked note is checked with the rules the invoice
// and its CFDI will apply to it, so that no note is marked invoiced without being billed
// and no committed invoice is one the PAC refuses. The per-note money rule is the one the
// invoice builder and the signer use (NoteBilling.h); the period and the payment form are
// those of a global invoice to the public.

#include "qx417/screen/frmQX417.h"

#include "platform/cfdi/AmountText.h"
#include "platform/cfdi/GlobalInvoice.h"
#include "platform/components/invoicing/GlobalPeriodicity.h"
#include "platform/components/invoicing/InvoiceDocument.h"
#include "platform/components/invoicing/NoteBilling.h"
#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/core/Error.h"
#include "platform/db/PostgresPipeline.h"
#include "qx417/module/Publico.h"

#include <QHash>

namespace qx417 {

namespace {

// Folios per statement: far below what either engine takes as parameters.
constexpr qsizetype kChunk = 400;

// The most refusals one message lists; the rest are counted.
constexpr int kListed = 25;

QString placeholders(qsizetype count)
{
    QStringList marks;
    for (qsizetype i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

struct MarkedNote
{
    zentaro::NoteAmounts amounts;
    QDate date;
    QString paymentForm;
};

QString notesStatement(qsizetype count)
{
    return QStringLiteral("SELECT Vn_Folio, Vn_Fecha, Vn_Forma_Pago, Vn_Precio_Lista_Importe, Vn_Descuento_Importe, "
                          "Vn_Descuento_Global_Importe, Vn_Precio_Descontado_Importe, Vn_Impuesto_Importe, "
                          "Vn_Precio_Neto_Importe FROM Venta_Encabezado WHERE Vn_Folio IN (%1)")
        .arg(placeholders(count));
}

QString taxesStatement(qsizetype count)
{
    return QStringLiteral("SELECT v.Vn_Folio, v.Vt_Impuesto, v.Vt_SubTotal_Importe, v.Vt_Impuesto_Importe, "
                          "i.Im_Impuesto_SAT, i.Im_Tipo_Factor, i.Im_Tasa "
                          "FROM Venta_Total_Impuesto v LEFT JOIN Impuesto i ON i.Im_Cve_Impuesto = v.Vt_Impuesto "
                          "WHERE v.Vn_Folio IN (%1) ORDER BY v.Vn_Folio, v.Vt_ID")
        .arg(placeholders(count));
}

QVariantList chunkValues(const QStringList &folios, qsizetype from)
{
    QVariantList values;
    for (const QString &folio : folios.mid(from, kChunk))
        values << folio;
    return values;
}

// The marked notes with their tax rows, in the order of the list.
QList<MarkedNote> readNotes(zentaro::Connection &db, const QStringList &folios)
{
    QHash<QString, MarkedNote> byFolio;
    // On PostgreSQL every chunk's two reads are sent at once, so that a large selection
    // waits for one answer and not for two a chunk.
    zentaro::PipelineScope pipeline(db);
    if (pipeline.active()) {
        for (qsizetype from = 0; from < folios.size(); from += kChunk) {
            const QVariantList values = chunkValues(folios, from);
            db.prefetch(notesStatement(values.size()), values);
            db.prefetch(taxesStatement(values.size()), values);
        }
    }
    const auto field = [](const zentaro::Recordset &rs, const char *column) {
        return zentaro::MoneyField::read(rs.field(QLatin1String(column)));
    };
    for (qsizetype from = 0; from < folios.size(); from += kChunk) {
        const QStringList chunk = folios.mid(from, kChunk);
        const QVariantList values = chunkValues(folios, from);
        zentaro::Recordset rs = db.select(notesStatement(chunk.size()), values);
        for (; !rs.eof(); rs.moveNext()) {
            MarkedNote note;
            note.amounts.folio = rs.text(QStringLiteral("Vn_Folio"));
            note.date = rs.date(QStringLiteral("Vn_Fecha"));
            note.paymentForm = rs.text(QStringLiteral("Vn_Forma_Pago")).trimmed();
            // As the invoice line takes them: both discounts together, the discounted amount
            // without the global discount.
            const zentaro::MoneyField global = field(rs, "Vn_Descuento_Global_Importe");
            const zentaro::MoneyField discount = field(rs, "Vn_Descuento_Importe");
            const zentaro::MoneyField discounted = field(rs, "Vn_Precio_Descontado_Importe");
            note.amounts.list = field(rs, "Vn_Precio_Lista_Importe");
            note.amounts.discount = discount;
            note.amounts.discounted = discounted;
            if (global.ok() && discount.ok())
                note.amounts.discount = zentaro::MoneyField::of(discount.get() + global.get());
            else if (!global.ok())
                note.amounts.discount = global;
            if (global.ok() && discounted.ok())
                note.amounts.discounted = zentaro::MoneyField::of(discounted.get() - global.get());
            note.amounts.tax = field(rs, "Vn_Impuesto_Importe");
            note.amounts.net = field(rs, "Vn_Precio_Neto_Importe");
            byFolio.insert(note.amounts.folio, note);
        }
        rs.close();
        zentaro::Recordset taxes = db.select(taxesStatement(chunk.size()), values);
        for (; !taxes.eof(); taxes.moveNext()) {
            auto note = byFolio.find(taxes.text(QStringLiteral("Vn_Folio")));
            if (note == byFolio.end())
                continue;
            zentaro::NoteTaxRow row;
            row.key = taxes.text(QStringLiteral("Vt_Impuesto"));
            row.impuestoSat = taxes.text(QStringLiteral("Im_Impuesto_SAT"));
            row.tipoFactor = taxes.text(QStringLiteral("Im_Tipo_Factor"));
            row.rate = zentaro::MoneyField::read(taxes.field(QStringLiteral("Im_Tasa"))).get();
            row.base = field(taxes, "Vt_SubTotal_Importe");
            row.amount = field(taxes, "Vt_Impuesto_Importe");
            note->amounts.taxes.append(row);
        }
    }
    QList<MarkedNote> notes;
    for (const QString &folio : folios)
        if (const auto it = byFolio.constFind(folio); it != byFolio.cend())
            notes.append(*it);
    return notes;
}

} // namespace

bool frmQX417::notasFacturables()
{
    Publico &p = publico();
    zentaro::Connection &db = p.Environment->Connection();
    QStringList folios;
    for (int row = 0; row < lvNotas->count(); ++row)
        if (lvNotas->isChecked(row))
            folios << lvNotas->text(row);
    const QList<MarkedNote> notes = readNotes(db, folios);

    const QString currency = txt_Mn_Cve_Moneda->text();
    const int decimals = zentaro::cfdi::currencyDecimals(currency);
    QStringList refused;
    QList<const MarkedNote *> billed;
    for (const MarkedNote &note : notes) {
        const zentaro::NoteBilling billing = zentaro::billNote(note.amounts, decimals);
        if (!billing.problem.isEmpty())
            refused << QStringLiteral("%1: %2").arg(note.amounts.folio, billing.problem);
        else if (billing.billable)
            billed << &note;
    }

    // A global invoice to the public, when it is to be stamped, also names the period of its
    // notes and how they were paid.
    zentaro::Recordset customer = db.select(QStringLiteral("SELECT Cl_R_F_C FROM Cliente WHERE Cl_Cve_Cliente = ?"),
                                            {txt_Cl_Cve_Cliente->text()});
    const bool global = !customer.eof()
        && customer.text(QStringLiteral("Cl_R_F_C")).trimmed().toUpper() == QStringView(zentaro::cfdi::kPublicoEnGeneralRfc);
    customer.close();
    if (global && !billed.isEmpty() && p.Utilities->IsElectronicSeries(txt_Fc_Factura->series(), 1)) {
        zentaro::Recordset issuer = db.select(QStringLiteral("SELECT Em_Regimen_Fiscal FROM Emisor ORDER BY Em_R_F_C"));
        const QString regimen = issuer.eof() ? QString() : issuer.text(QStringLiteral("Em_Regimen_Fiscal"));
        issuer.close();
        const QString periodicity = zentaro::configuredPeriodicity(db, txt_Sc_Cve_Sucursal->text());
        QDate earliest;
        for (const MarkedNote *note : std::as_const(billed))
            if (note->date.isValid() && (!earliest.isValid() || note->date < earliest))
                earliest = note->date;
        std::optional<zentaro::cfdi::GlobalPeriod> period;
        try {
            if (earliest.isValid())
                period = zentaro::cfdi::globalPeriod(periodicity, earliest, regimen);
        } catch (const zentaro::Error &) {
            period.reset();   // a bad configuration is the signer's to report, with its own text
        }
        const QDate invoiceDate = dpFecha->value();
        for (const MarkedNote *note : std::as_const(billed)) {
            const QString folio = note->amounts.folio;
            if (period && !period->contains(note->date))
                refused << QStringLiteral("%1: su fecha %2 queda fuera del periodo %3 de la factura global (%4 a %5)")
                               .arg(folio, note->date.toString(QStringLiteral("dd-MM-yyyy")),
                                    zentaro::cfdi::periodicityName(periodicity),
                                    period->first.toString(QStringLiteral("dd-MM-yyyy")),
                                    period->last.toString(QStringLiteral("dd-MM-yyyy")));
            else if (note->date > invoiceDate)
                refused << QStringLiteral("%1: su fecha %2 es posterior a la de la factura (%3)")
                               .arg(folio, note->date.toString(QStringLiteral("dd-MM-yyyy")),
                                    invoiceDate.toString(QStringLiteral("dd-MM-yyyy")));
            else if (note->paymentForm.isEmpty() || note->paymentForm == QLatin1String("99"))
                refused << QStringLiteral("%1: su forma de pago es %2; la factura global registra cómo se pagó cada "
                                          "nota")
                               .arg(folio, note->paymentForm.isEmpty() ? QStringLiteral("vacía")
                                                                       : QStringLiteral("99 (por definir)"));
        }
    }
    if (refused.isEmpty())
        return true;

    QString message = QStringLiteral("No se puede facturar: %1 de las notas marcadas no se pueden incluir en la factura. "
                                     "Desmárquelas o corríjalas y vuelva a aceptar.")
                          .arg(refused.size());
    for (qsizetype i = 0; i < refused.size() && i < kListed; ++i)
        message += QStringLiteral("\r\n") + refused.at(i);
    if (refused.size() > kListed)
        message += QStringLiteral("\r\ny %1 notas más").arg(refused.size() - kListed);
    showMessage(message, 48, QStringLiteral("Controles_Aceptar()"), QStringLiteral("ERR-ID:7500030"));
    return false;
}

} // namespace qx417
