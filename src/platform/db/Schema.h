#pragma once

#include "platform/db/ConnectionUrl.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace zentaro {

class Connection;

// The suite's tables, written once as data and rendered for each engine.
namespace schema {

constexpr int kVersion = 1;

enum class Type {
    Key,        // text key: refuses a single quote
    Text,       // short text
    LongText,   // unbounded text (XML, certificates)
    Money,      // exact decimal amount
    Number,     // exact decimal rate or factor
    Quantity,   // exact decimal, NULL allowed (counts as 0 when summed)
    Integer,
    Date,
    DateTime,
};

struct Column
{
    const char *name;
    Type type;
    int size = 0;   // text length where it applies
};

struct Table
{
    const char *name;
    std::vector<Column> columns;
    std::vector<const char *> primaryKey;
};

struct Index
{
    const char *name;
    const char *table;
    std::vector<const char *> columns;
};

const std::vector<Table> &tables();
const std::vector<Index> &indexes();
const Table *findTable(const QString &name);

// The statements that create the schema on the given engine, in order.
QStringList createStatements(Engine engine);

// Creates every table, index and helper function, and records the version. Refuses a
// database that already holds tables of the suite.
void create(Connection &connection);

// Checks that the database holds this version of the schema; throws zentaro::Error with
// a Spanish explanation otherwise.
void verify(Connection &connection);

} // namespace schema
} // namespace zentaro
