#include "platform/host/ScriptLexer.h"

namespace zentaro {

std::optional<QStringList> splitScriptLine(const QString &line, QString *error)
{
    QStringList words;
    QString current;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < line.size()) {
                const QChar next = line[++i];
                current += next == u'n' ? QChar(u'\n') : next;
            } else if (c == u'"') {
                quoted = false;
            } else {
                current += c;
            }
            continue;
        }
        if (c == u'#')
            break;
        if (c.isSpace()) {
            if (inWord)
                words << current;
            current.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == u'"')
            quoted = true;
        else
            current += c;
    }
    if (quoted) {
        if (error)
            *error = QStringLiteral("comillas sin cerrar");
        return std::nullopt;
    }
    if (inWord)
        words << current;
    return words;
}

} // namespace zentaro
