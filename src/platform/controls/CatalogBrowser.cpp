#include "platform/controls/CatalogBrowser.h"

#include "platform/controls/DialogParts.h"
#include "platform/controls/TextFormats.h"
#include "platform/core/Decimal.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/Platform.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace zentaro {

QList<CatalogBrowser::Column> CatalogBrowser::Catalog::shownColumns() const
{
    if (!columns.isEmpty())
        return columns;
    return {Column {QStringLiteral("Descripción"), table + u'.' + descriptionColumn, Column::Kind::Text}};
}

std::optional<CatalogBrowser::Catalog> CatalogBrowser::catalogFor(const QString &lookupId)
{
    struct Entry
    {
        const char *id;
        const char16_t *title;
        const char *table, *key, *description;
    };
    static const Entry entries[] = {
        {"SUCURSAL", u"Sucursales", "Sucursal", "Sc_Cve_Sucursal", "Sc_Descripcion"},
        {"ALMACEN", u"Almacenes", "Almacen", "Al_Cve_Almacen", "Al_Descripcion"},
        {"CLIENTE", u"Clientes", "Cliente", "Cl_Cve_Cliente", "Cl_Descripcion"},
        {"VENDEDOR", u"Vendedores", "Vendedor", "Vn_Cve_Vendedor", "Vn_Descripcion"},
        {"MONEDA", u"Monedas", "Moneda", "Mn_Cve_Moneda", "Mn_Descripcion"},
        {"CONDICION_VENTA", u"Condiciones de venta", "Condicion_Venta", "Cv_Cve_Condicion_Venta", "Cv_Descripcion"},
        {"FACTURA", u"Facturas", "Factura", "Fc_Folio", "Fc_Factura"},
    };
    const QString id = lookupId.trimmed().toUpper();
    for (const Entry &entry : entries) {
        if (id != QLatin1String(entry.id))
            continue;
        Catalog catalog {QString::fromUtf16(entry.title), QString::fromLatin1(entry.table),
                         QString::fromLatin1(entry.key), QString::fromLatin1(entry.description), {}, {}};
        if (id == QLatin1String("FACTURA")) {
            // A folio alone tells the clerk nothing: the invoice is found by its series and
            // number, its day, its customer or its amount.
            using Kind = Column::Kind;
            catalog.keyHeader = QStringLiteral("Folio");
            catalog.columns = {{QStringLiteral("Serie"), QStringLiteral("Factura.Fc_Serie"), Kind::Text},
                               {QStringLiteral("Factura"), QStringLiteral("Factura.Fc_Factura"), Kind::Text},
                               {QStringLiteral("Fecha"), QStringLiteral("Factura.Fc_Fecha"), Kind::Date},
                               {QStringLiteral("Cliente"), QStringLiteral("Cliente.Cl_Razon_Social_1"), Kind::Text},
                               {QStringLiteral("Total"), QStringLiteral("Factura.Fc_Precio_Neto_Importe"), Kind::Money}};
            catalog.joins = QStringLiteral(" LEFT JOIN Cliente ON Cliente.Cl_Cve_Cliente = Factura.Cl_Cve_Cliente");
        }
        return catalog;
    }
    return std::nullopt;
}

QString CatalogBrowser::normalizedFilter(const QString &filter)
{
    // Splitting at quotes leaves the text outside quotes at even positions; a doubled quote
    // inside a literal only adds an empty outside part, so literals are never touched.
    static const QRegularExpression bareNumber(
        QStringLiteral("(<>|!=|<=|>=|=|<|>)(\\s*)(-?\\d+(?:\\.\\d+)?)(?![\\w.])"));
    QStringList parts = filter.split(u'\'');
    for (qsizetype i = 0; i < parts.size(); i += 2)
        parts[i].replace(bareNumber, QStringLiteral("\\1\\2'\\3'"));
    return parts.join(u'\'');
}

QString CatalogBrowser::statement(const Catalog &catalog, const QString &filter)
{
    QStringList selected {catalog.table + u'.' + catalog.keyColumn};
    for (const Column &column : catalog.shownColumns())
        selected << column.expression;
    QString sql = QStringLiteral("SELECT %2 FROM %1%3 WHERE %1.Es_Cve_Estado <> 'BA'")
                      .arg(catalog.table, selected.join(QStringLiteral(", ")), catalog.joins);
    const QString condition = normalizedFilter(filter).trimmed();
    if (!condition.isEmpty())
        sql += QStringLiteral(" AND (%1)").arg(condition);
    sql += QStringLiteral(" ORDER BY %1.%2").arg(catalog.table, catalog.keyColumn);
    return sql;
}

QList<CatalogBrowser::Row> CatalogBrowser::rows(Connection &connection, const QString &lookupId, const QString &filter)
{
    const std::optional<Catalog> catalog = catalogFor(lookupId);
    if (!catalog)
        throw Error(QStringLiteral("No hay un catálogo para la búsqueda %1").arg(lookupId));
    // The filter is condition text composed by the screen, so the statement runs as text.
    Recordset rs = connection.execute(statement(*catalog, filter));
    const QList<Column> columns = catalog->shownColumns();
    QList<Row> result;
    for (; !rs.eof(); rs.moveNext()) {
        Row row {rs.textAt(0), {}, {}};
        for (int i = 0; i < columns.size(); ++i) {
            const int at = i + 1;
            switch (columns.at(i).kind) {
            case Column::Kind::Date:
                row.shown << (rs.value(at).isNull() ? QString() : textformat::defaultDateText(rs.dateAt(at)));
                break;
            case Column::Kind::Money:
                row.shown << (rs.value(at).isNull() ? QString()
                                                    : textformat::formatNumber(Decimal::fromVariant(rs.value(at)).toDouble(),
                                                                               QStringLiteral("$#,##0.00")));
                break;
            case Column::Kind::Text:
                row.shown << rs.textAt(at);
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
    const std::optional<Catalog> catalog = catalogFor(lookupId);
    if (!catalog)
        throw Error(QStringLiteral("No hay un catálogo para la búsqueda %1").arg(lookupId));
    CatalogBrowser dialog(*catalog, rows(platform.connection(), lookupId, filter), parent);
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
