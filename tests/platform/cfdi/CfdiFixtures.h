#pragma once

#include "platform/cfdi/Comprobante.h"
#include "platform/cfdi/ComprobanteTotals.h"
#include "platform/cfdi/ExactDecimal.h"
#include "platform/cfdi/GlobalInvoice.h"
#include "platform/cfdi/TestCertificate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for QString comparisons.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace zentaro::cfdi::test {

inline QString satDir()
{
    const QString fromEnv = qEnvironmentVariable("ZENTARO_SAT_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    // Outside ctest: the shared folder next to the repository, found from this file's path.
    return QDir(QFileInfo(QString::fromUtf8(__FILE__)).absolutePath())
        .absoluteFilePath(QStringLiteral("../../../../shared/sat"));
}

inline QString satPath(const QString &relative)
{
    return QDir(satDir()).absoluteFilePath(relative);
}

inline QByteArray readSat(const QString &relative)
{
    QFile file(satPath(relative));
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << file.fileName().toStdString();
    return file.readAll();
}

// The EKU test CSD expires 2027-05-18; every test runs at this fixed moment.
inline QDateTime fixedNow()
{
    // Noon in Mexico City, where the fixtures' places of issue are.
    return QDateTime(QDate(2026, 12, 6), QTime(12, 0, 0), QTimeZone(QByteArrayLiteral("America/Mexico_City")));
}

inline Csd ekuCsd()
{
    return Csd{readSat(QStringLiteral("csd/EKU9003173C9.cer")), readSat(QStringLiteral("csd/EKU9003173C9.key")),
               QString::fromUtf8(readSat(QStringLiteral("csd/password.txt")))};
}

// SAT's own stylesheet through xsltproc, the reference our C++ cadena must match.
inline QString xsltCadena(const QString &stylesheet, const QByteArray &xml)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    file.write(xml);
    file.flush();
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral("xsltproc"), {satPath(stylesheet), file.fileName()});
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline Traslado traslado(const QString &base, const QString &impuesto, const QString &factor, const QString &rate)
{
    Traslado t{base, impuesto, factor, {}, {}};
    if (factor != u"Exento") {
        t.tasaOCuota = rate;
        t.importe = (*ExactDecimal::parse(base) * *ExactDecimal::parse(rate)).toFixed(2);
    }
    return t;
}

inline Concepto ticket(const QString &folio, const QString &amount, QList<Traslado> traslados,
                       const QString &descuento = {})
{
    Concepto c;
    c.claveProdServ = QStringLiteral("01010101");
    c.noIdentificacion = folio;
    c.cantidad = QStringLiteral("1");
    c.claveUnidad = QStringLiteral("ACT");
    c.descripcion = QStringLiteral("Venta");
    c.valorUnitario = amount;
    c.importe = amount;
    c.descuento = descuento;
    c.traslados = std::move(traslados);
    return c;
}

// A global invoice of the EKU test issuer with tickets taxed at 16 %, 0 % and exempt, for
// the day of its notes unless another periodicity is asked for.
inline Comprobante globalInvoice(const QList<QDate> &noteDates = {QDate(2026, 12, 5)},
                                 const QString &periodicidad = QStringLiteral("01"))
{
    Comprobante c;
    c.serie = QStringLiteral("FG");
    c.folio = QStringLiteral("7");
    c.fecha = QStringLiteral("2026-12-06T10:00:00");
    c.formaPago = QStringLiteral("01");
    c.lugarExpedicion = QStringLiteral("42501");
    c.emisor = Emisor{QStringLiteral("EKU9003173C9"), QStringLiteral("ESCUELA KEMPER URGATE"), QStringLiteral("601")};
    c.receptor = publicReceptor(c.lugarExpedicion);
    QList<DatedNote> notes;
    for (const QDate &date : noteDates)
        notes.append({QStringLiteral("T"), date});
    c.informacionGlobal = informacionGlobalFor(notes, periodicidad, noteDates.last(), c.emisor.regimenFiscal);
    c.conceptos = {
        ticket(QStringLiteral("T-1"), QStringLiteral("431.03"),
               {traslado(QStringLiteral("431.03"), QStringLiteral("002"), QStringLiteral("Tasa"),
                         QStringLiteral("0.160000"))}),
        ticket(QStringLiteral("T-2"), QStringLiteral("250.00"),
               {traslado(QStringLiteral("250.00"), QStringLiteral("002"), QStringLiteral("Tasa"),
                         QStringLiteral("0.000000"))}),
        ticket(QStringLiteral("T-3"), QStringLiteral("120.50"),
               {traslado(QStringLiteral("120.50"), QStringLiteral("002"), QStringLiteral("Exento"), {})}),
    };
    computeTotals(c);
    return c;
}

} // namespace zentaro::cfdi::test
