#pragma once

#include "platform/db/DemoData.h"
#include "support/CommandProcess.h"
#include "support/TestDatabase.h"

#include <QTemporaryDir>

namespace zentaro::test {

// The real program on the demo company of each engine, dated today; what it prints lands in
// `home`.
class CommandTest : public DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        demo::fill(*connection, {417, QDate::currentDate(), 0});
    }

    CommandRun zentaro(const QStringList &arguments)
    {
        return runCommand(arguments, commandEnvironment(home.path()), commandTimeoutMs);
    }
    QString one(const QString &sql, const QVariantList &values = {}) { return firstValue(*connection, sql, values); }
    QStringList column(const QString &sql, const QVariantList &values = {}) { return firstColumn(*connection, sql, values); }

    QTemporaryDir home;
    int commandTimeoutMs = 120000;
};

} // namespace zentaro::test
