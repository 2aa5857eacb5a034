#include "ElectronicDocumentFixture.h"
#include "SmtpSink.h"

#include "platform/components/DigitalDocuments.h"
#include "platform/components/DocumentMailer.h"
#include "platform/components/MimeMessage.h"

#include <QRegularExpression>

namespace zentaro::test {

namespace {

struct Part
{
    QByteArray headers;
    QByteArray body;
};

// Splits a multipart message as a mail reader would: by the boundary its header names.
QList<Part> mimeParts(const QByteArray &message)
{
    const QRegularExpression boundaryPattern(QStringLiteral("boundary=\"([^\"]+)\""));
    const auto match = boundaryPattern.match(QString::fromLatin1(message));
    if (!match.hasMatch())
        return {};
    const QByteArray delimiter = "--" + match.captured(1).toLatin1();
    QList<Part> parts;
    const QList<QByteArray> pieces = message.split('\n');
    QByteArray current;
    bool inside = false;
    auto close = [&] {
        if (!inside)
            return;
        const qsizetype split = current.indexOf("\r\n\r\n");
        parts.append({current.left(split), current.mid(split + 4)});
        current.clear();
    };
    for (const QByteArray &raw : pieces) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (line == delimiter || line == delimiter + "--") {
            close();
            inside = line == delimiter;
            continue;
        }
        if (inside)
            current += line + "\r\n";
    }
    return parts;
}

} // namespace

class MailerTest : public ElectronicDocumentTest
{
protected:
    void useServer(const QString &url)
    {
        db().run(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = ? WHERE Vc_Nombre = 'MAIL_SMTP_URL'"), {url});
    }
    QString lastLogDetail()
    {
        return field(QStringLiteral("SELECT Bd_Detalle FROM Bitacora_Documento WHERE Bd_Accion = 'Correo' ORDER BY Bd_ID DESC"));
    }
};

TEST_P(MailerTest, SignedInvoiceReachesTheCustomerWithXmlAndPdf)
{
    ASSERT_EQ(sign(QStringLiteral("FG-000003")), QString());
    SmtpSink sink;
    useServer(QStringLiteral("smtp://127.0.0.1:%1").arg(sink.port()));
    DocumentMailer mailer;
    QString sentTo;
    ASSERT_TRUE(mailer.Send(QStringLiteral("Factura"), QStringLiteral("FG-000003"), 0, 0, 0, sentTo))
        << mailer.LastError().toStdString();
    sink.finish();
    EXPECT_EQ(mailer.LastError(), QString());
    EXPECT_EQ(sentTo, QStringLiteral("compras@abarrotes-providencia.example.mx"));
    EXPECT_TRUE(sink.commands.contains("MAIL FROM:<facturacion@example.mx>")) << sink.commands.join('|').toStdString();
    EXPECT_TRUE(sink.commands.contains("RCPT TO:<compras@abarrotes-providencia.example.mx>"));
    EXPECT_TRUE(sink.data.contains("Subject: Factura FG-3 de ESCUELA KEMPER URGATE\r\n"));

    const QList<Part> parts = mimeParts(sink.data);
    ASSERT_EQ(parts.size(), 3);
    EXPECT_TRUE(parts.at(0).headers.contains("text/plain; charset=UTF-8"));
    EXPECT_TRUE(parts.at(1).headers.contains("filename=\"FG-000003.xml\""));
    EXPECT_TRUE(parts.at(2).headers.contains("filename=\"FG-000003.pdf\""));
    const QByteArray xml = QByteArray::fromBase64(parts.at(1).body);
    EXPECT_EQ(xml, findDigitalDocument(db(), QStringLiteral("Factura"), QStringLiteral("FG-000003"))->xml);
    EXPECT_TRUE(QByteArray::fromBase64(parts.at(2).body).startsWith("%PDF-"));

    ASSERT_EQ(reports->mails.size(), 1);
    EXPECT_EQ(reports->mails.first().first, sentTo);
    EXPECT_EQ(reports->mails.first().second, QStringLiteral("Factura FG-3 de ESCUELA KEMPER URGATE"));
    EXPECT_EQ(lastLogDetail(), QStringLiteral("Enviado a compras@abarrotes-providencia.example.mx"));
}

TEST_P(MailerTest, FailuresExplainThemselvesAndAreLogged)
{
    ASSERT_EQ(sign(QStringLiteral("FG-000001")), QString());
    ASSERT_EQ(sign(QStringLiteral("FG-000003")), QString());
    struct Case
    {
        const char *name;
        QString folio;
        QString server;   // MAIL_SMTP_URL; "sink" = the refusing sink below
        QString expected; // part of LastError
    };
    SmtpSink refusing(QByteArrayLiteral("550 5.1.1 Buzón inexistente"));
    const QList<Case> cases = {
        {"customer without address", QStringLiteral("FG-000001"), QStringLiteral("smtp://127.0.0.1:1"),
         QStringLiteral("El cliente PUBLICO no tiene correo electrónico registrado")},
        {"unsigned invoice", QStringLiteral("FG-000004"), QStringLiteral("smtp://127.0.0.1:1"),
         QStringLiteral("no está timbrada")},
        {"nobody listening", QStringLiteral("FG-000003"),
         QStringLiteral("smtp://127.0.0.1:%1").arg(SmtpSink::closedPort()),
         QStringLiteral("No se pudo conectar con el servidor de correo smtp://127.0.0.1:")},
        {"server refuses the recipient", QStringLiteral("FG-000003"), QStringLiteral("sink"),
         QStringLiteral("rechazó el envío: 550 5.1.1")},
        {"no server configured", QStringLiteral("FG-000003"), QString(), QStringLiteral("MAIL_SMTP_URL")},
    };
    int logged = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        useServer(c.server == QLatin1String("sink") ? QStringLiteral("127.0.0.1:%1").arg(refusing.port()) : c.server);
        DocumentMailer mailer;
        QString sentTo;
        EXPECT_FALSE(mailer.Send(QStringLiteral("Factura"), c.folio, 0, 0, 0, sentTo));
        EXPECT_TRUE(mailer.LastError().contains(c.expected)) << mailer.LastError().toStdString();
        EXPECT_EQ(sentTo, QString());
        EXPECT_EQ(logRows(QStringLiteral("Correo")), ++logged);
        EXPECT_TRUE(lastLogDetail().contains(c.expected)) << lastLogDetail().toStdString();
    }
    refusing.finish();
    EXPECT_TRUE(reports->mails.isEmpty());
    DocumentMailer mailer;
    QString ignored;
    EXPECT_FALSE(mailer.Send(QStringLiteral("Remision"), QStringLiteral("FG-000003"), 0, 0, 0, ignored));
    EXPECT_TRUE(mailer.LastError().contains(QStringLiteral("Solo se envían facturas")));
}

TEST(MimeMessageTest, WritesHeadersBodyAndAttachmentsAMailReaderCanSplit)
{
    MimeMessage message;
    message.from = QStringLiteral("facturacion@example.mx");
    message.to = {QStringLiteral("a@example.mx"), QStringLiteral(" b@example.mx")};
    message.subject = QStringLiteral("Factura FG-1 de Compañía Ñandú");
    message.body = QStringLiteral("Línea uno = 1\n.punto al inicio\n") + QString(100, u'x');
    QByteArray binary;
    for (int i = 0; i < 1000; ++i)
        binary.append(char(i % 256));
    message.attachments = {{QStringLiteral("FG-000001.pdf"), QStringLiteral("application/pdf"), binary}};
    const QByteArray bytes = message.toBytes(QStringLiteral("Sun, 06 Dec 2026 10:00:00 -0600"), "LIMITE");

    EXPECT_TRUE(bytes.contains("To: a@example.mx, b@example.mx\r\n"));
    EXPECT_TRUE(bytes.contains("Subject: " + encodeHeaderWord(message.subject) + "\r\n"));
    EXPECT_TRUE(encodeHeaderWord(message.subject).startsWith("=?UTF-8?B?"));
    EXPECT_EQ(encodeHeaderWord(QStringLiteral("Factura FG-1")), QByteArray("Factura FG-1"));
    for (const QByteArray &line : bytes.split('\n'))
        EXPECT_LE(line.size(), 78) << line.toStdString();
    const QList<Part> parts = mimeParts(bytes);
    ASSERT_EQ(parts.size(), 2);
    EXPECT_TRUE(parts.at(0).body.contains("L=C3=ADnea uno =3D 1\r\n"));
    EXPECT_EQ(QByteArray::fromBase64(parts.at(1).body), binary);
}

ZENTARO_ON_BOTH_ENGINES(MailerTest);

} // namespace zentaro::test
