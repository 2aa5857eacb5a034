#pragma once

#include "platform/services/CatalogLookup.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <optional>

class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace zentaro {

// The catalogue a key box opens with F2: the active rows of the catalogue its LookupId
// names, narrowed by the box's LookupFilter and by what the clerk types.
class CatalogBrowser : public QDialog
{
    Q_OBJECT

public:
    using Column = CatalogLookup::Column;
    using Catalog = CatalogLookup::Catalog;
    struct Row
    {
        QString key;
        QString description;   // the first shown column
        QStringList shown;     // every shown column after the key, as the clerk reads it
    };

    // The rows the browser lists, read through the catalogue look-up and written as the
    // clerk reads them. Throws zentaro::Error for an unknown lookup id or a failing
    // statement.
    static QList<Row> rows(const QString &lookupId, const QString &filter);

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
