#include "ElectronicDocumentFixture.h"
#include "SmtpSink.h"

#include "platform/components/stamping/DigitalDocuments.h"
#include "platform/components/mail/DocumentMailer.h"
#include "platform/components/mail/MimeMessage.h"
#include "platform/components/mail/SmtpClient.h"
#include "platform/core/StoredSecret.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <optional>

namespace zentaro::test {

namespace {

using Tls = SmtpSinkOptions::Tls;

const QString kFolio = QStringLiteral("FG-000003");           // C-0001's, who has one address
const QString kPublicFolio = QStringLiteral("FG-000001");     // PUBLICO's, branch S01
const QString kCustomer = QStringLiteral("compras@abarrotes-providencia.example.mx");
const QString kArchive = QStringLiteral("contabilidad@example.mx");   // the demo's MAIL_ARCHIVO
const QString kPassword = QStringLiteral("S3creta-del-buzon");

struct MimePart
{
    QByteArray headers;
    QByteArray body;
};

// Splits a multipart message as a mail reader would: by the boundary its header names.
QList<MimePart> mimeParts(const QByteArray &message)
{
    const qsizetype at = message.indexOf("boundary=\"") + 10;
    if (at < 10)
        return {};
    const QByteArray delimiter = "\r\n--" + message.mid(at, message.indexOf('"', at) - at);
    QList<MimePart> parts;
    for (qsizetype start = message.indexOf(delimiter); start >= 0;) {
        start += delimiter.size();
        if (message.mid(start, 2) != "\r\n")   // the closing delimiter, "--" after it
            break;
        const qsizetype next = message.indexOf(delimiter, start);
        const QByteArray part = message.mid(start + 2, next - start - 2);
        const qsizetype split = part.indexOf("\r\n\r\n");
        parts.append({part.left(split), part.mid(split + 4)});
        start = next;
    }
    return parts;
}

// The value of one header of the message's head, "" when it has none.
QByteArray headerOf(const QByteArray &message, const QByteArray &name)
{
    for (const QByteArray &line : message.left(message.indexOf("\r\n\r\n") + 2).split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).trimmed();
    return {};
}

} // namespace

class MailerTest : public ElectronicDocumentTest
{
protected:
    using Settings = QList<QPair<QString, QString>>;

    void setVariable(const QString &name, const QString &value)
    {
        removeVariable(name);
        db().run(QStringLiteral("INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor, Vc_Tipo, Vc_Descripcion) "
                                "VALUES (?, ?, 'C', 'prueba')"),
                 {name, value});
    }
    void removeVariable(const QString &name)
    {
        db().run(QStringLiteral("DELETE FROM Variable_Configuracion WHERE Vc_Nombre = ?"), {name});
    }
    // A server setting as plain as the demo's, then what the case changes in it.
    void configure(const QString &url, const Settings &changes = {})
    {
        const Settings plain = {{QStringLiteral("MAIL_SMTP_URL"), url},
                                {QStringLiteral("MAIL_STARTTLS"), QStringLiteral("1")},
                                {QStringLiteral("MAIL_USUARIO"), {}},
                                {QStringLiteral("MAIL_CLAVE"), {}},
                                {QStringLiteral("MAIL_CA_CERTIFICADO"), {}}};
        for (const auto &[name, value] : plain + changes)
            setVariable(name, value);
    }
    static Settings login(const QString &storedPassword)
    {
        return {{QStringLiteral("MAIL_USUARIO"), QStringLiteral("facturas")}, {QStringLiteral("MAIL_CLAVE"), storedPassword}};
    }
    QPair<QString, QString> trust() { return {QStringLiteral("MAIL_CA_CERTIFICADO"), certificate.pemPath()}; }
    QString lastLogDetail()
    {
        return field(QStringLiteral("SELECT Bd_Detalle FROM Bitacora_Documento WHERE Bd_Accion = 'Correo' ORDER BY Bd_ID DESC"));
    }
    struct Sending
    {
        bool sent;
        QString to;   // the addresses it went to
        QString error;
    };
    Sending send(const QString &folio, const QString &document = QStringLiteral("Factura"))
    {
        DocumentMailer mailer;
        Sending sending;
        sending.sent = mailer.Send(document, folio, 0, 0, 0, sending.to);
        sending.error = mailer.LastError();
        return sending;
    }
    QByteArray storedXml(const QString &folio)
    {
        return findDigitalDocument(db(), QStringLiteral("Factura"), folio)->xml;
    }

    SmtpSinkCertificate certificate;
};

TEST_P(MailerTest, SignedInvoiceReachesTheCustomerOverStartTlsWithALogin)
{
    ASSERT_EQ(sign(kFolio), QString());
    SmtpSink sink({.tls = Tls::StartTls, .certificate = &certificate, .user = "facturas", .password = kPassword.toUtf8()});
    configure(QStringLiteral("smtp://127.0.0.1:%1").arg(sink.port()), login(sealSecret(kPassword)) << trust());
    const Sending sending = send(kFolio);
    ASSERT_TRUE(sending.sent) << sending.error.toStdString();
    sink.finish();
    EXPECT_EQ(sending.to, kCustomer + QStringLiteral(", ") + kArchive);
    EXPECT_TRUE(sink.encrypted);
    EXPECT_TRUE(sink.authenticated);
    const QList<QByteArray> &c = sink.commands;
    EXPECT_LT(c.indexOf("STARTTLS"), c.indexOf("AUTH PLAIN")) << c.join('|').toStdString();
    EXPECT_TRUE(c.contains("MAIL FROM:<facturacion@example.mx>"));
    EXPECT_TRUE(c.contains("RCPT TO:<" + kCustomer.toUtf8() + ">"));
    EXPECT_TRUE(c.contains("RCPT TO:<" + kArchive.toUtf8() + ">"));
    EXPECT_EQ(headerOf(sink.data, "To"), kCustomer.toUtf8());
    EXPECT_EQ(headerOf(sink.data, "Cc"), kArchive.toUtf8());
    EXPECT_EQ(headerOf(sink.data, "Subject"), QByteArray("Factura FG-3 de ESCUELA KEMPER URGATE"));

    const QList<MimePart> parts = mimeParts(sink.data);
    ASSERT_EQ(parts.size(), 3);
    EXPECT_TRUE(parts.at(0).headers.contains("text/plain; charset=UTF-8"));
    EXPECT_TRUE(parts.at(1).headers.contains("filename=\"FG-000003.xml\""));
    EXPECT_TRUE(parts.at(2).headers.contains("filename=\"FG-000003.pdf\""));
    EXPECT_EQ(QByteArray::fromBase64(parts.at(1).body), storedXml(kFolio));
    EXPECT_TRUE(QByteArray::fromBase64(parts.at(2).body).startsWith("%PDF-"));

    ASSERT_EQ(reports->mails.size(), 1);
    EXPECT_EQ(reports->mails.first(), qMakePair(sending.to, QStringLiteral("Factura FG-3 de ESCUELA KEMPER URGATE")));
    EXPECT_EQ(lastLogDetail(), QStringLiteral("Enviado a ") + sending.to);
}

// STARTTLS on an smtp:// URL is the case above.
TEST_P(MailerTest, ReachesServersOfEveryKindProvidersRun)
{
    ASSERT_EQ(sign(kFolio), QString());
    struct Case
    {
        const char *name;
        Tls tls;
        const char *url;     // %1: the sink's port
        const char *starttls;
    };
    const Case cases[] = {
        {"TLS from the first byte", Tls::Implicit, "smtps://127.0.0.1:%1", "1"},
        {"unencrypted when turned off", Tls::None, "smtp://127.0.0.1:%1", "NO"},
        {"bare host and port", Tls::StartTls, "127.0.0.1:%1", "1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SmtpSink sink({.tls = c.tls, .certificate = &certificate});
        configure(QString::fromLatin1(c.url).arg(sink.port()),
                  {{QStringLiteral("MAIL_STARTTLS"), QString::fromLatin1(c.starttls)}, trust()});
        const Sending sending = send(kFolio);
        EXPECT_TRUE(sending.sent) << sending.error.toStdString();
        sink.finish();
        EXPECT_EQ(sink.encrypted, c.tls != Tls::None);
        EXPECT_TRUE(sink.data.contains("FG-000003.pdf"));
    }
}

TEST_P(MailerTest, FailuresExplainThemselvesWithoutThePasswordAndAreLogged)
{
    ASSERT_EQ(sign(kFolio), QString());
    struct Case
    {
        const char *name;
        QString folio;
        std::optional<SmtpSinkOptions> server;   // started for the case
        QString url;                             // MAIL_SMTP_URL; %1: the server's port
        Settings variables;
        QString expected;                        // part of LastError and of the history
    };
    const QString closed = QString::number(SmtpSink::closedPort());
    const QList<Case> cases = {
        {"unsigned invoice", QStringLiteral("FG-000004"), {}, QStringLiteral("smtp://127.0.0.1:1"), {},
         QStringLiteral("no está timbrada")},
        {"nobody listening", kFolio, {}, QStringLiteral("smtp://127.0.0.1:") + closed, {},
         QStringLiteral("No se pudo conectar con el servidor de correo smtp://127.0.0.1:") + closed},
        {"password in the URL", kFolio, {}, QStringLiteral("smtp://facturas:%1@127.0.0.1:").arg(kPassword) + closed, {},
         QStringLiteral("No se pudo conectar con el servidor de correo smtp://127.0.0.1:") + closed},
        {"server refuses the recipient", kFolio,
         SmtpSinkOptions{.rcptReply = "550 5.1.1 Buzón inexistente"},
         QStringLiteral("127.0.0.1:%1"), {{QStringLiteral("MAIL_STARTTLS"), QStringLiteral("0")}},
         QStringLiteral("rechazó el envío: 550 5.1.1")},
        {"no server configured", kFolio, {}, QString(), {}, QStringLiteral("MAIL_SMTP_URL")},
        {"not a mail URL", kFolio, {}, QStringLiteral("http://127.0.0.1:1"), {}, QStringLiteral("MAIL_SMTP_URL admite")},
        {"outbox without a full path", kFolio, {}, QStringLiteral("file:correo"), {}, QStringLiteral("ruta completa")},
        {"server without STARTTLS", kFolio, SmtpSinkOptions{}, QStringLiteral("smtp://127.0.0.1:%1"), {},
         QStringLiteral("no ofrece conexión cifrada (STARTTLS)")},
        {"certificate nobody vouches for", kFolio, SmtpSinkOptions{.tls = Tls::StartTls, .certificate = &certificate},
         QStringLiteral("smtp://127.0.0.1:%1"), {}, QStringLiteral("no es de confianza")},
        {"wrong password", kFolio,
         SmtpSinkOptions{.tls = Tls::Implicit, .certificate = &certificate, .user = "facturas", .password = "la-buena"},
         QStringLiteral("smtps://127.0.0.1:%1"), login(sealSecret(kPassword)) << trust(),
         QStringLiteral("no aceptó el usuario facturas con la contraseña de MAIL_CLAVE: 535 5.7.8")},
        {"password sealed under another key", kFolio, {}, QStringLiteral("smtp://127.0.0.1:1"),
         login(QStringLiteral("zsec1:") + QString::fromLatin1(QByteArray(40, 'x').toBase64())),
         QStringLiteral("No se puede leer la contraseña de MAIL_CLAVE")},
    };
    int logged = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<SmtpSink> sink;
        if (c.server)
            sink.emplace(*c.server);
        configure(sink ? c.url.arg(sink->port()) : c.url, c.variables);
        const Sending sending = send(c.folio);
        if (sink)
            sink->finish();
        EXPECT_FALSE(sending.sent);
        EXPECT_TRUE(sending.error.contains(c.expected)) << sending.error.toStdString();
        EXPECT_FALSE(sending.error.contains(kPassword)) << sending.error.toStdString();
        EXPECT_EQ(sending.to, QString());
        EXPECT_EQ(logRows(QStringLiteral("Correo")), ++logged);
        EXPECT_TRUE(lastLogDetail().contains(c.expected)) << lastLogDetail().toStdString();
        EXPECT_FALSE(lastLogDetail().contains(kPassword));
    }
    EXPECT_TRUE(reports->mails.isEmpty());
    const Sending delivery = send(kFolio, QStringLiteral("Remision"));
    EXPECT_FALSE(delivery.sent);
    EXPECT_TRUE(delivery.error.contains(QStringLiteral("Solo se envían facturas")));
}

TEST_P(MailerTest, AnInvoiceWithoutCustomerAddressGoesToTheArchiveOrSilentlyNowhere)
{
    ASSERT_EQ(sign(kPublicFolio), QString());
    struct Case
    {
        const char *name;
        Settings archives;   // MAIL_ARCHIVO_S01 is absent unless named
        QString to;          // "" when nothing may be sent
    };
    const QString general = QStringLiteral("MAIL_ARCHIVO"), branch = QStringLiteral("MAIL_ARCHIVO_S01");
    const QList<Case> cases = {
        {"no archive", {{general, {}}}, QString()},
        {"the general archive", {{general, kArchive}}, kArchive},
        {"the branch's archives", {{general, kArchive}, {branch, QStringLiteral("s01@example.mx; respaldo@example.mx")}},
         QStringLiteral("s01@example.mx, respaldo@example.mx")},
        {"a branch that keeps none", {{general, kArchive}, {branch, {}}}, QString()},
    };
    QTemporaryDir outbox;
    int index = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QDir folder(outbox.filePath(QString::number(++index)));
        removeVariable(branch);
        configure(QStringLiteral("file:") + folder.path(), c.archives);
        const int mails = int(reports->mails.size());
        const Sending sending = send(kPublicFolio);
        EXPECT_EQ(sending.sent, !c.to.isEmpty());
        EXPECT_EQ(sending.error, QString());   // nothing for the clerk to read either way
        EXPECT_EQ(sending.to, c.to);
        const QStringList files = folder.entryList({QStringLiteral("*.eml")});
        if (c.to.isEmpty()) {
            EXPECT_TRUE(files.isEmpty());
            EXPECT_EQ(reports->mails.size(), mails);
            EXPECT_TRUE(lastLogDetail().contains(QStringLiteral("sin destinatarios"))) << lastLogDetail().toStdString();
            continue;
        }
        ASSERT_EQ(files, QStringList{QStringLiteral("FG-000001.eml")});
        QFile eml(folder.filePath(files.first()));
        ASSERT_TRUE(eml.open(QIODevice::ReadOnly));
        const QByteArray bytes = eml.readAll();
        EXPECT_EQ(headerOf(bytes, "To"), c.to.toUtf8());
        EXPECT_EQ(headerOf(bytes, "Cc"), QByteArray());
    }
}

// The message is the one the SMTP case above checks; what the outbox adds is the file.
TEST_P(MailerTest, TheOutboxKeepsEachMailAsAFileAMailReaderOpens)
{
    ASSERT_EQ(sign(kFolio), QString());
    QTemporaryDir outbox;
    const QDir folder(outbox.filePath(QStringLiteral("correo saliente")));   // made on first use
    configure(QStringLiteral("file:") + folder.path());
    const Sending first = send(kFolio);
    ASSERT_TRUE(first.sent) << first.error.toStdString();
    ASSERT_TRUE(send(kFolio).sent);   // again: a second file, the first kept
    EXPECT_EQ(folder.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("FG-000003 (2).eml"), QStringLiteral("FG-000003.eml")}));
    const QString path = folder.filePath(QStringLiteral("FG-000003.eml"));

    QProcess file;
    file.start(QStringLiteral("file"), {QStringLiteral("-b"), path});
    ASSERT_TRUE(file.waitForFinished(20000)) << "the file command (Debian package file) must be installed";
    EXPECT_TRUE(file.readAllStandardOutput().startsWith("MIME entity"));
    QFile eml(path);
    ASSERT_TRUE(eml.open(QIODevice::ReadOnly));
    const QList<MimePart> parts = mimeParts(eml.readAll());
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(QByteArray::fromBase64(parts.at(1).body), storedXml(kFolio));   // the attachments kept whole
    const QPair<QString, QString> report{first.to, QStringLiteral("Factura FG-3 de ESCUELA KEMPER URGATE")};
    EXPECT_EQ(reports->mails, (QList<QPair<QString, QString>>{report, report}));
}

ZENTARO_ON_BOTH_ENGINES(MailerTest);

// The screen waits while a mail goes out, so a server that cannot be reached or does not
// answer must be given up within seconds.
TEST(SmtpClientTest, GivesUpOnAServerThatDoesNotAnswer)
{
    SmtpSettings settings;
    settings.sender = QStringLiteral("facturacion@example.mx");
    SmtpClient client(settings);
    EXPECT_LE(client.connectTimeout, 10);
    EXPECT_LE(client.responseTimeout, 30);

    SmtpSink silent({.silent = true});
    settings.url = QStringLiteral("smtp://127.0.0.1:%1").arg(silent.port());
    SmtpClient impatient(settings);
    impatient.responseTimeout = 1;
    EXPECT_FALSE(impatient.deliver({QStringLiteral("a@example.mx")}, "Subject: x\r\n\r\nx\r\n", QStringLiteral("x")));
    EXPECT_TRUE(impatient.lastError().contains(QStringLiteral("no respondió a tiempo"))) << impatient.lastError().toStdString();
}

TEST(MimeMessageTest, WritesHeadersBodyAndAttachmentsAMailReaderCanSplit)
{
    MimeMessage message;
    message.from = QStringLiteral("facturacion@example.mx");
    message.to = {QStringLiteral("a@example.mx"), QStringLiteral(" b@example.mx")};
    message.cc = {QStringLiteral("archivo@example.mx")};
    message.subject = QStringLiteral("Factura FG-1 de Compañía Ñandú");
    message.body = QStringLiteral("Línea uno = 1\n.punto al inicio\n") + QString(100, u'x');
    QByteArray binary;
    for (int i = 0; i < 1000; ++i)
        binary.append(char(i % 256));
    message.attachments = {{QStringLiteral("FG-000001.pdf"), QStringLiteral("application/pdf"), binary}};
    const QByteArray bytes = message.toBytes(QStringLiteral("Sun, 06 Dec 2026 10:00:00 -0600"), "LIMITE");

    EXPECT_TRUE(bytes.startsWith("MIME-Version: 1.0\r\n"));   // what file(1) and mail readers look for
    EXPECT_EQ(headerOf(bytes, "To"), QByteArray("a@example.mx, b@example.mx"));
    EXPECT_EQ(headerOf(bytes, "Cc"), QByteArray("archivo@example.mx"));
    EXPECT_EQ(headerOf(bytes, "Message-ID"), QByteArray("<LIMITE@example.mx>"));
    EXPECT_EQ(headerOf(bytes, "Subject"), encodeHeaderWord(message.subject));
    EXPECT_TRUE(encodeHeaderWord(message.subject).startsWith("=?UTF-8?B?"));
    EXPECT_EQ(encodeHeaderWord(QStringLiteral("Factura FG-1")), QByteArray("Factura FG-1"));
    for (const QByteArray &line : bytes.split('\n'))
        EXPECT_LE(line.size(), 78) << line.toStdString();
    const QList<MimePart> parts = mimeParts(bytes);
    ASSERT_EQ(parts.size(), 2);
    EXPECT_TRUE(parts.at(0).body.contains("L=C3=ADnea uno =3D 1\r\n"));
    EXPECT_EQ(QByteArray::fromBase64(parts.at(1).body), binary);
}

} // namespace zentaro::test
