#pragma once

#include "platform/core/Decimal.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

namespace zentaro {

// A forward-only record set, positioned on its first row after the statement ran.
// Fields are read by column name without regard to case. Reading past the end or a
// column the statement did not return throws zentaro::Error, and so does an engine error
// met while moving through the rows (SQLite computes rows as they are read).
class Recordset
{
public:
    // Called with the engine's text when reading rows fails part-way.
    using FailureHandler = std::function<void(const QString &)>;

    Recordset() = default;   // a closed record set, at its end
    explicit Recordset(std::shared_ptr<QSqlQuery> query, FailureHandler onFailure = {});

    bool eof() const { return m_eof; }
    void moveNext();
    void close();

    int fieldCount() const;
    QString fieldName(int index) const;
    bool hasField(const QString &name) const;
    // Position of a column, for loops that read many rows; throws for an unknown name.
    int columnIndex(const QString &name) const { return indexOf(name); }
    QDate dateAt(int index) const;

    // The raw value as the driver gave it.
    QVariant field(const QString &name) const;
    QVariant value(int index) const;
    // Text as the suite shows it: numbers in their shortest decimal form ("1160", "3.69"),
    // dates as yyyy-MM-dd, date-times as yyyy-MM-dd HH:mm:ss, null as "".
    QString text(const QString &name) const;
    QString textAt(int index) const;
    Decimal decimal(const QString &name) const;
    QDate date(const QString &name) const;
    bool isNumeric(int index) const;

private:
    int indexOf(const QString &name) const;
    void requireRow() const;
    // Moves to the next row; an engine error while stepping is raised, never taken for
    // the end of the data.
    void step();

    std::shared_ptr<QSqlQuery> m_query;
    FailureHandler m_onFailure;
    QStringList m_names;
    QList<QMetaType> m_types;
    bool m_eof = true;
};

} // namespace zentaro
