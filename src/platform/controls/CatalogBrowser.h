#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <optional>

class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace zentaro {

class Connection;

// The catalogue a key box opens with F2: the active rows of the catalogue its LookupId
// names, narrowed by the box's LookupFilter and by what the clerk types.
class CatalogBrowser : public QDialog
{
    Q_OBJECT

public:
    // A column the browser shows after the key.
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
    struct Row
    {
        QString key;
        QString description;   // the first shown column
        QStringList shown;     // every shown column after the key, as the clerk reads it
    };

    // The catalogue of a lookup id (SUCURSAL, CLIENTE, ...); nothing for an unknown id.
    static std::optional<Catalog> catalogFor(const QString &lookupId);

    // The condition text of a LookupFilter made safe for both engines: a bare number on the
    // right of a comparison is quoted ("Cv_Tipo_Condicion=01" -> "Cv_Tipo_Condicion='01'").
    // The suite's key columns are text, and comparing text to a number fails on PostgreSQL
    // and compares "01" with "1" on SQLite; a quoted number still compares as a number with
    // a numeric column on both engines. Quoted text is left alone.
    static QString normalizedFilter(const QString &filter);

    // The statement listing key and description, withdrawn rows ('BA') left out, with the
    // filter as an extra condition, ordered by key.
    static QString statement(const Catalog &catalog, const QString &filter);

    // The rows the browser lists. Throws zentaro::Error for an unknown lookup id or a
    // failing statement.
    static QList<Row> rows(Connection &connection, const QString &lookupId, const QString &filter);

    // Asks for a key: the clerk picks in the dialog, or, in the script runner, the queued
    // answer "catalog" is taken (no answer: cancelled). "" when cancelled.
    static QString pick(const QString &lookupId, const QString &filter, QWidget *parent);

    CatalogBrowser(const Catalog &catalog, const QList<Row> &rows, QWidget *parent = nullptr);
    QString pickedKey() const { return m_picked; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void acceptCurrent();

    QLineEdit *m_search = nullptr;
    QTableView *m_view = nullptr;
    QStandardItemModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    QString m_picked;
};

} // namespace zentaro
