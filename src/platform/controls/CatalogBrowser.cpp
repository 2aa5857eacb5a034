#include "platform/controls/CatalogBrowser.h"

#include "platform/controls/DialogParts.h"
#include "platform/controls/TextFormats.h"
#include "platform/core/Decimal.h"
#include "platform/core/Error.h"
#include "platform/services/Platform.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace zentaro {

QList<CatalogBrowser::Row> CatalogBrowser::rows(const QString &lookupId, const QString &filter)
{
    const QList<Column> columns = CatalogLookup::catalogFor(lookupId).value_or(Catalog()).shownColumns();
    QList<Row> result;
    for (const CatalogLookup::Entry &entry : CatalogLookup().entries(lookupId, filter)) {
        Row row {entry.key, {}, {}};
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant value = entry.values.value(i);
            switch (columns.at(i).kind) {
            case Column::Kind::Date:
                row.shown << (value.isNull() ? QString() : textformat::defaultDateText(value.toDate()));
                break;
            case Column::Kind::Money:
                row.shown << (value.isNull() ? QString()
                                             : textformat::formatNumber(Decimal::fromVariant(value).toDouble(),
                                                                        QStringLiteral("$#,##0.00")));
                break;
            case Column::Kind::Text:
                row.shown << value.toString();
                break;
            }
        }
        row.description = row.shown.value(0);
        result.append(row);
    }
    return result;
}

QString CatalogBrowser::pick(const QString &lookupId, const QString &filter, QWidget *parent)
{
    Platform &platform = Platform::instance();
    if (!platform.interactive())
        return platform.takeAnswer(QStringLiteral("catalog")).value_or(QString());
    const std::optional<Catalog> catalog = CatalogLookup::catalogFor(lookupId);
    if (!catalog)
        throw Error(QStringLiteral("No hay un catálogo para la búsqueda %1").arg(lookupId));
    CatalogBrowser dialog(*catalog, rows(lookupId, filter), parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.pickedKey();
}

CatalogBrowser::CatalogBrowser(const Catalog &catalog, const QList<Row> &rows, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(catalog.title);
    const QList<Column> columns = catalog.shownColumns();
    resize(columns.size() > 1 ? 820 : 560, 420);

    QStringList headers {catalog.keyHeader};
    for (const Column &column : columns)
        headers << column.header;
    m_model = new QStandardItemModel(0, int(headers.size()), this);
    m_model->setHorizontalHeaderLabels(headers);
    for (const Row &row : rows) {
        QList<QStandardItem *> items {new QStandardItem(row.key)};
        for (int i = 0; i < columns.size(); ++i) {
            auto *item = new QStandardItem(row.shown.value(i));
            if (columns.at(i).kind == Column::Kind::Money)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            items << item;
        }
        for (QStandardItem *item : items)
            item->setEditable(false);
        m_model->appendRow(items);
    }
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);

    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(columns.size() > 1 ? QStringLiteral("Buscar en cualquier columna")
                                                    : QStringLiteral("Buscar por clave o descripción"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);

    m_view = new QTableView(this);
    m_view->setModel(m_proxy);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setColumnWidth(0, 120);
    if (columns.size() > 1)
        m_view->horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    m_view->installEventFilter(this);

    auto *buttons = dialogparts::acceptCancelButtons(this);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_view, 1);
    layout->addWidget(buttons);

    auto selectFirst = [this] {
        if (m_proxy->rowCount() > 0)
            m_view->selectRow(0);
    };
    connect(m_search, &QLineEdit::textChanged, this, [this, selectFirst](const QString &text) {
        m_proxy->setFilterFixedString(text.trimmed());
        selectFirst();
    });
    connect(m_view, &QTableView::doubleClicked, this, [this] { acceptCurrent(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { acceptCurrent(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    selectFirst();
    m_search->setFocus();
}

bool CatalogBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            acceptCurrent();
            return true;
        }
        // Up and down in the search box move through the list, so the hands stay on the keys.
        if (watched == m_search && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)) {
            const int row = m_view->currentIndex().isValid() ? m_view->currentIndex().row() : -1;
            const int next = qBound(0, row + (key->key() == Qt::Key_Down ? 1 : -1), m_proxy->rowCount() - 1);
            if (m_proxy->rowCount() > 0)
                m_view->selectRow(next);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CatalogBrowser::acceptCurrent()
{
    QModelIndex current = m_view->currentIndex();
    if (!current.isValid() && m_proxy->rowCount() == 1)
        current = m_proxy->index(0, 0);
    if (!current.isValid())
        return;
    m_picked = m_proxy->index(current.row(), 0).data().toString();
    accept();
}

} // namespace zentaro
