#include "platform/db/PostgresConnectionText.h"

#include "platform/core/Error.h"

#include <QRegularExpression>
#include <QSet>

#include <libpq-fe.h>

#include <algorithm>
#include <memory>

namespace zentaro::pgconnection {

namespace {

// The suite's own parameter: the schema that keeps several databases of the suite apart in
// one PostgreSQL database. libpq refuses a name it does not know, so it is taken out first.
const QString kSchema = QStringLiteral("schema");

using Options = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

[[noreturn]] void refuse(const QString &reason)
{
    throw Error(QStringLiteral("La dirección de base de datos no es válida: %1").arg(reason));
}

// libpq's refusal told in Spanish. Its own text is never shown: it quotes the text read,
// which may hold a password.
[[noreturn]] void refuseAsLibpq(const QString &libpqText)
{
    static const QRegularExpression unknown(QStringLiteral("(?:invalid URI query parameter|invalid connection option):? \"([^\"]*)\""));
    const QRegularExpressionMatch name = unknown.match(libpqText);
    if (name.hasMatch())
        refuse(QStringLiteral("\"%1\" no es un parámetro de conexión de PostgreSQL").arg(name.captured(1)));
    if (libpqText.contains(QLatin1String("invalid percent-encoded token")))
        refuse(QStringLiteral("un \"%\" debe ir seguido de dos cifras hexadecimales"));
    if (libpqText.contains(QLatin1String("forbidden value %00")))
        refuse(QStringLiteral("contiene el carácter nulo (%00)"));
    if (libpqText.contains(QLatin1String("matching \"]\"")))
        refuse(QStringLiteral("falta \"]\" tras la dirección IPv6 del servidor"));
    if (libpqText.contains(QLatin1String("unexpected character")))
        refuse(QStringLiteral("tras la dirección IPv6 solo puede ir \":puerto\""));
    if (libpqText.contains(QLatin1String("key/value separator")))
        refuse(QStringLiteral("cada parámetro tras \"?\" se escribe nombre=valor, separados por \"&\""));
    if (libpqText.contains(QLatin1String("unterminated quoted string")))
        refuse(QStringLiteral("falta cerrar una comilla simple"));
    if (libpqText.contains(QLatin1String("missing \"=\"")))
        refuse(QStringLiteral("cada parámetro se escribe nombre=valor, separados por espacios"));
    refuse(QStringLiteral("PostgreSQL no la entiende"));
}

Options parsed(const QString &text)
{
    char *error = nullptr;
    Options options(PQconninfoParse(text.toUtf8().constData(), &error), &PQconninfoFree);
    if (!options) {
        const QString reason = error ? QString::fromUtf8(error) : QString();
        PQfreemem(error);
        refuseAsLibpq(reason);
    }
    return options;
}

// The value libpq reads for `dbname` in `text`: how libpq unquotes or decodes a value of ours.
QString valueAsLibpqReads(const QString &text)
{
    const Options options = parsed(text);
    for (const PQconninfoOption *option = options.get(); option->keyword; ++option)
        if (qstrcmp(option->keyword, "dbname") == 0 && option->val)
            return QString::fromUtf8(option->val);
    return {};
}

// Every keyword libpq knows, as its own table lists them.
const QSet<QString> &libpqKeywords()
{
    static const QSet<QString> names = [] {
        QSet<QString> set;
        const Options options = parsed(QString());
        for (const PQconninfoOption *option = options.get(); option->keyword; ++option)
            set.insert(QString::fromLatin1(option->keyword));
        return set;
    }();
    return names;
}

int portOf(const QString &text)
{
    if (text.isEmpty())
        return -1;
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535 || !text.front().isDigit())
        refuse(QStringLiteral("el puerto \"%1\" no es un número entre 1 y 65535").arg(text));
    return port;
}

void setSchema(const QString &value, ConnectionUrl &url)
{
    // The schema is written into statements between double quotes.
    if (value.contains(u'"'))
        refuse(QStringLiteral("el esquema no puede llevar comillas dobles"));
    url.schema = value;
}

// Fills `url` from what libpq read, the other parameters in the order `written` names them.
void fill(const Options &options, const QStringList &written, ConnectionUrl &url)
{
    url.engine = Engine::Postgres;
    QList<std::pair<QString, QString>> parameters;
    for (const PQconninfoOption *option = options.get(); option->keyword; ++option) {
        if (!option->val)
            continue;
        const QString name = QString::fromLatin1(option->keyword);
        const QString value = QString::fromUtf8(option->val);
        if (name == QLatin1String("host")) {
            if (value.contains(u','))
                refuse(QStringLiteral("indique un solo servidor; una lista de servidores no se admite"));
            url.host = value;
        } else if (name == QLatin1String("port")) {
            url.port = portOf(value);
        } else if (name == QLatin1String("user")) {
            url.user = value;
        } else if (name == QLatin1String("password")) {
            url.password = value;
        } else if (name == QLatin1String("dbname")) {
            url.database = value;
        } else {
            // Qt's driver turns every ";" of its connection options into a blank.
            if (value.contains(u';'))
                refuse(QStringLiteral("el valor de \"%1\" no puede llevar \";\"").arg(name));
            parameters.append({name, value});
        }
    }
    const auto position = [&written](const QString &name) {
        // libpq reads JDBC's ssl=true as sslmode=require.
        const qsizetype at = written.indexOf(name == QLatin1String("sslmode") && !written.contains(name)
                                                 ? QStringLiteral("ssl") : name);
        return at < 0 ? written.size() : at;
    };
    std::stable_sort(parameters.begin(), parameters.end(),
                     [&](const auto &a, const auto &b) { return position(a.first) < position(b.first); });
    url.parameters = parameters;
}

} // namespace

bool isUri(const QString &text)
{
    return text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"));
}

bool isKeywordValues(const QString &text)
{
    static const QRegularExpression opening(QStringLiteral("^\\s*([A-Za-z_]+)\\s*="));
    const QRegularExpressionMatch match = opening.match(text);
    return match.hasMatch() && (match.captured(1) == kSchema || libpqKeywords().contains(match.captured(1)));
}

void readUri(const QString &text, ConnectionUrl &url)
{
    // The suite's own parameters leave the query before libpq reads it; a value of ours is
    // decoded by libpq all the same, as a query value of its own.
    QString rest = text;
    QStringList written;
    const qsizetype question = text.indexOf(u'?');
    if (question >= 0) {
        QStringList kept;
        for (const QString &item : text.mid(question + 1).split(u'&')) {
            const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(item.section(u'=', 0, 0).toUtf8()));
            if (item.isEmpty())
                continue;   // "?&a=b&": nothing between two separators
            const qsizetype equals = item.indexOf(u'=');
            // A "=" inside a value is the value's own, as browsers and JDBC write it; libpq
            // wants it encoded.
            const QString value = equals < 0 ? QString() : item.mid(equals + 1).replace(u'=', QLatin1String("%3D"));
            if (name == kSchema && equals >= 0)
                setSchema(valueAsLibpqReads(QStringLiteral("postgresql:///?dbname=") + value), url);
            else
                kept << (equals < 0 ? item : item.left(equals + 1) + value);
            written << name;
        }
        rest = text.left(question) + (kept.isEmpty() ? QString() : u'?' + kept.join(u'&'));
    }
    fill(parsed(rest), written, url);
}

void readKeywordValues(const QString &text, ConnectionUrl &url)
{
    // Where each name=value item of the text begins and ends, as libpq delimits them (blanks
    // between items, a value in single quotes or with backslash escapes), only to take the
    // suite's own parameters out; libpq reads the rest, and a value of ours, itself.
    QString rest;
    QStringList written;
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size) {
        const qsizetype start = i;
        while (i < size && text[i].isSpace())
            ++i;
        const qsizetype nameStart = i;
        while (i < size && !text[i].isSpace() && text[i] != u'=')
            ++i;
        const QString name = text.mid(nameStart, i - nameStart);
        while (i < size && text[i].isSpace())
            ++i;
        if (i >= size || text[i] != u'=') {
            rest += text.mid(start);   // libpq says what is missing
            break;
        }
        ++i;
        while (i < size && text[i].isSpace())
            ++i;
        const qsizetype valueStart = i;
        const bool quoted = i < size && text[i] == u'\'';
        for (i += quoted ? 1 : 0; i < size; ++i) {
            if (text[i] == u'\\' && i + 1 < size)
                ++i;
            else if (quoted ? text[i] == u'\'' : text[i].isSpace())
                break;
        }
        if (quoted && i < size)
            ++i;
        if (name == kSchema)
            setSchema(valueAsLibpqReads(QStringLiteral("dbname=") + text.mid(valueStart, i - valueStart)), url);
        else
            rest += text.mid(start, i - start);
        if (!name.isEmpty())
            written << name;
    }
    fill(parsed(rest), written, url);
}

QString quoted(const QString &value)
{
    QString text = value;
    text.replace(u'\\', QLatin1String("\\\\")).replace(u'\'', QLatin1String("\\'"));
    return u'\'' + text + u'\'';
}

bool isSecret(const QString &name)
{
    return name == QLatin1String("password") || name == QLatin1String("sslpassword");
}

} // namespace zentaro::pgconnection
