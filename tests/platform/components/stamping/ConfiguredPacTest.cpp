#include "ElectronicDocumentFixture.h"
#include "FakePac.h"

#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/stamping/RestPac.h"
#include "platform/core/StoredSecret.h"

namespace zentaro::test {

namespace {

const QString kPassword = QStringLiteral("Cl4ve-del-PAC");

} // namespace

// CFDI_PAC=REST and its variables choose the network PAC; the signer then stamps through it.
class ConfiguredPacTest : public ElectronicDocumentTest
{
protected:
    void setVariable(const QString &name, const QString &value)
    {
        db().run(QStringLiteral("DELETE FROM Variable_Configuracion WHERE Vc_Nombre = ?"), {name});
        db().run(QStringLiteral("INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor, Vc_Tipo, Vc_Descripcion) "
                                "VALUES (?, ?, 'C', 'prueba')"),
                 {name, value});
    }
    void configure(const QString &testUrl)
    {
        const std::pair<const char *, QString> variables[] = {
            {"CFDI_PAC", QStringLiteral("REST")},
            {"CFDI_PAC_AMBIENTE", QStringLiteral("PRUEBAS")},
            {"CFDI_PAC_URL_PRUEBAS", testUrl},
            {"CFDI_PAC_URL_PRODUCCION", QStringLiteral("https://produccion.example.mx/api/")},
            {"CFDI_PAC_USUARIO", QStringLiteral("facturas")},
            {"CFDI_PAC_CLAVE", sealSecret(kPassword)},
            {"CFDI_PAC_CA_CERTIFICADO", certificate.pemPath()},
            {"CFDI_PAC_INTENTOS", QStringLiteral("2")},
            {"CFDI_PAC_ESPERA", {}},
            {"CFDI_SAT_CONSULTA_URL", {}},
        };
        for (const auto &[name, value] : variables)
            setVariable(QString::fromLatin1(name), value);
    }

    SmtpSinkCertificate certificate;
};

TEST_P(ConfiguredPacTest, TheVariablesChooseTheProviderAndItsEnvironment)
{
    configure(QStringLiteral("https://pruebas.example.mx/api/"));
    auto pac = std::dynamic_pointer_cast<RestPac>(DocumentSigner::configuredPac());
    ASSERT_TRUE(pac);
    EXPECT_EQ(pac->settings().baseUrl, QStringLiteral("https://pruebas.example.mx/api"));
    EXPECT_EQ(pac->settings().password, kPassword) << "opened from its sealed form";
    EXPECT_EQ(pac->settings().attempts, 2);
    EXPECT_EQ(pac->settings().satStatusUrl, QString::fromLatin1(PacSettings::kSatStatusUrl));

    setVariable(QStringLiteral("CFDI_PAC_AMBIENTE"), QStringLiteral("Producción"));
    pac = std::dynamic_pointer_cast<RestPac>(DocumentSigner::configuredPac());
    EXPECT_EQ(pac->settings().baseUrl, QStringLiteral("https://produccion.example.mx/api"));
    EXPECT_TRUE(pac->settings().production);
}

TEST_P(ConfiguredPacTest, AnIncompleteConfigurationSaysWhichVariable)
{
    struct Case
    {
        const char *variable;
        const char *value;
        const char *message;
    };
    const Case cases[] = {
        {"CFDI_PAC_URL_PRUEBAS", "", "variable CFDI_PAC_URL_PRUEBAS"},
        {"CFDI_PAC_URL_PRUEBAS", "http://pruebas.example.mx/api",
         "CFDI_PAC_URL_PRUEBAS debe tener una dirección https://"},
        {"CFDI_PAC_AMBIENTE", "DEMO", "CFDI_PAC_AMBIENTE admite PRUEBAS o PRODUCCION"},
        {"CFDI_PAC_USUARIO", "", "variable CFDI_PAC_USUARIO"},
        {"CFDI_PAC_CLAVE", "", "variable CFDI_PAC_CLAVE"},
        {"CFDI_PAC_CLAVE", "zsec1:AAAA", "CFDI_PAC_CLAVE"},
        {"CFDI_PAC_INTENTOS", "9", "CFDI_PAC_INTENTOS debe ser un número entero de 1 a 5"},
        {"CFDI_PAC_ESPERA", "mucho", "CFDI_PAC_ESPERA debe ser un número entero de 5 a 300"},
        {"CFDI_SAT_CONSULTA_URL", "ftp://sat", "CFDI_SAT_CONSULTA_URL debe tener una dirección https://"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.variable);
        configure(QStringLiteral("https://pruebas.example.mx/api"));
        setVariable(QString::fromLatin1(c.variable), QString::fromUtf8(c.value));
        try {
            DocumentSigner::configuredPac();
            ADD_FAILURE() << "accepted";
        } catch (const Error &error) {
            EXPECT_TRUE(error.description().contains(QString::fromUtf8(c.message)))
                << error.description().toStdString();
            EXPECT_FALSE(error.description().contains(kPassword));
        }
    }
}

TEST_P(ConfiguredPacTest, TheSignerStampsThroughTheConfiguredProvider)
{
    FakePac server(QStringLiteral("facturas"), kPassword, [] { return now(); });
    configure(server.baseUrl());
    setVariable(QStringLiteral("CFDI_PAC_CA_CERTIFICADO"), server.trustedCertificate());

    const QString folio = QStringLiteral("FG-000001");
    ASSERT_EQ(sign(folio), QString());
    const QByteArray stamped = findDigitalDocument(db(), QStringLiteral("Factura"), folio)->xml;
    EXPECT_EQ(uuidOf(folio), cfdi::readTimbreFiscalDigital(stamped).uuid);
    EXPECT_EQ(stampedSchema().errors(stamped), QStringList());
    EXPECT_EQ(server.count("/api/cfdi33/stamp/v4"), 1);
    EXPECT_EQ(server.violations(), QStringList());
}

ZENTARO_ON_BOTH_ENGINES(ConfiguredPacTest);

} // namespace zentaro::test
