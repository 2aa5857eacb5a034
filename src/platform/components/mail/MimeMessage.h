#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace zentaro {

// A mail with a plain-text body and attachments, written as RFC 5322 / MIME text with
// CRLF line ends: headers in UTF-8 encoded words, body in quoted-printable, attachments
// in base64 lines of 76 characters. No line starts with a lone "." problem either way:
// the SMTP client escapes those. The same bytes are a valid .eml file: "MIME-Version"
// comes first so that file(1) and mail readers take it for a MIME message.
struct MimeAttachment
{
    QString fileName;
    QString contentType;
    QByteArray content;
};

struct MimeMessage
{
    QString from;
    QStringList to;
    QStringList cc;
    QString subject;
    QString body;
    QList<MimeAttachment> attachments;

    // `date` and `boundary` are given by tests to get the same bytes twice.
    QByteArray toBytes(const QString &date = {}, const QByteArray &boundary = {}) const;
};

// "=?UTF-8?B?...?=" when the text is not plain ASCII.
QByteArray encodeHeaderWord(const QString &text);

} // namespace zentaro
