#pragma once

#include "platform/core/GroupedControl.h"
#include "platform/controls/ScriptableControl.h"

#include <QWidget>

namespace zentaro {

// The invoice-number box: the series and next number of the branch's default electronic
// series of invoices (Serie), shown as "<series>-<number>". ReserveNumber takes the number
// shown inside the caller's open transaction (documentnumbers::reserve); a number that is
// no longer free is refused with the reason in Message, and the box moves on to the next.
class SeriesNumberBox : public QWidget, public GroupedControl, public ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(QString Branch READ branch WRITE setBranch)
    Q_PROPERTY(QString Series READ series WRITE setSeries)
    Q_PROPERTY(int Number READ number WRITE setNumber)
    Q_PROPERTY(QString DocumentNumber READ documentNumber)
    Q_PROPERTY(QString Message READ message)
    Q_PROPERTY(QString Text READ documentNumber)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QString Tag READ tag WRITE setTag)

public:
    explicit SeriesNumberBox(QWidget *parent = nullptr);
    ~SeriesNumberBox() override;

    QString branch() const;
    // Shows the default series of that branch and its next number.
    void setBranch(const QString &branch);
    QString series() const;
    void setSeries(const QString &series);
    int number() const;
    void setNumber(int number);
    QString documentNumber() const;   // "FG-12"
    QString message() const;
    // True when the number was free and is now taken; false with Message otherwise.
    bool ReserveNumber();

    QString tag() const override;
    void setTag(const QString &tag) override;
    void clearContent() override;
    void unlock() override;
    void scriptType(const QString &text) override;   // "SERIE" or "SERIE-NUMERO"

signals:
    void changed();

private:
    struct Private;
    Private *d;
};

} // namespace zentaro
