#pragma once

#include "platform/core/Error.h"
#include "platform/db/Connection.h"

#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace zentaro::test {

// Arms a connection with a hook called before every statement it runs (transaction control
// included, rollback excepted), as one of its statement observers: a hook that throws
// zentaro::Error fails the statement as the engine would.
class ConnectionFaults
{
public:
    static void arm(Connection &connection, std::function<void(const QString &)> hook)
    {
        disarm(connection);
        auto observer = std::make_shared<Hook>(std::move(hook));
        armed()[&connection] = observer;
        connection.addObserver(std::move(observer));
    }
    static void disarm(Connection &connection)
    {
        const auto found = armed().find(&connection);
        if (found == armed().end())
            return;
        connection.removeObserver(found->second.get());
        armed().erase(found);
    }

private:
    struct Hook final : StatementObserver
    {
        explicit Hook(std::function<void(const QString &)> call) : call(std::move(call)) {}
        void aboutToRun(const Statement &statement) override { call(statement.text); }
        std::function<void(const QString &)> call;
    };
    static std::map<const Connection *, std::shared_ptr<Hook>> &armed()
    {
        static std::map<const Connection *, std::shared_ptr<Hook>> hooks;
        return hooks;
    }
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
