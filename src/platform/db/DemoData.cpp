#include "platform/db/DemoData.h"

#include "platform/db/Connection.h"
#include "platform/db/demo/Parts.h"
#include "platform/db/demo/RowWriter.h"

#include "platform/core/Error.h"

namespace zentaro::demo {

using namespace detail;

void fill(Connection &connection, const Options &options)
{
    const QDate today = options.today.isValid() ? options.today : QDate::currentDate();
    TransactionGuard transaction(connection);
    writeCatalogues(connection, options.seed, today);
    writeDocuments(connection, options.seed, today);
    if (options.extraNotes > 0)
        addCandidateNotes(connection, options.extraNotes, options.seed, today);
    transaction.commit();
}

namespace {

constexpr int kBatchNotes = 5000;

int lastCandidateNumber(Connection &connection)
{
    Recordset rs = connection.select(QStringLiteral("SELECT max(Vn_Folio) AS folio FROM Venta_Encabezado WHERE Vn_Folio LIKE ?"),
                                     {QStringLiteral("NB-%")});
    const QString folio = rs.eof() ? QString() : rs.text(QStringLiteral("folio"));
    return folio.mid(3).toInt();   // "" and anything unreadable count as none
}

QString firstWarehouse(Connection &connection, const QString &branch)
{
    Recordset rs = connection.select(QStringLiteral("SELECT min(Al_Cve_Almacen) AS almacen FROM Almacen "
                                                    "WHERE Sc_Cve_Sucursal = ? AND Es_Cve_Estado = 'AC'"),
                                     {branch});
    return rs.eof() ? QString() : rs.text(QStringLiteral("almacen"));
}

} // namespace

void addCandidateNotes(Connection &connection, int count, quint32 seed, const QDate &date, const QString &branch,
                       const QString &currency, bool twoRates)
{
    if (count <= 0)
        return;
    if (!date.isValid())
        throw Error(QStringLiteral("Las notas de prueba necesitan una fecha válida"));
    TransactionGuard transaction(connection);
    const int first = lastCandidateNumber(connection) + 1;
    const QString warehouse = firstWarehouse(connection, branch);
    const bool dollars = currency != QLatin1String("MXN");
    QRandomGenerator rng = generator(seed ^ quint32(first), 3);

    RowWriter headers(connection, QStringLiteral("Venta_Encabezado"), noteColumns(), kBatchNotes);
    RowWriter notes(connection, QStringLiteral("Venta"), noteColumns(), kBatchNotes);
    RowWriter taxes(connection, QStringLiteral("Venta_Total_Impuesto"),
                    {QStringLiteral("Vn_Folio"), QStringLiteral("Vt_ID"), QStringLiteral("Vt_Impuesto"),
                     QStringLiteral("Vt_SubTotal_Importe"), QStringLiteral("Vt_Impuesto_Importe")},
                    kBatchNotes);
    const QStringList iva = twoRates ? QStringList{QStringLiteral("IVA16"), QStringLiteral("IVA0")}
                                     : QStringList{QStringLiteral("IVA16")};
    Note n;
    n.date = date;
    n.branch = branch;
    n.warehouse = warehouse;
    n.currency = currency;
    n.customer = QStringLiteral("PUBLICO");
    n.salesperson = QStringLiteral("V01");
    n.table = QStringLiteral("Ticket");
    n.user = QStringLiteral("ADMIN");
    for (int i = 0; i < count; ++i) {
        const int number = first + i;
        n.folio = QStringLiteral("NB-%1").arg(number, 6, 10, QLatin1Char('0'));
        n.document = QStringLiteral("TB-%1").arg(number, 6, 10, QLatin1Char('0'));
        n.reference = QStringLiteral("Caja %1").arg(1 + number % 3);
        const int form = int(rng.bounded(3));
        n.paymentForm = form == 0 ? QStringLiteral("01") : form == 1 ? QStringLiteral("03") : QStringLiteral("04");
        n.condition = form == 0 ? QStringLiteral("EFEC") : QStringLiteral("CONT");
        n.minuteOfDay = 8 * 60 + (i % (12 * 60));
        const qint64 list = dollars ? between(rng, 500, 40'000) : between(rng, 1'000, 500'000);
        n.listPrice = cents(list);
        n.discount = rng.bounded(4) == 0 ? cents(list / 20) : Decimal();
        n.globalDiscount = {};
        priceNote(n, iva);
        writeNote(headers, notes, taxes, n);
    }
    headers.flush();
    notes.flush();
    taxes.flush();
    transaction.commit();
}

} // namespace zentaro::demo
