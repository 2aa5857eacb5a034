#pragma once

#include "platform/core/Decimal.h"

#include <QDate>
#include <QList>
#include <QRandomGenerator>
#include <QStringList>
#include <QVariant>

namespace zentaro {
class Connection;
}

// Pieces shared by the demo's writers. Not part of the suite's interface.
namespace zentaro::demo::detail {

// Collects rows of one table and writes them with multi-row INSERTs through
// Connection::runBatch, `chunkRows` rows at a time. flush() writes what is pending; the
// destructor does not, so a failed fill leaves nothing half-written behind the exception.
class RowWriter
{
public:
    RowWriter(Connection &connection, QString table, QStringList columns, int chunkRows = 5000);

    void add(QVariantList row);
    void flush();
    int columnCount() const { return int(m_columns.size()); }

private:
    QString statement(int rows) const;

    Connection &m_connection;
    QString m_table;
    QStringList m_columns;
    int m_chunkRows;
    int m_rowsPerStatement;
    QList<QVariantList> m_rows;
};

// Values as the suite binds them: dates as yyyy-MM-dd, moments as yyyy-MM-dd HH:mm:ss,
// exact amounts as plain decimal text.
QVariant dateValue(const QDate &date);
QVariant momentValue(const QDate &date, int minuteOfDay);
QVariant decimalValue(const Decimal &value);
QVariant nullQuantity();
QVariant nullDate();

inline Decimal cents(qint64 value) { return Decimal::fromUnits(value * 10'000); }
inline Decimal rate(const char16_t *text) { return *Decimal::parse(QStringView(text)); }
inline Decimal applyRate(const Decimal &base, const Decimal &rate) { return (base * rate).rounded(2); }

// A seeded generator for one part of the demo, so that adding rows to one part does not
// shift the values of the others.
QRandomGenerator generator(quint32 seed, quint32 part);
qint64 between(QRandomGenerator &rng, qint64 low, qint64 high);   // low..high inclusive

// The columns of Venta_Encabezado and Venta, in the order noteRow() gives them.
const QStringList &noteColumns();

struct Note
{
    QString folio;
    QDate date;
    QString reference;
    bool credit = false;
    QString table;      // origin document: Ticket or Remision
    QString document;
    QString salesperson;
    QString customer;
    QString currency;
    QString branch;
    QString warehouse;
    QString condition;
    QString paymentForm;
    Decimal listPrice;
    Decimal discount;
    Decimal globalDiscount;
    Decimal discounted;   // listPrice - discount
    Decimal tax;          // sum of the tax rows
    Decimal net;          // discounted - globalDiscount + tax
    QString state = QStringLiteral("AC");
    QString invoiceFolio;
    QString invoiceName;
    QString cancelledInvoice;   // the cancelled invoice that gave the note back
    QString user;
    int minuteOfDay = 9 * 60;

    struct Tax
    {
        QString key;
        Decimal base;
        Decimal amount;
    };
    QList<Tax> taxes;
};

QVariantList noteRow(const Note &note);
void writeNote(RowWriter &headers, RowWriter &notes, RowWriter &taxes, const Note &note);

// Completes a note's amounts from its list price and discounts with the given taxes
// (keys of Impuesto): IEPS first, IVA on the base plus IEPS.
void priceNote(Note &note, const QStringList &taxKeys);

} // namespace zentaro::demo::detail
