#include "platform/components/mail/MimeMessage.h"

#include <QDateTime>
#include <QUuid>

namespace zentaro {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

bool isPlainAscii(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

QByteArray quotedPrintable(const QString &text)
{
    QByteArray out;
    int lineLength = 0;
    auto put = [&](const QByteArray &piece) {
        // Soft line break before going past 76 characters.
        if (lineLength + piece.size() > 75) {
            out += "=\r\n";
            lineLength = 0;
        }
        out += piece;
        lineLength += int(piece.size());
    };
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8.at(i));
        if (c == '\r')
            continue;
        if (c == '\n') {
            out += kCrLf;
            lineLength = 0;
            continue;
        }
        const bool lineEnd = i + 1 == utf8.size() || utf8.at(i + 1) == '\n' || utf8.at(i + 1) == '\r';
        // Trailing blanks would be stripped by some servers; "." at the start of a line is
        // left to the SMTP client's escaping.
        if ((c >= 33 && c <= 126 && c != '=') || (c == ' ' && !lineEnd))
            put(QByteArray(1, char(c)));
        else
            put(QByteArray("=") + QByteArray::number(c, 16).toUpper().rightJustified(2, '0'));
    }
    return out;
}

QByteArray base64Lines(const QByteArray &content)
{
    const QByteArray encoded = content.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        out += encoded.mid(i, 76) + kCrLf;
    return out;
}

QByteArray addressList(const QStringList &addresses)
{
    QStringList trimmed;
    for (const QString &a : addresses)
        trimmed << a.trimmed();
    return trimmed.join(QStringLiteral(", ")).toUtf8();
}

} // namespace

QByteArray encodeHeaderWord(const QString &text)
{
    if (isPlainAscii(text))
        return text.toLatin1();
    return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

QByteArray MimeMessage::toBytes(const QString &date, const QByteArray &boundary) const
{
    const QByteArray separator =
        boundary.isEmpty() ? QByteArray("=_zentaro_") + QUuid::createUuid().toByteArray(QUuid::Id128) : boundary;
    const QString when = date.isEmpty() ? QDateTime::currentDateTime().toString(Qt::RFC2822Date) : date;
    QByteArray out;
    out += "MIME-Version: 1.0" + kCrLf;
    out += "From: " + from.toUtf8() + kCrLf;
    out += "To: " + addressList(to) + kCrLf;
    if (!cc.isEmpty())
        out += "Cc: " + addressList(cc) + kCrLf;
    out += "Subject: " + encodeHeaderWord(subject) + kCrLf;
    out += "Date: " + when.toLatin1() + kCrLf;
    // Providers take a mail without an identifier of its own for likely spam.
    const QString domain = from.section(u'@', 1).remove(u'>').trimmed();
    out += "Message-ID: <" + (boundary.isEmpty() ? QUuid::createUuid().toByteArray(QUuid::WithoutBraces) : boundary)
        + "@" + (domain.isEmpty() ? QByteArrayLiteral("zentaro.invalid") : domain.toUtf8()) + ">" + kCrLf;
    out += "Content-Type: multipart/mixed; boundary=\"" + separator + "\"" + kCrLf;
    out += kCrLf;
    out += "This is a multi-part message in MIME format." + kCrLf;
    out += "--" + separator + kCrLf;
    out += "Content-Type: text/plain; charset=UTF-8" + kCrLf;
    out += "Content-Transfer-Encoding: quoted-printable" + kCrLf + kCrLf;
    out += quotedPrintable(body) + kCrLf;
    for (const MimeAttachment &a : attachments) {
        const QByteArray name = encodeHeaderWord(a.fileName);
        out += "--" + separator + kCrLf;
        out += "Content-Type: " + a.contentType.toLatin1() + "; name=\"" + name + "\"" + kCrLf;
        out += "Content-Transfer-Encoding: base64" + kCrLf;
        out += "Content-Disposition: attachment; filename=\"" + name + "\"" + kCrLf + kCrLf;
        out += base64Lines(a.content);
    }
    out += "--" + separator + "--" + kCrLf;
    return out;
}

} // namespace zentaro
