#include "platform/db/PostgresCopy.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDriver>

#include <libpq-fe.h>

namespace zentaro::postgrescopy {

namespace {

PGconn *connectionOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    // Qt names the type after libpq's struct tag (pg_conn*) or its typedef (PGconn*).
    const QByteArray type = handle.isValid() ? QByteArray(handle.typeName()) : QByteArray();
    if (type != "PGconn*" && type != "pg_conn*")
        return nullptr;
    return *static_cast<PGconn *const *>(handle.data());
}

// COPY's text format: a tab between fields, \N for NULL, and backslash escapes for the
// characters that would break a row.
void appendField(QByteArray &row, const QVariant &value)
{
    if (!value.isValid() || (value.isNull() && value.typeId() != QMetaType::QString)) {
        row += "\\N";
        return;
    }
    QByteArray text;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        text = QByteArray::number(value.toDouble(), 'g', 17);
        break;
    case QMetaType::QDate:
        text = value.toDate().toString(Qt::ISODate).toUtf8();
        break;
    case QMetaType::QDateTime:
        text = value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
        break;
    case QMetaType::Bool:
        text = value.toBool() ? "t" : "f";
        break;
    default:
        text = value.toString().toUtf8();
        break;
    }
    for (const char c : std::as_const(text)) {
        switch (c) {
        case '\\': row += "\\\\"; break;
        case '\t': row += "\\t"; break;
        case '\n': row += "\\n"; break;
        case '\r': row += "\\r"; break;
        default: row += c; break;
        }
    }
}

QSqlError failure(const QString &text, const QString &code = {})
{
    return QSqlError(QStringLiteral("COPY"), text, QSqlError::StatementError, code);
}

// The connection's own failure: libpq gives no SQLSTATE for a connection that broke.
QSqlError lastError(PGconn *pg) { return failure(QString::fromUtf8(PQerrorMessage(pg)).trimmed()); }

// A failed result's whole message (with its DETAIL and CONTEXT, for the log) and SQLSTATE.
QSqlError resultError(PGconn *pg, const PGresult *result)
{
    const QString text = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
    if (text.isEmpty())
        return lastError(pg);
    return failure(text, QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
}

// Reads every pending result; the first failure, an invalid error when all went well.
QSqlError drain(PGconn *pg)
{
    QSqlError error;
    while (PGresult *result = PQgetResult(pg)) {
        const ExecStatusType status = PQresultStatus(result);
        if (!error.isValid() && status != PGRES_COMMAND_OK && status != PGRES_COPY_IN)
            error = resultError(pg, result);
        PQclear(result);
    }
    return error;
}

} // namespace

QString copyStatement(const QString &table, const QStringList &columns)
{
    return QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, columns.join(QStringLiteral(", ")));
}

bool isBroken(const QSqlDatabase &db)
{
    PGconn *pg = connectionOf(db);
    return pg && PQstatus(pg) == CONNECTION_BAD;
}

QSqlError copyRows(const QSqlDatabase &db, const QString &table, const QStringList &columns,
                   const QList<QVariantList> &values)
{
    PGconn *pg = connectionOf(db);
    if (!pg)
        return failure(QStringLiteral("No se pudo obtener la conexión de PostgreSQL"));
    PGresult *start = PQexec(pg, copyStatement(table, columns).toUtf8().constData());
    const bool copying = start && PQresultStatus(start) == PGRES_COPY_IN;
    QSqlError error = copying ? QSqlError() : start ? resultError(pg, start) : lastError(pg);
    PQclear(start);
    if (!copying)
        return error;

    const qsizetype rows = values.isEmpty() ? 0 : values.first().size();
    QByteArray chunk;
    chunk.reserve(1 << 20);
    for (qsizetype r = 0; r < rows && !error.isValid(); ++r) {
        for (qsizetype c = 0; c < values.size(); ++c) {
            if (c > 0)
                chunk += '\t';
            appendField(chunk, values.at(c).at(r));
        }
        chunk += '\n';
        if (chunk.size() >= (1 << 20) || r + 1 == rows) {
            if (PQputCopyData(pg, chunk.constData(), int(chunk.size())) != 1)
                error = lastError(pg);
            chunk.clear();
        }
    }
    if (PQputCopyEnd(pg, error.isValid() ? "cancelado por el cliente" : nullptr) != 1 && !error.isValid())
        error = lastError(pg);
    const QSqlError result = drain(pg);
    return error.isValid() ? error : result;
}

} // namespace zentaro::postgrescopy
