#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

class QWidget;

namespace zentaro {

class Connection;

// The suite's general services: catalogue lookups, the server clock, statement literals,
// operating periods, exchange rates, series and the control groups of a screen.
class Utilities
{
public:
    // The result column of the row whose key column (and second key column, when given)
    // match and whose state is not `excludedState`; "" when there is none. Table and
    // columns must be the suite's own.
    QString LookupField(const QString &table, const QString &keyColumn, const QString &key,
                        const QString &resultColumn, int flag, const QString &secondKeyColumn,
                        const QString &secondKey, const QString &excludedState);
    // Announces the statement of that LookupField to the connection's pipeline
    // (Connection::prefetch), for a piece of work that looks the same key up again and again.
    void PrefetchLookup(const QString &table, const QString &keyColumn, const QString &key,
                        const QString &resultColumn, const QString &secondKeyColumn,
                        const QString &secondKey, const QString &excludedState);
    QDateTime ServerNow();
    // The program's date, by which deadlines are judged: the day a run was told to act as
    // on (Platform::fixDay), else ServerNow's. The clock that dates documents may stay the
    // real one meanwhile (a real PAC refuses a Fecha more than 72 hours old).
    QDate ServerToday();
    QString SqlDate(const QDate &date) const;
    QString SqlDate(const QDateTime &date) const { return SqlDate(date.date()); }
    QString SqlDateTime(const QDateTime &dateTime) const;
    bool IsPeriodOpen(const QDate &date, const QString &module, int flag);
    // The rate of `currency` on `date`: 1 for the local currency, else the latest rate
    // recorded on or before that date; 0 with LastError when none is recorded.
    double GetExchangeRate(const QString &currency, const QDate &date);
    // The stored form of a typed invoice folio. Folios are "<series>-<number, six digits>"
    // (documentnumbers::folio): what is typed is trimmed and put in upper case, and series
    // letters followed by a number of up to six digits, with or without the hyphen and
    // the leading zeros, become that form ("fg5", "FG-5", "FG-000005": FG-000005). Any
    // other text is kept as typed, in upper case, so that such folios still open.
    QString FormatFolio(const QString &typed) const;
    QString DefaultSaleCondition(const QString &customer, const QString &branch, bool creditAllowed);
    QString LastError() const { return m_lastError; }
    QString OutputProfile(const QString &customer, const QString &branch);
    bool IsElectronicSeries(const QString &series, int flag);
    void ClearControls(QWidget *screen, int group);
    void EnableControls(QWidget *screen, int group);
    void SendKeys(const QString &keys, int wait);
    QString ResolveTransaction(const QString &hostTransaction, const QString &suite) const;

private:
    Connection &connection() const;
    QString m_lastError;
};

} // namespace zentaro
