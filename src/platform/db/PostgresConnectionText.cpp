#include "platform/db/PostgresConnectionText.h"

#include "platform/core/Error.h"

#include <QRegularExpression>
#include <QSet>

#include <cctype>

namespace zentaro::pgconnection {

namespace {

// The parameters libpq 15 knows (those of later versions too, so that a newer libpq can use
// them), less host, port, user, password and dbname, which the connection sets on its own.
const QSet<QString> &libpqParameters()
{
    static const QSet<QString> names = [] {
        QSet<QString> set;
        for (const char *name : {"hostaddr", "passfile", "channel_binding", "connect_timeout", "client_encoding",
                                 "options", "application_name", "fallback_application_name", "keepalives",
                                 "keepalives_idle", "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                                 "replication", "gssencmode", "sslmode", "requiressl", "sslcompression", "sslcert",
                                 "sslkey", "sslpassword", "sslrootcert", "sslcrl", "sslcrldir", "sslsni",
                                 "requirepeer", "ssl_min_protocol_version", "ssl_max_protocol_version", "krbsrvname",
                                 "gsslib", "service", "target_session_attrs", "require_auth", "sslcertmode",
                                 "load_balance_hosts", "gssdelegation", "sslnegotiation"})
            set.insert(QString::fromLatin1(name));
        return set;
    }();
    return names;
}

bool isConnectionField(const QString &name)
{
    static const QSet<QString> fields {QStringLiteral("host"), QStringLiteral("port"), QStringLiteral("user"),
                                       QStringLiteral("password"), QStringLiteral("dbname"), QStringLiteral("schema")};
    return fields.contains(name);
}

[[noreturn]] void refuse(const QString &reason)
{
    throw Error(QStringLiteral("La dirección de base de datos no es válida: %1").arg(reason));
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

// libpq decodes every part of a URI and refuses a broken escape or a NUL.
QString decoded(QStringView part)
{
    const QByteArray bytes = part.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%')
            continue;
        if (i + 2 >= bytes.size() || !isxdigit(uchar(bytes[i + 1])) || !isxdigit(uchar(bytes[i + 2])))
            refuse(QStringLiteral("un \"%\" debe ir seguido de dos cifras hexadecimales"));
        i += 2;
    }
    const QByteArray text = QByteArray::fromPercentEncoding(bytes);
    if (text.contains('\0'))
        refuse(QStringLiteral("contiene el carácter nulo (%00)"));
    return QString::fromUtf8(text);
}

void setHost(const QString &host, ConnectionUrl &url)
{
    if (host.contains(u','))
        refuse(QStringLiteral("indique un solo servidor; una lista de servidores no se admite"));
    url.host = host;
}

void assign(const QString &name, const QString &value, ConnectionUrl &url)
{
    if (name == QLatin1String("host")) {
        setHost(value, url);
    } else if (name == QLatin1String("port")) {
        url.port = portOf(value);
    } else if (name == QLatin1String("user")) {
        url.user = value;
    } else if (name == QLatin1String("password")) {
        url.password = value;
    } else if (name == QLatin1String("dbname")) {
        url.database = value;
    } else if (name == QLatin1String("schema")) {
        // The schema is written into statements between double quotes.
        if (value.contains(u'"'))
            refuse(QStringLiteral("el esquema no puede llevar comillas dobles"));
        url.schema = value;
    } else if (libpqParameters().contains(name)) {
        // Qt's driver turns every ";" of its connection options into a blank.
        if (value.contains(u';'))
            refuse(QStringLiteral("el valor de \"%1\" no puede llevar \";\"").arg(name));
        for (auto &parameter : url.parameters) {
            if (parameter.first == name) {
                parameter.second = value;
                return;
            }
        }
        url.parameters.append({name, value});
    } else {
        refuse(QStringLiteral("\"%1\" no es un parámetro de conexión de PostgreSQL").arg(name));
    }
}

void readQuery(QStringView query, ConnectionUrl &url)
{
    for (QStringView item : query.split(u'&')) {
        if (item.isEmpty())
            continue;
        const qsizetype equals = item.indexOf(u'=');
        if (equals < 0)
            refuse(QStringLiteral("cada parámetro tras \"?\" se escribe nombre=valor, separados por \"&\""));
        const QString name = decoded(item.left(equals));
        const QString value = decoded(item.mid(equals + 1));
        // libpq takes ssl=true, as JDBC writes it, for sslmode=require.
        if (name == QLatin1String("ssl") && value == QLatin1String("true"))
            assign(QStringLiteral("sslmode"), QStringLiteral("require"), url);
        else
            assign(name, value, url);
    }
}

void readHostAndPort(QStringView hostPort, ConnectionUrl &url)
{
    QStringView portText;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0)
            refuse(QStringLiteral("falta \"]\" tras la dirección IPv6 del servidor"));
        setHost(decoded(hostPort.mid(1, close - 1)), url);
        const QStringView after = hostPort.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':'))
            refuse(QStringLiteral("tras la dirección IPv6 solo puede ir \":puerto\""));
        portText = after.mid(1);
    } else {
        const qsizetype colon = hostPort.indexOf(u':');
        setHost(decoded(colon < 0 ? hostPort : hostPort.left(colon)), url);
        if (colon >= 0)
            portText = hostPort.mid(colon + 1);
    }
    url.port = portOf(decoded(portText));
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
    if (!match.hasMatch())
        return false;
    const QString name = match.captured(1);
    return isConnectionField(name) || libpqParameters().contains(name);
}

void readUri(const QString &text, ConnectionUrl &url)
{
    url.engine = Engine::Postgres;
    QStringView rest = QStringView(text).mid(text.indexOf(QLatin1String("://")) + 3);

    // As in libpq, the user part ends at the first "@" before any "/".
    const qsizetype slash = rest.indexOf(u'/');
    const qsizetype at = rest.left(slash < 0 ? rest.size() : slash).indexOf(u'@');
    if (at >= 0) {
        const QStringView credentials = rest.left(at);
        const qsizetype colon = credentials.indexOf(u':');
        url.user = decoded(colon < 0 ? credentials : credentials.left(colon));
        if (colon >= 0)
            url.password = decoded(credentials.mid(colon + 1));
        rest = rest.mid(at + 1);
    }

    qsizetype hostEnd = 0;
    bool inBrackets = false;
    for (; hostEnd < rest.size(); ++hostEnd) {
        const QChar c = rest[hostEnd];
        inBrackets = (c == u'[') || (inBrackets && c != u']');
        if (!inBrackets && (c == u'/' || c == u'?'))
            break;
    }
    readHostAndPort(rest.left(hostEnd), url);
    rest = rest.mid(hostEnd);

    if (rest.startsWith(u'/')) {
        const qsizetype question = rest.indexOf(u'?');
        url.database = decoded(rest.mid(1, question < 0 ? -1 : question - 1));
        rest = question < 0 ? QStringView() : rest.mid(question);
    }
    if (rest.startsWith(u'?'))
        readQuery(rest.mid(1), url);
}

void readKeywordValues(const QString &text, ConnectionUrl &url)
{
    url.engine = Engine::Postgres;
    qsizetype i = 0;
    const qsizetype size = text.size();
    auto skipBlanks = [&] {
        while (i < size && text[i].isSpace())
            ++i;
    };
    while (true) {
        skipBlanks();
        if (i >= size)
            break;
        const qsizetype nameStart = i;
        while (i < size && !text[i].isSpace() && text[i] != u'=')
            ++i;
        const QString name = text.mid(nameStart, i - nameStart);
        skipBlanks();
        if (i >= size || text[i] != u'=')
            refuse(QStringLiteral("cada parámetro se escribe nombre=valor, separados por espacios"));
        ++i;
        skipBlanks();
        QString value;
        if (i < size && text[i] == u'\'') {
            ++i;
            bool closed = false;
            for (; i < size; ++i) {
                if (text[i] == u'\\' && i + 1 < size) {
                    value += text[++i];
                } else if (text[i] == u'\'') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    value += text[i];
                }
            }
            if (!closed)
                refuse(QStringLiteral("falta cerrar una comilla simple"));
        } else {
            for (; i < size && !text[i].isSpace(); ++i) {
                if (text[i] == u'\\' && i + 1 < size)
                    ++i;
                value += text[i];
            }
        }
        assign(name, value, url);
    }
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
