#pragma once

#include "ElectronicDocumentFixture.h"
#include "FlakyPac.h"

#include "platform/components/cancellation/InvoiceCanceller.h"
#include "platform/services/Utilities.h"

namespace zentaro::test {

// Invoices stamped through a scriptable PAC on the server's clock, and the screen's own steps
// once the cancellation is accepted.
class CancellationFixture : public ElectronicDocumentTest
{
protected:
    void SetUp() override
    {
        ElectronicDocumentTest::SetUp();
        if (HasFatalFailure())
            return;
        pac = std::make_shared<FlakyPac>([] { return Utilities().ServerNow(); });
    }

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

    std::shared_ptr<FlakyPac> pac;
    int asked = 0;
};

} // namespace zentaro::test
