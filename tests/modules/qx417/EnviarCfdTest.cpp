#include "ScreenFixture.h"

#include "platform/components/DocumentSigner.h"

#include <QTemporaryDir>

using namespace zentaro;

namespace qx417::test {
namespace {

// Mail goes nowhere: nothing listens on port 1, so every send the screen makes fails
// with the server's reason and shows it.
class EnviarCfd : public ScreenTest
{
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (HasFatalFailure())
            return;
        qputenv("ZENTARO_OUTPUT_DIR", output.path().toLocal8Bit());
        exec(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = 'smtp://127.0.0.1:1' WHERE Vc_Nombre = 'MAIL_SMTP_URL'"));
        ASSERT_EQ(DocumentSigner().signInvoice(QStringLiteral("FG-000001")), QString());
    }
    void setSendByMail(bool on)
    {
        exec(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = '%1' WHERE Vc_Nombre = 'FAC_ENVIAR_DOCUMENTO_EMAIL'")
                 .arg(on ? 1 : 0));
    }
    int mailLogRows()
    {
        return db().select(QStringLiteral("SELECT count(*) AS n FROM Bitacora_Documento WHERE Bd_Accion LIKE '%orreo%'"))
            .textAt(0).toInt();
    }
    QTemporaryDir output;
};

TEST_P(EnviarCfd, SendsOnlySignedDocumentsAndOnlyWhenAskedTo)
{
    setSendByMail(false);
    frmQX417 &form = open();
    const int before = mailLogRows();

    form.Enviar_CFD(QStringLiteral("FG-000002"), QStringLiteral("Factura"), true);   // not signed: never
    form.Enviar_CFD(QStringLiteral("FG-000001"), QStringLiteral("Factura"), false);  // setting off
    EXPECT_TRUE(presenter->messages.isEmpty());
    EXPECT_EQ(mailLogRows(), before);

    form.Enviar_CFD(QStringLiteral("FG-000001"), QStringLiteral("Factura"), true);   // "Enviar": always
    ASSERT_EQ(messageIds(), QStringList {QStringLiteral("ERR-ID:7500045")});
    EXPECT_EQ(presenter->messages[0].title, QStringLiteral("Enviar_CFD()"));
    EXPECT_EQ(presenter->messages[0].style, 16);
    EXPECT_FALSE(presenter->messages[0].text.isEmpty());
    EXPECT_EQ(mailLogRows(), before + 1);
}

TEST_P(EnviarCfd, TheSettingIsReadWhenTheScreenLoads)
{
    setSendByMail(true);
    frmQX417 &form = open();
    setSendByMail(false);   // too late: the screen read it at load
    form.Enviar_CFD(QStringLiteral("FG-000001"), QStringLiteral("Factura"), false);
    EXPECT_EQ(messageIds(), QStringList {QStringLiteral("ERR-ID:7500045")});
}

ZENTARO_ON_BOTH_ENGINES(EnviarCfd);

} // namespace
} // namespace qx417::test
