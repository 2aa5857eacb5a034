#pragma once

#include <QString>

namespace zentaro {

// How the suite reaches a certification provider over the network, from the configuration
// variables (CFDI_PAC = REST chooses this provider; SANDBOX, the demo's, needs none of them):
//   CFDI_PAC_AMBIENTE        PRUEBAS (default) or PRODUCCION: which of the two URLs is used
//   CFDI_PAC_URL_PRUEBAS     https:// base URL of the provider's test service
//   CFDI_PAC_URL_PRODUCCION  https:// base URL of its production service
//   CFDI_PAC_USUARIO         the account at the provider
//   CFDI_PAC_CLAVE           its password, sealed (StoredSecret); clear text is still read
//   CFDI_PAC_CA_CERTIFICADO  a PEM file of authorities to trust besides the system's
//   CFDI_PAC_ESPERA          seconds one request may take (default 30)
//   CFDI_PAC_INTENTOS        attempts for a request that got no answer or a server error (default 3)
//   CFDI_PAC_URL_API         https:// base URL of the provider's API that keeps its stamps
//                            (where a stamp is fetched by UUID; default the service URL)
//   CFDI_PAC_CERTIFICADOS    the folder of the PAC's certificates (.cer), which check the
//                            SelloSAT of each stamp (default certificados-pac in the
//                            suite's data folder)
//   CFDI_SAT_CONSULTA_URL    the SAT's status service (default its public address)
struct PacSettings
{
    QString baseUrl; // without the trailing slash
    QString apiUrl;  // likewise; the stamps' record (datawarehouse)
    QString certificateFolder;
    bool production = false;
    QString user;
    QString password;
    QString caFile;
    int connectTimeout = 5; // seconds to reach the server, TLS handshake included
    int timeout = 30;       // seconds for a whole request
    int attempts = 3;
    int retryPauseMs = 1000; // before the second attempt; doubled before each further one
    QString satStatusUrl = QString::fromLatin1(kSatStatusUrl);

    static constexpr const char *kSatStatusUrl =
        "https://consultaqr.facturaelectronica.sat.gob.mx/ConsultaCFDIService.svc";

    // Reads the variables of the session's database. Throws zentaro::Error naming the
    // variable that is missing or wrong.
    static PacSettings fromConfiguration();

    // `text` with every secret the process knows masked (SecretMask): for every message
    // that may repeat what a server said.
    QString masked(const QString &text) const;

    static QString defaultCertificateFolder();
};

} // namespace zentaro
