#pragma once

#include "platform/db/ConnectionUrl.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace zentaro {

class Connection;

// The suite's tables, written once as data and rendered for each engine.
namespace schema {

// Version 1: the first tables. Version 2: counters (Contador), one series number per
// invoice, and the rule that a sales note belongs to one invoice at a time. Version 3: the
// sealed document kept before stamping (Comprobante_Sellado), the PAC's certificate with the
// stamp, the cancelled invoice that freed a note, the global invoice's periodicity;
// the SAT's answer to a cancellation kept with the electronic document. Version 4: the
// invoice a global replaces (Factura.Fc_Sustituye) and the moves of notes its replacement
// admits; a note's lines (Venta_Linea, Venta_Linea_Impuesto) and the requests for a named
// invoice of a note of a global (Factura_Nominativa).
constexpr int kVersion = 4;

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
    int size = 0;    // text length where it applies
    int since = 1;   // schema version that added it
};

struct Table
{
    const char *name;
    std::vector<Column> columns;
    std::vector<const char *> primaryKey;
    int since = 1;
};

struct Index
{
    const char *name;
    const char *table;
    std::vector<const char *> columns;
    int since = 1;
    bool unique = false;
    const char *where = nullptr;   // partial index condition
};

const std::vector<Table> &tables();
const std::vector<Index> &indexes();
const Table *findTable(const QString &name);

// The statements that create the schema of `version` on the given engine, in order.
QStringList createStatements(Engine engine, int version = kVersion);
// The statements that take a database of version `to` - 1 to version `to`.
QStringList upgradeStatements(Engine engine, int to);

// Creates every table, index, rule and helper function, and records the version. Refuses
// a database that already holds tables of the suite.
void create(Connection &connection, int version = kVersion);

// The version recorded in the database; 0 when it holds no tables of the suite.
int installedVersion(Connection &connection);

// Takes the database from its version to this program's, one numbered step at a time,
// each in its own transaction. Answers the version it started from.
int upgrade(Connection &connection);

// Checks that the database holds this version of the schema; throws zentaro::Error with
// a Spanish explanation otherwise (an older one names the upgrade command).
void verify(Connection &connection);

} // namespace schema
} // namespace zentaro
