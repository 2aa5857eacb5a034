#pragma once

#include "platform/db/Recordset.h"

#include <QString>
#include <QVariantList>

#include <deque>
#include <memory>
#include <optional>

struct pg_conn;

namespace zentaro {

class Connection;

// A piece of work of many small statements (Accept's lines and taxes) that on PostgreSQL
// travels without waiting for each answer, as libpq's pipeline mode lets it. Inside the
// scope, on PostgreSQL:
// - a data change run through Connection::execute is sent and not waited for;
// - a read announced ahead with Connection::prefetch is sent at once, and served, when the
//   program runs the same text with the same values, from the answers in the order they
//   were announced; announce only reads of tables the work does not change;
// - any other statement, the commit and the end of the scope first wait for every answer
//   still due. The first statement the server refused is reported then, with the message
//   it would have had run alone, and the transaction is left to be rolled back.
// Every statement passes the connection's checks (the fault hook) when it is sent. On
// SQLite the scope changes nothing, and prefetch does nothing.
class PipelineScope
{
public:
    explicit PipelineScope(Connection &connection);
    // Discards what is still due without reporting it: the caller is leaving on a failure
    // of its own, and its rollback undoes what was sent.
    ~PipelineScope();
    PipelineScope(const PipelineScope &) = delete;
    PipelineScope &operator=(const PipelineScope &) = delete;

    bool active() const { return m_owner; }
    // Waits for every answer still due; throws zentaro::Error for the first refused statement.
    void finish();

private:
    Connection &m_connection;
    bool m_owner = false;
};

// The connection's side of a PipelineScope on PostgreSQL (used by Connection only).
class PostgresPipeline
{
public:
    explicit PostgresPipeline(Connection &connection);
    ~PostgresPipeline();

    void prefetch(const QString &statement, const QVariantList &values);
    // A statement the program runs: served from an announced read, or, when `mayQueue` (a
    // screen's statement, whose answer nobody reads), sent when it is a data change that
    // returns no rows; nothing when it must run on its own (after settle()).
    std::optional<Recordset> take(const QString &statement, const QVariantList &values, bool mayQueue);
    // Called before any statement the connection runs by itself.
    void beforeDirectStatement();
    // Waits for every answer still due and leaves pipeline mode; throws for the first refusal.
    void settle();
    // As settle(), without reporting: for the ways out of a failure.
    void abandon() noexcept;

private:
    struct Entry
    {
        QString text;
        QVariantList values;
        bool read = false;
    };
    struct Answer;

    pg_conn *handle();
    void send(const QString &statement, const QVariantList &values, bool read);
    // Reads every answer up to the pipeline's end; the first refusal, as the clerk reads it.
    QString collect(bool report);

    Connection &m_connection;
    bool m_on = false;          // libpq is in pipeline mode
    bool m_sending = false;     // a statement of the pipeline is passing the connection's checks
    std::deque<Entry> m_sent;   // sent, answer not read yet, in order
    std::deque<std::pair<Entry, std::shared_ptr<Answer>>> m_answered;   // announced reads, answered
};

} // namespace zentaro
