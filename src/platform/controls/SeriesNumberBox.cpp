#include "platform/controls/SeriesNumberBox.h"

#include "platform/core/Error.h"
#include "platform/services/Platform.h"

#include <QHBoxLayout>
#include <QLineEdit>

namespace zentaro {

struct SeriesNumberBox::Private
{
    QLineEdit *edit = nullptr;
    QString branch;
    QString series;
    int number = 0;
    QString message;
    QString tag;

    void show() const
    {
        edit->setText(series.isEmpty() ? QString() : QStringLiteral("%1-%2").arg(series).arg(number));
    }
};

SeriesNumberBox::SeriesNumberBox(QWidget *parent) : QWidget(parent), d(new Private)
{
    d->edit = new QLineEdit(this);
    d->edit->setReadOnly(true);
    // The number is taken when the document is stored; the clerk only reads it.
    d->edit->setFocusPolicy(Qt::ClickFocus);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->edit);
}

SeriesNumberBox::~SeriesNumberBox() { delete d; }

QString SeriesNumberBox::branch() const { return d->branch; }

void SeriesNumberBox::setBranch(const QString &branch)
{
    d->branch = branch.trimmed();
    d->series.clear();
    d->number = 0;
    d->message.clear();
    if (!d->branch.isEmpty()) {
        Recordset rs = Platform::instance().connection().select(
            QStringLiteral("SELECT Sr_Cve_Serie, Sr_Siguiente_Numero FROM Serie WHERE Sc_Cve_Sucursal = ? "
                           "AND Sr_Tabla = 'Factura' AND Sr_Default = 'SI' AND Es_Cve_Estado <> 'BA' "
                           "ORDER BY Sr_Cve_Serie"),
            {d->branch});
        if (rs.eof()) {
            d->message = QStringLiteral("La sucursal %1 no tiene una serie de facturas").arg(d->branch);
        } else {
            d->series = rs.text(QStringLiteral("Sr_Cve_Serie"));
            d->number = rs.field(QStringLiteral("Sr_Siguiente_Numero")).toInt();
        }
    }
    d->show();
    emit changed();
}

QString SeriesNumberBox::series() const { return d->series; }

void SeriesNumberBox::setSeries(const QString &series)
{
    d->series = series.trimmed().toUpper();
    d->number = 0;
    d->message.clear();
    if (!d->series.isEmpty()) {
        Recordset rs = Platform::instance().connection().select(
            QStringLiteral("SELECT Sr_Siguiente_Numero FROM Serie WHERE Sr_Cve_Serie = ? AND Sr_Tabla = 'Factura' "
                           "AND Es_Cve_Estado <> 'BA'"),
            {d->series});
        if (rs.eof())
            d->message = QStringLiteral("La serie de facturas %1 no existe o está dada de baja").arg(d->series);
        else
            d->number = rs.field(QStringLiteral("Sr_Siguiente_Numero")).toInt();
    }
    d->show();
    emit changed();
}

int SeriesNumberBox::number() const { return d->number; }

void SeriesNumberBox::setNumber(int number)
{
    if (number == d->number)
        return;
    d->number = number;
    d->show();
    emit changed();
}

QString SeriesNumberBox::documentNumber() const
{
    return d->series.isEmpty() ? QString() : QStringLiteral("%1-%2").arg(d->series).arg(d->number);
}

QString SeriesNumberBox::message() const { return d->message; }

bool SeriesNumberBox::ReserveNumber()
{
    if (d->series.isEmpty()) {
        d->message = d->branch.isEmpty()
            ? QStringLiteral("No se ha indicado la sucursal de la factura")
            : QStringLiteral("La sucursal %1 no tiene una serie de facturas").arg(d->branch);
        return false;
    }
    Connection &connection = Platform::instance().connection();
    // Taking the number and storing the document must stand or fall together; the caller's
    // transaction is what makes them one.
    if (!connection.inTransaction()) {
        d->message = QStringLiteral("El número de factura solo se aparta dentro de la transacción que guarda la factura");
        return false;
    }
    // Another clerk may have taken numbers since the box was shown: the series row is read
    // again, locked on PostgreSQL until the caller commits (SQLite already writes alone).
    QString read = QStringLiteral("SELECT Sr_Siguiente_Numero FROM Serie WHERE Sr_Cve_Serie = ? AND Es_Cve_Estado <> 'BA'");
    if (connection.engine() == Engine::Postgres)
        read += QStringLiteral(" FOR UPDATE");
    Recordset rs = connection.select(read, {d->series});
    if (rs.eof()) {
        d->message = QStringLiteral("La serie de facturas %1 no existe o está dada de baja").arg(d->series);
        return false;
    }
    const int number = rs.field(QStringLiteral("Sr_Siguiente_Numero")).toInt();
    rs.close();
    if (number != d->number) {
        d->number = number;
        d->show();
        emit changed();
    }

    Recordset used = connection.select(
        QStringLiteral("SELECT Fc_Folio FROM Factura WHERE Fc_Serie = ? AND Fc_Numero = ? ORDER BY Fc_Folio"),
        {d->series, number});
    if (!used.eof()) {
        d->message = QStringLiteral("El número %1 ya fue usado por la factura %2; revise el siguiente número de la serie %3")
                         .arg(documentNumber(), used.text(QStringLiteral("Fc_Folio")), d->series);
        return false;
    }
    connection.run(QStringLiteral("UPDATE Serie SET Sr_Siguiente_Numero = ? WHERE Sr_Cve_Serie = ?"),
                   {number + 1, d->series});
    d->message.clear();
    return true;
}

QString SeriesNumberBox::tag() const { return d->tag; }
void SeriesNumberBox::setTag(const QString &tag) { d->tag = tag; }

void SeriesNumberBox::clearContent()
{
    // A new document shows the next number of its branch again.
    if (!d->branch.isEmpty() && Platform::isInstalled()) {
        setBranch(d->branch);
        return;
    }
    d->series.clear();
    d->number = 0;
    d->message.clear();
    d->show();
}

void SeriesNumberBox::unlock() { setEnabled(true); }

void SeriesNumberBox::scriptType(const QString &text)
{
    const QString typed = text.trimmed();
    const qsizetype dash = typed.lastIndexOf(u'-');
    bool isNumber = false;
    const int number = dash > 0 ? typed.mid(dash + 1).toInt(&isNumber) : 0;
    if (isNumber) {
        setSeries(typed.left(dash));
        setNumber(number);
    } else {
        setSeries(typed);
    }
}

} // namespace zentaro
