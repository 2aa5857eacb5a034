#pragma once

#include "ElectronicDocumentFixture.h"
#include "FakePac.h"

#include "platform/components/cancellation/InvoiceCanceller.h"
#include "platform/components/stamping/IssuerCsd.h"
#include "platform/components/stamping/RestPac.h"
#include "platform/services/Utilities.h"

#include <QRegularExpression>

namespace zentaro::test {

// Invoices stamped and cancelled through the REST client against the fake PAC on 127.0.0.1,
// on the server's clock, and the screen's own steps once the cancellation is accepted. The
// SAT answers what the scripts say, in order, and as the sandbox decides once they are empty.
class CancellationFixture : public ElectronicDocumentTest
{
protected:
    void SetUp() override
    {
        ElectronicDocumentTest::SetUp();
        if (HasFatalFailure())
            return;
        fake = std::make_unique<FakePac>(QStringLiteral("facturas"), QStringLiteral("Cl4ve"),
                                         [] { return Utilities().ServerNow(); });
        fake->script([this](const PacRequest &request) -> std::optional<PacAnswer> {
            QList<Scripted> *script = request.path == "/api/cfdi33/cancel/csd"     ? &cancelScript
                                      : request.path == "/ConsultaCFDIService.svc" ? &statusScript
                                                                                   : nullptr;
            if (!script || script->isEmpty())
                return std::nullopt;
            return script->takeFirst()(request);
        });
        // Some cases make the stored CFDI another issuer's, one the demo has no CSD for:
        // the request is signed with the demo company's, which the fake PAC does not check.
        pac = std::make_shared<RestPac>(fake->clientSettings(), [](const QString &) {
            return issuerCsd(Platform::instance().connection(), QStringLiteral("EKU9003173C9"));
        });
    }
    void TearDown() override
    {
        if (fake) {
            EXPECT_EQ(fake->violations(), QStringList()) << "requests the provider does not document";
        }
        fake.reset();
        ElectronicDocumentTest::TearDown();
    }
    QString sign(const QString &folio) { return DocumentSigner(pac).sign(request(folio)); }

    // The replacement's stamps: silence after stamping, or a refusal.
    void stampFaults(const QList<PacFault> &faults) { fake->faults(faults); }
    int stamps() const { return fake->count("/api/cfdi33/stamp/v4"); }
    int cancels() const { return fake->count("/api/cfdi33/cancel/csd"); }
    int statusQueries() const { return fake->count("/ConsultaCFDIService.svc"); }

    // What reached the SAT since forgetReached(), requests and status queries, each with the
    // cancellation request it is about.
    struct Reached
    {
        QString uuid, motive, replacementUuid;
        QByteArray request;   // the cancellation request's body as sent
    };
    QList<Reached> reachedTheSat() const
    {
        static const QRegularExpression id(QStringLiteral("id=([0-9A-Fa-f-]{36})"));
        QHash<QString, Reached> lastRequest;
        QList<Reached> all;
        const QList<PacRequest> requests = fake->requests();
        for (qsizetype i = 0; i < requests.size(); ++i) {
            const PacRequest &r = requests.at(i);
            if (r.path == "/api/cfdi33/cancel/csd") {
                const QJsonObject body = QJsonDocument::fromJson(r.body).object();
                Reached reached{body.value(QLatin1String("uuid")).toString().toUpper(),
                                body.value(QLatin1String("motivo")).toString(),
                                body.value(QLatin1String("folioSustitucion")).toString().toUpper(), r.body};
                lastRequest.insert(reached.uuid, reached);
                if (i >= m_reachedFrom)
                    all << reached;
            } else if (r.path == "/ConsultaCFDIService.svc" && i >= m_reachedFrom) {
                const QString uuid = id.match(QString::fromUtf8(r.body)).captured(1).toUpper();
                Reached reached = lastRequest.value(uuid);
                reached.uuid = uuid;
                all << reached;
            }
        }
        return all;
    }
    void forgetReached() { m_reachedFrom = fake->requests().size(); }

    // The canceller and the two statements that give the notes back, in one transaction;
    // answers the canceller's error.
    QString cancelInTransaction(const QString &folio)
    {
        TransactionGuard transaction(db());
        InvoiceCanceller canceller(db());
        if (!canceller.CancelInvoice(folio, 0))
            return canceller.LastError();
        for (const QString &table : {QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado")})
            db().run(QStringLiteral("UPDATE %1 SET Fc_Folio = '', Fc_Factura = '', Es_Cve_Estado = 'AC' WHERE Fc_Folio = ?")
                         .arg(table),
                     {folio});
        transaction.commit();
        return {};
    }
    QString satState(const QString &folio)
    {
        return field(QStringLiteral("SELECT Cd_Estado FROM Comprobante_Digital WHERE Cd_Documento = ?"), {folio});
    }
    QString invoiceState(const QString &folio)
    {
        return field(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), {folio});
    }

    std::unique_ptr<FakePac> fake;
    std::shared_ptr<RestPac> pac;
    QList<Scripted> cancelScript;   // what the SAT answers the next requests
    QList<Scripted> statusScript;   // and the next status queries
    int asked = 0;

private:
    qsizetype m_reachedFrom = 0;
};

} // namespace zentaro::test
