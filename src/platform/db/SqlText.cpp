#include "platform/db/SqlText.h"

#include <QRegularExpression>

namespace zentaro::sqltext {

namespace {

// Index just past a quoted run that starts at `i` (quote char at text[i]); doubled quotes
// inside stay in the run.
qsizetype skipQuoted(const QString &text, qsizetype i)
{
    const QChar quote = text[i];
    ++i;
    while (i < text.size()) {
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

// Index just past a comment starting at `i`, or `i` when none starts there.
qsizetype skipComment(const QString &text, qsizetype i)
{
    if (i + 1 >= text.size())
        return i;
    const QChar first = text[i], second = text[i + 1];
    if (first == u'-' && second == u'-') {
        const qsizetype end = text.indexOf(u'\n', i);
        return end < 0 ? text.size() : end + 1;
    }
    if (first == u'/' && second == u'*') {
        const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
        return end < 0 ? text.size() : end + 2;
    }
    return i;
}

bool isIdentifierStart(QChar c) { return c.isLetter() || c == u'_'; }
bool isIdentifierChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

// Index of the parenthesis that closes the one at `open`, or -1.
qsizetype matchingParen(const QString &text, qsizetype open)
{
    int depth = 0;
    qsizetype i = open;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"' || c == u'[') {
            i = c == u'[' ? text.indexOf(u']', i) + 1 : skipQuoted(text, i);
            if (i <= 0)
                return -1;
            continue;
        }
        const qsizetype afterComment = skipComment(text, i);
        if (afterComment != i) {
            i = afterComment;
            continue;
        }
        if (c == u'(')
            ++depth;
        else if (c == u')' && --depth == 0)
            return i;
        ++i;
    }
    return -1;
}

// Position of the last top-level keyword AS inside `inner`, or -1.
qsizetype topLevelAs(const QString &inner)
{
    qsizetype found = -1;
    int depth = 0;
    qsizetype i = 0;
    while (i < inner.size()) {
        const QChar c = inner[i];
        if (c == u'\'' || c == u'"') {
            i = skipQuoted(inner, i);
            continue;
        }
        if (c == u'(')
            ++depth;
        else if (c == u')')
            --depth;
        else if (depth == 0 && isIdentifierStart(c)) {
            qsizetype end = i;
            while (end < inner.size() && isIdentifierChar(inner[end]))
                ++end;
            if (inner.mid(i, end - i).compare(QLatin1String("as"), Qt::CaseInsensitive) == 0)
                found = i;
            i = end;
            continue;
        }
        ++i;
    }
    return found;
}

QString adapt(const QString &text);

QString adaptCast(const QString &inner)
{
    const qsizetype as = topLevelAs(inner);
    if (as < 0)
        return QStringLiteral("CAST(") + adapt(inner) + u')';
    const QString expression = inner.left(as);
    const QString type = inner.mid(as + 2).trimmed();
    static const QRegularExpression decimalType(
        QStringLiteral(R"(^(?:decimal|numeric|money)\s*(?:\(\s*\d+\s*(?:,\s*(\d+)\s*)?\))?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = decimalType.match(type);
    if (!match.hasMatch())
        return QStringLiteral("CAST(") + adapt(expression) + QStringLiteral("AS ") + type + u')';
    const QString scale = match.captured(1).isEmpty() ? QStringLiteral("0") : match.captured(1);
    return QStringLiteral("zentaro_decimal(") + adapt(expression).trimmed() + QStringLiteral(", ") + scale + u')';
}

QString adapt(const QString &text)
{
    QString out;
    out.reserve(text.size() + 32);
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = skipQuoted(text, i);
            out += text.mid(i, end - i);
            i = end;
            continue;
        }
        const qsizetype afterComment = skipComment(text, i);
        if (afterComment != i) {
            out += text.mid(i, afterComment - i);
            i = afterComment;
            continue;
        }
        if (!isIdentifierStart(c) || (i > 0 && (isIdentifierChar(text[i - 1]) || text[i - 1] == u'.'))) {
            out += c;
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && isIdentifierChar(text[end]))
            ++end;
        const QString word = text.mid(i, end - i);
        qsizetype paren = end;
        while (paren < text.size() && text[paren].isSpace())
            ++paren;
        if (paren >= text.size() || text[paren] != u'(') {
            out += word;
            i = end;
            continue;
        }
        const qsizetype close = matchingParen(text, paren);
        if (close < 0) {   // unbalanced: leave it to the engine to complain
            out += text.mid(i);
            break;
        }
        const QString inner = text.mid(paren + 1, close - paren - 1);
        const QString upper = word.toUpper();
        if (upper == QLatin1String("ISNULL"))
            out += QStringLiteral("ifnull(") + adapt(inner) + u')';
        else if (upper == QLatin1String("SUM"))
            out += QStringLiteral("zentaro_sum(") + adapt(inner) + u')';
        else if (upper == QLatin1String("CAST"))
            out += adaptCast(inner);
        else
            out += word + text.mid(end, paren - end) + u'(' + adapt(inner) + u')';
        i = close + 1;
    }
    return out;
}

} // namespace

bool holdsSeveralStatements(const QString &statement)
{
    qsizetype i = 0;
    bool ended = false;
    while (i < statement.size()) {
        const QChar c = statement[i];
        const qsizetype afterComment = skipComment(statement, i);
        if (afterComment != i) {
            i = afterComment;
            continue;
        }
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (ended && c != u';')
            return true;
        if (c == u'\'' || c == u'"') {
            i = skipQuoted(statement, i);
            continue;
        }
        if (c == u';')
            ended = true;
        ++i;
    }
    return false;
}

bool holdsEmptyInList(const QString &statement)
{
    qsizetype i = 0;
    while (i < statement.size()) {
        const QChar c = statement[i];
        if (c == u'\'' || c == u'"') {
            i = skipQuoted(statement, i);
            continue;
        }
        const qsizetype afterComment = skipComment(statement, i);
        if (afterComment != i) {
            i = afterComment;
            continue;
        }
        if (isIdentifierStart(c) && (i == 0 || !isIdentifierChar(statement[i - 1]))) {
            qsizetype end = i;
            while (end < statement.size() && isIdentifierChar(statement[end]))
                ++end;
            if (QStringView(statement).mid(i, end - i).compare(QLatin1String("in"), Qt::CaseInsensitive) == 0) {
                qsizetype next = end;
                while (next < statement.size() && statement[next].isSpace())
                    ++next;
                if (next < statement.size() && statement[next] == u'(') {
                    ++next;
                    while (next < statement.size() && statement[next].isSpace())
                        ++next;
                    if (next < statement.size() && statement[next] == u')')
                        return true;
                }
            }
            i = end;
            continue;
        }
        ++i;
    }
    return false;
}

namespace {

// True when some "(" follows one of the words the adapter rewrites (ISNULL, CAST, SUM);
// quotes are not looked at, so a word inside a text only costs a full adaptation.
bool mayNeedAdapting(const QString &statement)
{
    for (qsizetype open = statement.indexOf(u'('); open >= 0; open = statement.indexOf(u'(', open + 1)) {
        qsizetype end = open;
        while (end > 0 && statement[end - 1].isSpace())
            --end;
        qsizetype start = end;
        while (start > 0 && isIdentifierChar(statement[start - 1]))
            --start;
        const QStringView word = QStringView(statement).mid(start, end - start);
        for (const char *candidate : {"isnull", "cast", "sum"})
            if (word.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

} // namespace

QString adaptForSqlite(const QString &statement)
{
    // Most statements hold none of the three: they go to SQLite as they are.
    return mayNeedAdapting(statement) ? adapt(statement) : statement;
}

} // namespace zentaro::sqltext
