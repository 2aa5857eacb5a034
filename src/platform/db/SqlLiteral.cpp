#include "platform/db/SqlLiteral.h"

#include "platform/core/Error.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace zentaro::sql {

namespace {

// The value as a message shows it: control characters visible, long values cut.
QString shown(const QString &value)
{
    constexpr qsizetype kShown = 40;
    QString text;
    for (const QChar c : value.left(kShown)) {
        if (c.unicode() == 0)
            text += QStringLiteral("\\0");
        else if (c.unicode() < 0x20)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    if (value.size() > kShown)
        text += QStringLiteral("…");
    return text;
}

QString subject(const QString &what) { return what.isEmpty() ? QStringLiteral("El importe") : what; }

[[noreturn]] void refuseAmount(const QString &what, const QString &problem)
{
    throw Error(subject(what) + u' ' + problem);
}

QString numberFromText(const QString &raw, const QString &what)
{
    const QString text = raw.trimmed();
    if (text.isEmpty())
        refuseAmount(what, QStringLiteral("está vacío"));
    // Plain decimal notation only: Decimal::parse alone would also take other scripts'
    // digits, and "NaN" or "Infinity" (which PostgreSQL's numeric can hold) are no amounts.
    static const QRegularExpression plain(QStringLiteral(R"(^[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?$)"));
    if (!plain.match(text).hasMatch()) {
        static const QRegularExpression infinite(QStringLiteral("^[+-]?inf(?:inity)?$"),
                                                 QRegularExpression::CaseInsensitiveOption);
        if (text.compare(QLatin1String("nan"), Qt::CaseInsensitive) == 0)
            refuseAmount(what, QStringLiteral("no es un número (NaN)"));
        if (infinite.match(text).hasMatch())
            refuseAmount(what, QStringLiteral("es infinito (\"%1\")").arg(shown(text)));
        refuseAmount(what, QStringLiteral("no es un número: \"%1\"").arg(shown(raw)));
    }
    const std::optional<Decimal> parsed = Decimal::parse(text);
    if (!parsed)
        refuseAmount(what, QStringLiteral("está fuera del intervalo que admite un importe: %1").arg(shown(text)));
    return number(*parsed);
}

QString numberFromDouble(double value, const QString &what)
{
    if (std::isnan(value))
        refuseAmount(what, QStringLiteral("no es un número (NaN)"));
    if (std::isinf(value))
        refuseAmount(what, QStringLiteral("es infinito"));
    try {
        return number(Decimal::fromDouble(value));
    } catch (const Error &) {
        // The double is finite: only its size can keep it from being an exact amount.
        refuseAmount(what, QStringLiteral("está fuera del intervalo que admite un importe: %1")
                               .arg(QString::number(value, 'g', QLocale::FloatingPointShortest)));
    }
}

// Index just past the literal that opens at `i`.
qsizetype literalEnd(const QString &text, qsizetype i)
{
    ++i;
    while (i < text.size()) {
        if (text[i] == u'\'') {
            if (i + 1 < text.size() && text[i + 1] == u'\'') {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

} // namespace

QString quoted(const QString &text)
{
    if (text.contains(QChar(u'\0')))
        throw Error(QStringLiteral("El texto \"%1\" lleva un carácter nulo, que la base de datos no puede guardar")
                        .arg(shown(text)));
    if (!text.isValidUtf16())
        throw Error(QStringLiteral("El texto \"%1\" lleva un carácter que no es Unicode válido").arg(shown(text)));
    QString literal;
    literal.reserve(text.size() + 2);
    literal += u'\'';
    for (const QChar c : text) {
        if (c == u'\'')
            literal += u'\'';
        literal += c;
    }
    literal += u'\'';
    return literal;
}

QString quotedList(const QStringList &texts)
{
    QString list;
    for (const QString &text : texts) {
        if (!list.isEmpty())
            list += QStringLiteral(", ");
        list += quoted(text);
    }
    return list;
}

QString number(const Decimal &amount)
{
    const QString text = amount.toString();
    return amount < Decimal() ? u'(' + text + u')' : text;
}

QString number(const QVariant &amount, const QString &what)
{
    if (!amount.isValid() || amount.isNull())
        refuseAmount(what, QStringLiteral("está vacío (NULL)"));
    switch (amount.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return numberFromText(amount.toString(), what);
    case QMetaType::Double:
    case QMetaType::Float:
        return numberFromDouble(amount.toDouble(), what);
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return numberFromText(amount.toString(), what);
    default:
        refuseAmount(what, QStringLiteral("no es un número: \"%1\" (%2)")
                               .arg(shown(amount.toString()), QString::fromLatin1(amount.typeName())));
    }
}

QString withKey(const QString &statement, const QString &key)
{
    const QString literal = quoted(key);
    QString result;
    result.reserve(statement.size() + literal.size());
    qsizetype i = 0;
    while (i < statement.size()) {
        const QChar c = statement[i];
        if (c == u'\'') {
            const qsizetype end = literalEnd(statement, i);
            if (end - i == 3 && statement[i + 1] == u'?' && statement[i + 2] == u'\'')
                result += literal;
            else
                result += QStringView(statement).mid(i, end - i);
            i = end;
            continue;
        }
        if (c == u'?')
            result += literal;
        else
            result += c;
        ++i;
    }
    return result;
}

} // namespace zentaro::sql
