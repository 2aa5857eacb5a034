#include "platform/db/PostgresPipeline.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/SqlText.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>

#include <libpq-fe.h>

#include <algorithm>

namespace zentaro {

namespace {

// Type identifiers of PostgreSQL's catalogue (pg_type.oid), fixed since its first releases.
enum : Oid {
    kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701, kDate = 1082,
    kTime = 1083, kTimestamp = 1114, kTimestampTz = 1184, kNumeric = 1700
};

QMetaType metaTypeOf(Oid type)
{
    switch (type) {
    case kBool: return QMetaType(QMetaType::Bool);
    case kInt8: return QMetaType(QMetaType::LongLong);
    case kInt2: case kInt4: case kOid: return QMetaType(QMetaType::Int);
    case kFloat4: case kFloat8: case kNumeric: return QMetaType(QMetaType::Double);
    case kDate: return QMetaType(QMetaType::QDate);
    case kTime: return QMetaType(QMetaType::QTime);
    case kTimestamp: case kTimestampTz: return QMetaType(QMetaType::QDateTime);
    default: return QMetaType(QMetaType::QString);
    }
}

// A value as Qt's PostgreSQL driver gives it with high precision: numeric stays text, so
// that an amount keeps every digit it was stored with.
QVariant valueOf(const PGresult *result, int row, int column)
{
    const Oid type = PQftype(result, column);
    if (PQgetisnull(result, row, column))
        return QVariant(metaTypeOf(type));
    const char *raw = PQgetvalue(result, row, column);
    switch (type) {
    case kBool: return QVariant(raw[0] == 't');
    case kInt8: return QVariant(QByteArray(raw).toLongLong());
    case kInt2: case kInt4: case kOid: return QVariant(QByteArray(raw).toInt());
    case kFloat4: case kFloat8: return QVariant(QByteArray(raw).toDouble());
    case kNumeric: return QVariant(QString::fromLatin1(raw));
    case kDate: return QVariant(QDate::fromString(QString::fromLatin1(raw), Qt::ISODate));
    case kTime: return QVariant(QTime::fromString(QString::fromLatin1(raw).left(8), Qt::ISODate));
    case kTimestamp: case kTimestampTz:
        return QVariant(QDateTime::fromString(QString::fromLatin1(raw).left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    default: return QVariant(QString::fromUtf8(raw));
    }
}

// The suite writes bound values as "?"; the server's protocol numbers them ($1, $2, ...).
QByteArray numberedPlaceholders(const QString &statement)
{
    QString text;
    text.reserve(statement.size() + 8);
    int n = 0;
    QChar quote;
    for (const QChar c : statement) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'?') {
            text += u'$' + QString::number(++n);
            continue;
        }
        text += c;
    }
    return text.toUtf8();
}

// A bound value as text; a null that is not text is SQL NULL (the suite's text columns
// hold "" instead of null).
std::optional<QByteArray> parameterText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString().toUtf8();
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Double: case QMetaType::Float: return QByteArray::number(value.toDouble(), 'g', 17);
    case QMetaType::QDate: return value.toDate().toString(Qt::ISODate).toUtf8();
    case QMetaType::QDateTime: return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    case QMetaType::Bool: return QByteArray(value.toBool() ? "true" : "false");
    default: return value.toString().toUtf8();
    }
}

// The failure as Qt's driver would have described it, so that the clerk reads the same text
// whichever way the statement travelled.
QSqlError resultError(const PGresult *result)
{
    const QString code = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
    return QSqlError(QStringLiteral("QPSQL: Unable to create query"),
                     QString::fromUtf8(PQresultErrorMessage(result)) + QStringLiteral("(%1)").arg(code),
                     QSqlError::StatementError, code);
}

QSqlError connectionError(PGconn *pg)
{
    return QSqlError(QStringLiteral("QPSQL: Unable to create query"),
                     pg ? QString::fromUtf8(PQerrorMessage(pg)) : QStringLiteral("sin conexión con PostgreSQL"),
                     QSqlError::ConnectionError);
}

// A data change whose answer is only whether it ran: one that returns rows is a read.
bool isDataChange(const QString &statement)
{
    static const QRegularExpression returning(QStringLiteral("\\bRETURNING\\b"), QRegularExpression::CaseInsensitiveOption);
    const QStringView text = QStringView(statement).trimmed();
    for (const QLatin1String verb : {QLatin1String("INSERT"), QLatin1String("UPDATE"), QLatin1String("DELETE")})
        if (text.startsWith(verb, Qt::CaseInsensitive) && text.size() > verb.size() && !text.at(verb.size()).isLetterOrNumber())
            return !returning.match(statement).hasMatch();
    return false;
}

} // namespace

// The rows of an answered read, as the record set of a statement that already ran.
struct PostgresPipeline::Answer
{
    QSqlRecord record;
    QList<QVariantList> rows;

    explicit Answer(const PGresult *result)
    {
        const int columns = PQnfields(result);
        for (int c = 0; c < columns; ++c)
            record.append(QSqlField(QString::fromUtf8(PQfname(result, c)), metaTypeOf(PQftype(result, c))));
        const int count = PQntuples(result);
        rows.reserve(count);
        for (int r = 0; r < count; ++r) {
            QVariantList row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c)
                row << valueOf(result, r, c);
            rows << std::move(row);
        }
    }
};

namespace {

class AnsweredResult : public QSqlResult
{
public:
    AnsweredResult(const QSqlDriver *driver, QSqlRecord record, QList<QVariantList> rows)
        : QSqlResult(driver), m_record(std::move(record)), m_rows(std::move(rows))
    {
        setSelect(true);
        setActive(true);
        setAt(QSql::BeforeFirstRow);
    }

protected:
    QVariant data(int i) override { return m_rows.value(at()).value(i); }
    bool isNull(int i) override { return data(i).isNull(); }
    bool reset(const QString &) override { return false; }
    bool fetch(int i) override
    {
        if (i < 0 || i >= m_rows.size())
            return false;
        setAt(i);
        return true;
    }
    bool fetchFirst() override { return fetch(0); }
    bool fetchLast() override { return fetch(int(m_rows.size()) - 1); }
    int size() override { return int(m_rows.size()); }
    int numRowsAffected() override { return -1; }
    QSqlRecord record() const override { return m_record; }

private:
    QSqlRecord m_record;
    QList<QVariantList> m_rows;
};

} // namespace

PipelineScope::PipelineScope(Connection &connection) : m_connection(connection)
{
    if (connection.m_dialect->pipelines() && !connection.m_pipeline) {
        connection.m_pipeline = std::make_unique<PostgresPipeline>(connection);
        m_owner = true;
    }
}

PipelineScope::~PipelineScope()
{
    if (!m_owner)
        return;
    m_connection.m_pipeline->abandon();
    m_connection.m_pipeline.reset();
}

void PipelineScope::finish()
{
    if (m_owner)
        m_connection.m_pipeline->settle();
}

PostgresPipeline::PostgresPipeline(Connection &connection) : m_connection(connection) {}

PostgresPipeline::~PostgresPipeline() { abandon(); }

PGconn *PostgresPipeline::handle()
{
    const QVariant handle = m_connection.m_db.driver()->handle();
    const QByteArray type = handle.isValid() ? QByteArray(handle.typeName()) : QByteArray();
    if (type != "PGconn*" && type != "pg_conn*")
        return nullptr;
    return *static_cast<PGconn *const *>(handle.data());
}

void PostgresPipeline::prefetch(const QString &statement, const QVariantList &values)
{
    send(statement, values, true);
}

void PostgresPipeline::send(const QString &statement, const QVariantList &values, bool read)
{
    m_sending = true;
    try {
        m_connection.beforeStatement(
            {values.isEmpty() ? Statement::Kind::ScreenText : Statement::Kind::Bound, statement, values, 0});
    } catch (...) {
        m_sending = false;
        throw;
    }
    m_sending = false;
    PGconn *pg = handle();
    if (!m_on) {
        if (!pg || PQenterPipelineMode(pg) != 1)
            m_connection.fail(m_connection.failureText(connectionError(pg)));
        m_on = true;
    }
    std::vector<std::optional<QByteArray>> texts;
    texts.reserve(values.size());
    std::vector<const char *> parameters;
    for (const QVariant &value : values)
        texts.push_back(parameterText(value));
    for (const auto &text : texts)
        parameters.push_back(text ? text->constData() : nullptr);
    const QByteArray text = values.isEmpty() ? statement.toUtf8() : numberedPlaceholders(statement);
    if (PQsendQueryParams(pg, text.constData(), int(parameters.size()), nullptr, parameters.data(), nullptr, nullptr, 0)
        != 1) {
        // Only a connection that broke refuses to take a statement.
        const QSqlError failure = connectionError(pg);
        abandon();
        m_connection.fail(m_connection.failureText(failure));
    }
    m_sent.push_back({statement, values, read});
}

std::optional<Recordset> PostgresPipeline::take(const QString &statement, const QVariantList &values, bool mayQueue)
{
    if (mayQueue && isDataChange(statement)) {
        if (sqltext::holdsSeveralStatements(statement))
            return std::nullopt;   // refused where it runs alone, with its usual message
        send(statement, values, false);
        return Recordset();
    }
    const auto due = [&](const Entry &entry) { return entry.read && entry.text == statement && entry.values == values; };
    if (m_answered.empty()) {
        const auto firstRead = std::find_if(m_sent.begin(), m_sent.end(), [](const Entry &e) { return e.read; });
        if (firstRead == m_sent.end() || !due(*firstRead))
            return std::nullopt;
        settle();
    }
    if (m_answered.empty() || !due(m_answered.front().first))
        return std::nullopt;
    const std::shared_ptr<Answer> answer = m_answered.front().second;
    m_answered.pop_front();
    auto query = std::make_shared<QSqlQuery>(
        new AnsweredResult(m_connection.m_db.driver(), std::move(answer->record), std::move(answer->rows)));
    return Recordset(std::move(query));
}

void PostgresPipeline::beforeDirectStatement()
{
    if (!m_sending)
        settle();
}

void PostgresPipeline::settle()
{
    const QString failure = collect(true);
    if (!failure.isEmpty())
        m_connection.fail(failure);
}

void PostgresPipeline::abandon() noexcept
{
    try {
        collect(false);
    } catch (...) {
        // Leaving on another failure: the connection reports its own state at the rollback.
    }
    m_answered.clear();
}

QString PostgresPipeline::collect(bool report)
{
    if (!m_on)
        return {};
    PGconn *pg = handle();
    QSqlError first;
    if (!pg || PQpipelineSync(pg) != 1) {
        first = connectionError(pg);
    } else {
        for (;;) {
            PGresult *result = PQgetResult(pg);
            if (!result) {
                // Between two statements' answers; a broken connection gives nothing more.
                if (PQstatus(pg) == CONNECTION_BAD) {
                    if (!first.isValid())
                        first = connectionError(pg);
                    break;
                }
                continue;
            }
            const ExecStatusType status = PQresultStatus(result);
            if (status == PGRES_PIPELINE_SYNC) {
                PQclear(result);
                break;
            }
            Entry entry;
            if (!m_sent.empty()) {
                entry = std::move(m_sent.front());
                m_sent.pop_front();
            }
            if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE) {
                // The first refusal is the one to report; the server skipped the rest.
                if (!first.isValid())
                    first = resultError(result);
            } else if (status == PGRES_TUPLES_OK && entry.read && !first.isValid()) {
                m_answered.emplace_back(std::move(entry), std::make_shared<Answer>(result));
            }
            PQclear(result);
        }
    }
    m_sent.clear();
    if (pg && PQstatus(pg) != CONNECTION_BAD && PQexitPipelineMode(pg) != 1) {
        // Something still due after the end of the pipeline: read it, then leave.
        while (PGresult *rest = PQgetResult(pg))
            PQclear(rest);
        PQexitPipelineMode(pg);
    }
    m_on = false;
    if (!first.isValid() || !report)
        return {};
    return m_connection.failureText(first);
}

} // namespace zentaro
