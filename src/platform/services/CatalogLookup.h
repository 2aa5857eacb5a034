#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace zentaro {

class Connection;

// The catalogue look-ups of the screen controls, run on the suite's connection: a key box
// hands over its `sql` ("?" standing for the key) and the key, the catalogue browser its
// lookup id and filter. The controls compose nothing and run nothing themselves.
class CatalogLookup
{
public:
    // A column a catalogue shows after the key.
    struct Column
    {
        enum class Kind { Text, Date, Money };
        QString header;
        QString expression;   // qualified column of the statement
        Kind kind = Kind::Text;
    };
    struct Catalog
    {
        QString title;
        QString table;
        QString keyColumn;
        QString descriptionColumn;
        // What identifies a row to the clerk beyond its key; empty: the description alone.
        QList<Column> columns;
        // Tables joined for those columns (" LEFT JOIN ..."), "" for none.
        QString joins;
        QString keyHeader = QStringLiteral("Clave");

        QList<Column> shownColumns() const;
    };
    // A catalogue row: its key and the values of the shown columns (text as the record set
    // reads it, a date, the stored amount; null where the row has none).
    struct Entry
    {
        QString key;
        QVariantList values;
    };

    // On the suite's connection (Platform), or on the one given.
    CatalogLookup();
    explicit CatalogLookup(Connection &connection) : m_connection(&connection) {}

    // The first column of the first row that a key box's statement gives for `key`
    // ("" when the statement selects no column); nothing when no row has that key.
    // Throws zentaro::Error when the statement fails.
    std::optional<QString> describe(const QString &sql, const QString &key) const;

    // The rows of the catalogue of a lookup id, withdrawn rows left out, narrowed by the
    // filter, ordered by key. Throws zentaro::Error for an unknown lookup id or a failing
    // statement.
    QList<Entry> entries(const QString &lookupId, const QString &filter) const;

    // The catalogue of a lookup id (SUCURSAL, CLIENTE, ...); nothing for an unknown id.
    static std::optional<Catalog> catalogFor(const QString &lookupId);

    // The condition text of a LookupFilter made safe for both engines: a bare number on the
    // right of a comparison is quoted ("Cv_Tipo_Condicion=01" -> "Cv_Tipo_Condicion='01'").
    // The suite's key columns are text, and comparing text to a number fails on PostgreSQL
    // and compares "01" with "1" on SQLite; a quoted number still compares as a number with
    // a numeric column on both engines. Quoted text is left alone.
    static QString normalizedFilter(const QString &filter);

    // The statement listing key and shown columns, withdrawn rows ('BA') left out, with the
    // filter as an extra condition, ordered by key.
    static QString statement(const Catalog &catalog, const QString &filter);

private:
    Connection *m_connection;
};

} // namespace zentaro
