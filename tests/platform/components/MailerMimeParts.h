#pragma once

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>

namespace zentaro::test {

struct MimePart
{
    QByteArray headers;
    QByteArray body;
};

// Splits a multipart message as a mail reader would: by the boundary its header names.
inline QList<MimePart> mimeParts(const QByteArray &message)
{
    const QRegularExpression boundaryPattern(QStringLiteral("boundary=\"([^\"]+)\""));
    const auto match = boundaryPattern.match(QString::fromLatin1(message));
    if (!match.hasMatch())
        return {};
    const QByteArray delimiter = "--" + match.captured(1).toLatin1();
    QList<MimePart> parts;
    QByteArray current;
    bool inside = false;
    auto close = [&] {
        if (!inside)
            return;
        const qsizetype split = current.indexOf("\r\n\r\n");
        parts.append({current.left(split), current.mid(split + 4)});
        current.clear();
    };
    for (const QByteArray &raw : message.split('\n')) {
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

// The value of one header of the message's head, "" when it has none.
inline QByteArray headerOf(const QByteArray &message, const QByteArray &name)
{
    const QByteArray head = message.left(message.indexOf("\r\n\r\n") + 2);
    for (const QByteArray &line : head.split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).trimmed();
    return {};
}

} // namespace zentaro::test
