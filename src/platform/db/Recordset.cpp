#include "platform/db/Recordset.h"

#include "platform/core/Error.h"
#include "platform/db/SqlErrorText.h"

#include <QSqlRecord>
#include <QSqlField>

namespace zentaro {

Recordset::Recordset(std::shared_ptr<QSqlQuery> query, FailureHandler onFailure)
    : m_query(std::move(query)), m_onFailure(std::move(onFailure))
{
    const QSqlRecord record = m_query->record();
    for (int i = 0; i < record.count(); ++i) {
        m_names.append(record.fieldName(i));
        m_types.append(record.field(i).metaType());
    }
    step();
}

void Recordset::step()
{
    m_eof = !m_query->next();
    if (m_eof && m_query->lastError().isValid()) {
        const QString text = engineErrorText(m_query->lastError());
        m_query.reset();
        if (m_onFailure)
            m_onFailure(text);
        throw Error(text);
    }
}

void Recordset::moveNext()
{
    requireRow();
    step();
}

void Recordset::close()
{
    if (m_query)
        m_query->finish();
    m_query.reset();
    m_eof = true;
}

int Recordset::fieldCount() const { return static_cast<int>(m_types.size()); }

QString Recordset::fieldName(int index) const
{
    return m_names.value(index);
}

// Fields are read by name once a row per field: a scan of the few names without folding
// the asked one into a new string each time costs less than a lower-cased hash look-up.
static int findName(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

bool Recordset::hasField(const QString &name) const { return findName(m_names, name) >= 0; }

int Recordset::indexOf(const QString &name) const
{
    const int index = findName(m_names, name);
    if (index < 0)
        throw Error(QStringLiteral("El elemento \"%1\" no se encontró en el conjunto de registros").arg(name));
    return index;
}

void Recordset::requireRow() const
{
    if (m_eof || !m_query)
        throw Error(QStringLiteral("No hay registro actual: el conjunto de registros está al final"));
}

QVariant Recordset::field(const QString &name) const { return value(indexOf(name)); }

QVariant Recordset::value(int index) const
{
    requireRow();
    return m_query->value(index);
}

namespace {

bool holdsNumber(const QVariant &v, int declared)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Short:
        return true;
    default:
        break;
    }
    // PostgreSQL hands numeric columns over as text to keep them exact.
    return !v.isNull() && (declared == QMetaType::Double || declared == QMetaType::LongLong || declared == QMetaType::Int);
}

} // namespace

bool Recordset::isNumeric(int index) const { return holdsNumber(value(index), m_types.value(index).id()); }

QString Recordset::textAt(int index) const
{
    const QVariant v = value(index);
    if (v.isNull())
        return {};
    if (holdsNumber(v, m_types.value(index).id()))
        return Decimal::fromVariant(v).toString();
    switch (v.typeId()) {
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default:
        return v.toString();
    }
}

QString Recordset::text(const QString &name) const { return textAt(indexOf(name)); }

Decimal Recordset::decimal(const QString &name) const { return Decimal::fromVariant(field(name)); }

QDate Recordset::date(const QString &name) const { return dateAt(indexOf(name)); }

QDate Recordset::dateAt(int index) const
{
    const QVariant v = value(index);
    if (v.typeId() == QMetaType::QDate)
        return v.toDate();
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().date();
    return QDate::fromString(v.toString().left(10), Qt::ISODate);
}

} // namespace zentaro
