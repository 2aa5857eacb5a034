// A second clerk for tests of concurrent work: a process of its own, with its own
// connection, doing one kind of write many times. Prints one line per value it took.
//
//   clerk increment URL DELAY_MS        read a counter, wait, write it plus one (one transaction)
//   clerk counter URL N                 take N numbers of the counter "prueba" and N log ids
//   clerk folio URL SERIES N            store N invoices of SERIES, each under a reserved number
//   clerk cancel URL FOLIO              cancel the invoice FOLIO with the suite's canceller (one transaction)

#include "platform/components/records/DocumentLog.h"
#include "platform/components/cancellation/InvoiceCanceller.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Counter.h"
#include "platform/services/DocumentNumbers.h"
#include "platform/services/Platform.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

using namespace zentaro;

namespace {

class SilentPresenter : public MessagePresenter
{
public:
    int present(const Message &, QWidget *) override { return 1; }
    void reportError(const QString &, const QString &) override {}
};

void say(const QString &text) { std::printf("%s\n", text.toUtf8().constData()); std::fflush(stdout); }

void increment(Connection &db, int delayMs)
{
    TransactionGuard transaction(db);
    Recordset rs = db.select(QStringLiteral("SELECT Ct_Valor FROM Contador WHERE Ct_Nombre = 'serie'"));
    const int value = rs.field(QStringLiteral("Ct_Valor")).toInt();
    rs.close();
    QThread::msleep(delayMs);
    db.run(QStringLiteral("UPDATE Contador SET Ct_Valor = ? WHERE Ct_Nombre = 'serie'"), {value + 1});
    transaction.commit();
    say(QString::number(value + 1));
}

void counters(Connection &db, int count)
{
    for (int i = 0; i < count; ++i) {
        say(QStringLiteral("contador %1").arg(nextCounterValue(db, QStringLiteral("prueba"))));
        logDocumentEvent(db, QStringLiteral("Factura"), QStringLiteral("X"), QStringLiteral("Prueba"), QString());
    }
}

void folios(Connection &db, const QString &series, int count)
{
    for (int stored = 0; stored < count;) {
        TransactionGuard transaction(db);
        const int number = documentnumbers::nextNumber(db, series).next;
        if (!documentnumbers::reserve(db, series, number).reserved)
            continue;   // the other clerk took it first: try the next one
        const QString folio = documentnumbers::folio(series, number);
        db.run(QStringLiteral("INSERT INTO Factura (Fc_Folio, Fc_Serie, Fc_Numero, Es_Cve_Estado) VALUES (?, ?, ?, 'AC')"),
               {folio, series, number});
        transaction.commit();
        say(folio);
        ++stored;
    }
}

void cancel(Connection &db, const QString &folio)
{
    TransactionGuard transaction(db);
    InvoiceCanceller canceller(db);
    if (!canceller.CancelInvoice(folio, 0)) {
        say(canceller.LastError());
        return;
    }
    transaction.commit();
    say(QStringLiteral("cancelada"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "uso: clerk increment|counter|folio URL ...\n");
        return 2;
    }
    try {
        Platform::install(std::make_unique<Platform>(Connection::open(ConnectionUrl::parse(args.at(2))),
                                                     QStringLiteral("CAJERO1"), std::make_shared<SilentPresenter>()));
        Connection &db = Platform::instance().connection();
        db.setCommandTimeout(60);
        if (args.at(1) == QLatin1String("increment"))
            increment(db, args.at(3).toInt());
        else if (args.at(1) == QLatin1String("counter"))
            counters(db, args.at(3).toInt());
        else if (args.at(1) == QLatin1String("cancel"))
            cancel(db, args.at(3));
        else if (args.at(1) == QLatin1String("folio") && args.size() > 4)
            folios(db, args.at(3), args.at(4).toInt());
        else
            return 2;
    } catch (const Error &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    Platform::uninstall();
    return 0;
}
