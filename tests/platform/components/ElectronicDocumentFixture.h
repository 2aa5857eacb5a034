#pragma once

#include "support/SessionFixture.h"

#include "platform/cfdi/SchemaValidator.h"
#include "platform/components/stamping/DocumentSigner.h"
#include "platform/core/Error.h"
#include "platform/db/DemoData.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>

namespace zentaro::test {

// Records, besides messages, the documents and mails a component reports.
class ReportingPresenter : public RecordingPresenter
{
public:
    void reportOutput(const QString &path) override { outputs.append(path); }
    void reportMail(const QString &to, const QString &subject) override { mails.append({to, subject}); }

    QStringList outputs;
    QList<QPair<QString, QString>> mails;
};

// The demo company on a fixed day, its stored invoices unsigned, the clock fixed (in the
// branches' own time zone) so the demo CSD and the sandbox PAC agree on what "now" is.
class ElectronicDocumentTest : public SessionTest
{
protected:
    static QDate today() { return QDate(2026, 12, 6); }
    static QDateTime now()
    {
        return QDateTime(today(), QTime(10, 0, 0), QTimeZone(QByteArrayLiteral("America/Mexico_City")));
    }

    void SetUp() override
    {
        // As SessionTest, with a presenter that also keeps the reports.
        DatabaseTest::SetUp();
        if (HasFatalFailure())
            return;
        reports = std::make_shared<ReportingPresenter>();
        presenter = reports;
        Platform::install(std::make_unique<Platform>(std::move(connection), QStringLiteral("ADMIN"), reports));
        demo::fill(db(), {417, today(), 0});
        Platform::instance().fixClock(now());
        qputenv("ZENTARO_OUTPUT_DIR", outputDir.path().toLocal8Bit());
    }

    QString request(const QString &folio) { return db().defaultDatabase() + QStringLiteral("|6|") + folio; }
    QString sign(const QString &folio) { return DocumentSigner().sign(request(folio)); }

    int count(const QString &sql, const QVariantList &values = {})
    {
        Recordset rs = db().select(sql, values);
        return int(rs.decimal(rs.fieldName(0)).units() / Decimal::kOne);
    }
    // Stamped here: the demo's cancelled FG-000005 was stamped before the demo begins.
    int stampedRows()
    {
        return count(QStringLiteral("SELECT count(*) AS n FROM Comprobante_Digital WHERE Cd_Documento <> 'FG-000005'"));
    }
    int logRows(const QString &action)
    {
        return count(QStringLiteral("SELECT count(*) AS n FROM Bitacora_Documento WHERE Bd_Accion = ?"), {action});
    }
    QString field(const QString &sql, const QVariantList &values = {})
    {
        Recordset rs = db().select(sql, values);
        return rs.eof() ? QString() : rs.textAt(0);
    }
    void setVariable(const QString &name, const QString &value)
    {
        db().run(QStringLiteral("DELETE FROM Variable_Configuracion WHERE Vc_Nombre = ?"), {name});
        db().run(QStringLiteral("INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor, Vc_Tipo, Vc_Descripcion) "
                                "VALUES (?, ?, 'C', 'prueba')"),
                 {name, value});
    }
    QString uuidOf(const QString &folio)
    {
        return field(QStringLiteral("SELECT Cd_UUID FROM Comprobante_Digital WHERE Cd_Tabla = 'Factura' AND Cd_Documento = ?"),
                     {folio});
    }

    static QString satDir() { return qEnvironmentVariable("ZENTARO_SAT_DIR"); }
    // Compiling SAT's schema takes a moment: once per test program.
    static const cfdi::SchemaValidator &stampedSchema()
    {
        static const cfdi::SchemaValidator validator(QDir(satDir()).filePath(QStringLiteral("xsd/cfdv40_tfd11.xsd")));
        return validator;
    }

    std::shared_ptr<ReportingPresenter> reports;
    QTemporaryDir outputDir;
};

// The demo's invoices that can be signed (FG-000005 is cancelled).
inline const QStringList kDemoInvoices = {QStringLiteral("FG-000001"), QStringLiteral("FG-000002"),
                                          QStringLiteral("FG-000003"), QStringLiteral("FG-000004"),
                                          QStringLiteral("FG-000006"), QStringLiteral("FZ-000001"),
                                          QStringLiteral("FZ-000002")};

} // namespace zentaro::test
