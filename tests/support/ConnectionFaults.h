#pragma once

#include "platform/core/Error.h"
#include "platform/db/Connection.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace zentaro::test {

// The connection's fault-injection seam, which only tests can reach: a hook called before
// every statement the connection runs (transaction control included, rollback excepted).
class ConnectionFaults
{
public:
    static void arm(Connection &connection, std::function<void(const QString &)> hook)
    {
        connection.m_faultHook = std::move(hook);
    }
    static void disarm(Connection &connection) { connection.m_faultHook = {}; }
};

// Counts the statements of a piece of work and fails the one at a given position, as a
// lost connection or a full disk would: the statement never runs and raises an error.
class StatementFault
{
public:
    // Arms on `connection`; `failAt` < 0 only counts.
    StatementFault(Connection &connection, int failAt) : m_connection(connection)
    {
        auto state = m_state;
        ConnectionFaults::arm(connection, [state, failAt](const QString &statement) {
            state->statements << statement;
            if (int(state->statements.size()) - 1 == failAt)
                throw Error(QStringLiteral("fallo provocado en la instrucción %1").arg(failAt));
        });
    }
    ~StatementFault() { ConnectionFaults::disarm(m_connection); }
    StatementFault(const StatementFault &) = delete;
    StatementFault &operator=(const StatementFault &) = delete;

    const QStringList &statements() const { return m_state->statements; }

private:
    struct State
    {
        QStringList statements;
    };
    Connection &m_connection;
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace zentaro::test
