#include "platform/controls/SeriesNumberBox.h"

#include "platform/services/DocumentNumbers.h"
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
        const documentnumbers::SeriesNumber found =
            documentnumbers::defaultSeries(Platform::instance().connection(), d->branch);
        d->series = found.series;
        d->number = found.next;
        d->message = found.message;
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
        const documentnumbers::SeriesNumber found =
            documentnumbers::nextNumber(Platform::instance().connection(), d->series);
        d->number = found.next;
        d->message = found.message;
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
    return d->series.isEmpty() ? QString() : documentnumbers::numberText(d->series, d->number);
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
    const documentnumbers::Reservation reservation =
        documentnumbers::reserve(Platform::instance().connection(), d->series, d->number);
    d->message = reservation.message;
    // A number another clerk took is not offered again: the box shows the next one, and
    // the clerk accepts again with it.
    if (!reservation.reserved && reservation.next > 0 && reservation.next != d->number)
        setNumber(reservation.next);
    return reservation.reserved;
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
