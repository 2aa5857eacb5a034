#include "platform/components/dialogs/QueryFilterDialog.h"

#include "platform/controls/DialogParts.h"
#include "platform/controls/TextFormats.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/SqlLiteral.h"
#include "platform/services/Platform.h"
#include "platform/services/QueryFilter.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zentaro {

namespace {

void refuseQuote(const QString &text, const QString &what)
{
    if (text.contains(u'\''))
        throw Error(QStringLiteral("%1 no puede llevar apóstrofos").arg(what));
}

// A LIKE pattern that finds the text anywhere; "%" and "_" typed by the clerk are
// themselves, not wildcards. A backslash is PostgreSQL's escape character of LIKE unless
// another one is named, so a text with one names "!" too.
QString containsPattern(const QString &text, bool &escaped)
{
    QString pattern;
    escaped = text.contains(u'\\');
    for (const QChar c : text.toUpper()) {
        if (c == u'!' || c == u'%' || c == u'_') {
            pattern += u'!';
            escaped = true;
        }
        pattern += c;
    }
    return u'%' + pattern + u'%';
}

struct Catalogue
{
    const char16_t *table;
    const char16_t *keyColumn;
    const char16_t *descriptionColumn;
};

const Catalogue kCustomers {u"Cliente", u"Cl_Cve_Cliente", u"Cl_Descripcion"};
const Catalogue kSalespeople {u"Vendedor", u"Vn_Cve_Vendedor", u"Vn_Descripcion"};
const Catalogue kRoutes {u"Ruta", u"Rt_Cve_Ruta", u"Rt_Descripcion"};

// The key as the catalogue spells it and its description; nullopt when it is not there.
std::optional<QPair<QString, QString>> lookUp(Connection &db, const QString &table, const QString &keyColumn,
                                              const QString &descriptionColumn, const QString &key)
{
    const QString select = QStringLiteral("SELECT %1, %2 FROM %3 WHERE ").arg(keyColumn, descriptionColumn, table);
    Recordset rs = db.select(select + keyColumn + QStringLiteral(" = ?"), {key});
    if (rs.eof())
        rs = db.select(select + QStringLiteral("UPPER(%1) = ? ORDER BY %1").arg(keyColumn), {key.toUpper()});
    if (rs.eof())
        return std::nullopt;
    return QPair<QString, QString>(rs.textAt(0), rs.textAt(1));
}

std::optional<QPair<QString, QString>> lookUp(Connection &db, const Catalogue &catalogue, const QString &key)
{
    return lookUp(db, QString::fromUtf16(catalogue.table), QString::fromUtf16(catalogue.keyColumn),
                  QString::fromUtf16(catalogue.descriptionColumn), key);
}

} // namespace

QString composeFilterCondition(const DocumentFilter &filter)
{
    // Keys cannot carry a quote (their catalogues refuse one), so a key with one names
    // nothing; the reference is free text and may.
    refuseQuote(filter.customer, QStringLiteral("La clave del cliente"));
    refuseQuote(filter.salesperson, QStringLiteral("La clave del vendedor"));
    refuseQuote(filter.route, QStringLiteral("La clave de la ruta"));

    QStringList criteria;
    if (!filter.customer.trimmed().isEmpty())
        criteria << QStringLiteral("Venta_Encabezado.Cl_Cve_Cliente = ") + sql::quoted(filter.customer.trimmed());
    if (!filter.salesperson.trimmed().isEmpty())
        criteria << QStringLiteral("Venta_Encabezado.Vn_Cve_Vendedor = ") + sql::quoted(filter.salesperson.trimmed());
    if (!filter.route.trimmed().isEmpty())
        criteria << QStringLiteral("Cliente.Rt_Cve_Ruta = ") + sql::quoted(filter.route.trimmed());
    if (!filter.reference.trimmed().isEmpty()) {
        bool escaped = false;
        const QString pattern = containsPattern(filter.reference.trimmed(), escaped);
        criteria << QStringLiteral("UPPER(Venta_Encabezado.Vn_Referencia) LIKE ") + sql::quoted(pattern)
                        + (escaped ? QStringLiteral(" ESCAPE '!'") : QString());
    }
    if (filter.minimumAmount)
        criteria << QStringLiteral("Venta_Encabezado.Vn_Precio_Neto_Importe >= ") + sql::number(*filter.minimumAmount);
    if (filter.maximumAmount)
        criteria << QStringLiteral("Venta_Encabezado.Vn_Precio_Neto_Importe <= ") + sql::number(*filter.maximumAmount);
    if (criteria.isEmpty())
        return QueryFilter::noCriteria();
    return criteria.join(QStringLiteral(" AND ")) + u' ';
}

QString checkDocumentFilter(Connection &db, DocumentFilter &filter)
{
    struct Key
    {
        QString *value;
        const Catalogue *catalogue;
        const char16_t *missing;
    };
    const Key keys[] = {
        {&filter.customer, &kCustomers, u"El cliente %1 no existe"},
        {&filter.salesperson, &kSalespeople, u"El vendedor %1 no existe"},
        {&filter.route, &kRoutes, u"La ruta %1 no existe"},
    };
    for (const Key &key : keys) {
        *key.value = key.value->trimmed();
        if (key.value->isEmpty())
            continue;
        if (key.value->contains(u'\''))
            return QString::fromUtf16(key.missing).arg(*key.value);
        const auto found = lookUp(db, *key.catalogue, *key.value);
        if (!found)
            return QString::fromUtf16(key.missing).arg(*key.value);
        *key.value = found->first;
    }
    filter.reference = filter.reference.trimmed();
    // A character no statement can carry is refused while the clerk can still change it.
    try {
        sql::quoted(filter.reference);
    } catch (const Error &error) {
        return QStringLiteral("La referencia no puede usarse: ") + error.description();
    }
    if (filter.minimumAmount && filter.maximumAmount && *filter.minimumAmount > *filter.maximumAmount)
        return QStringLiteral("El importe mínimo es mayor que el máximo");
    return {};
}

QueryFilterDialog::QueryFilterDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Filtro de documentos"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);

    auto keyRow = [&](const QString &label, const QString &name, const Catalogue &catalogue) {
        auto *box = new QLineEdit(this);
        box->setObjectName(name);
        box->setMaxLength(20);
        auto *description = new QLabel(this);
        description->setMinimumWidth(220);
        auto *row = new QHBoxLayout;
        row->addWidget(box);
        row->addWidget(description, 1);
        form->addRow(label, row);
        connect(box, &QLineEdit::editingFinished, this, [this, box, description, catalogue] {
            describe(box, description, QString::fromUtf16(catalogue.table), QString::fromUtf16(catalogue.keyColumn),
                     QString::fromUtf16(catalogue.descriptionColumn));
        });
        return box;
    };
    m_customer = keyRow(QStringLiteral("Cliente:"), QStringLiteral("customer"), kCustomers);
    m_salesperson = keyRow(QStringLiteral("Vendedor:"), QStringLiteral("salesperson"), kSalespeople);
    m_route = keyRow(QStringLiteral("Ruta:"), QStringLiteral("route"), kRoutes);

    m_reference = new QLineEdit(this);
    m_reference->setObjectName(QStringLiteral("reference"));
    m_reference->setMaxLength(60);
    m_reference->setPlaceholderText(QStringLiteral("Contiene..."));
    form->addRow(QStringLiteral("Referencia:"), m_reference);

    m_minimum = new QLineEdit(this);
    m_minimum->setObjectName(QStringLiteral("minimum"));
    m_maximum = new QLineEdit(this);
    m_maximum->setObjectName(QStringLiteral("maximum"));
    auto *amounts = new QHBoxLayout;
    amounts->addWidget(m_minimum);
    amounts->addWidget(new QLabel(QStringLiteral("a"), this));
    amounts->addWidget(m_maximum);
    form->addRow(QStringLiteral("Importe neto de:"), amounts);

    m_error = dialogparts::errorLine(this);
    layout->addWidget(m_error);

    auto *buttons = dialogparts::acceptCancelButtons(this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (tryAccept())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void QueryFilterDialog::describe(QLineEdit *box, QLabel *label, const QString &table, const QString &keyColumn,
                                 const QString &descriptionColumn)
{
    label->clear();
    const QString key = box->text().trimmed();
    if (key.isEmpty() || key.contains(u'\'') || !Platform::isInstalled())
        return;
    try {
        if (const auto found = lookUp(Platform::instance().connection(), table, keyColumn, descriptionColumn, key))
            label->setText(found->second);
    } catch (const Error &) {
        // Only a hint: tryAccept reports a failing database.
    }
}

bool QueryFilterDialog::tryAccept()
{
    DocumentFilter filter;
    filter.customer = m_customer->text();
    filter.salesperson = m_salesperson->text();
    filter.route = m_route->text();
    filter.reference = m_reference->text();
    QString problem;
    QLineEdit *wrong = nullptr;
    auto amount = [&](QLineEdit *box, const QString &what) -> std::optional<Decimal> {
        if (box->text().trimmed().isEmpty() || !problem.isEmpty())
            return std::nullopt;
        try {
            return Decimal::fromDouble(textformat::readNumber(box->text()));
        } catch (const Error &) {
            problem = QStringLiteral("%1 no es un número").arg(what);
            wrong = box;
            return std::nullopt;
        }
    };
    filter.minimumAmount = amount(m_minimum, QStringLiteral("El importe mínimo"));
    filter.maximumAmount = amount(m_maximum, QStringLiteral("El importe máximo"));
    if (problem.isEmpty()) {
        try {
            problem = checkDocumentFilter(Platform::instance().connection(), filter);
        } catch (const Error &error) {
            problem = error.description();
        }
        if (problem.startsWith(QLatin1String("El cliente")))
            wrong = m_customer;
        else if (problem.startsWith(QLatin1String("El vendedor")))
            wrong = m_salesperson;
        else if (problem.startsWith(QLatin1String("La ruta")))
            wrong = m_route;
        else if (problem.startsWith(QLatin1String("La referencia")))
            wrong = m_reference;
        else if (!problem.isEmpty())
            wrong = m_minimum;
    }
    m_error->setText(problem);
    if (!problem.isEmpty()) {
        if (wrong) {
            wrong->setFocus();
            wrong->selectAll();
        }
        return false;
    }
    m_filter = filter;
    return true;
}

QString QueryFilterDialog::ask(QWidget *parent)
{
    QueryFilterDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return composeFilterCondition(dialog.filter());
}

} // namespace zentaro
