#pragma once

#include <QString>
#include <QVariantList>

namespace zentaro {

// One statement a Connection is about to run, whoever asked for it.
struct Statement
{
    enum class Kind {
        ScreenText,   // composed as text by a screen (Connection::execute)
        Bound,        // the suite's own, with bound values (select, run)
        Batch,        // many rows through one statement (runBatch, insertRows), seen once
        Control,      // transaction control and the session's settings
        Definition,   // the schema's definitions (define)
    };
    Kind kind = Kind::Bound;
    QString text;          // as written by the caller, before the dialect adapts it
    QVariantList values;   // the bound values of a Bound statement
    qsizetype rows = 0;    // the rows of a Batch
};

// Sees every statement a connection runs, before it runs: the statement trace, the tests'
// failures at a chosen statement. Rolling back is never refused, so it is not seen.
class StatementObserver
{
public:
    virtual ~StatementObserver() = default;
    // Throwing zentaro::Error refuses the statement: it never runs, and the error takes the
    // path an engine's failure takes (an open transaction is left failed).
    virtual void aboutToRun(const Statement &statement) = 0;
};

} // namespace zentaro
