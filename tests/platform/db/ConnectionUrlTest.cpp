#include "platform/core/Error.h"
#include "platform/db/ConnectionUrl.h"

#include <gtest/gtest.h>

using namespace zentaro;

namespace {

// host|port|user|password|database|schema|parameters, the parameters as "name=value name=value".
QString fieldsOf(const ConnectionUrl &url)
{
    QStringList parameters;
    for (const auto &[name, value] : url.parameters)
        parameters << name + u'=' + value;
    return QStringList {url.host, QString::number(url.port), url.user, url.password, url.database, url.schema,
                        parameters.join(u' ')}.join(u'|');
}

TEST(ConnectionUrl, ReadsBothPostgresFormsAsLibpqDoes)
{
    const struct
    {
        const char *text, *fields, *display;
    } cases[] = {
        {"postgresql://u:p@h:6000/db?schema=s", "h|6000|u|p|db|s|", "postgresql://u@h:6000/db?schema=s"},
        {"postgres://h/db", "h|-1|||db||", "postgresql://h/db"},
        {"postgresql:///zentaro?host=/var/run/postgresql&user=clerk", "/var/run/postgresql|-1|clerk||zentaro||",
         "postgresql://clerk@/zentaro?host=/var/run/postgresql"},
        {"postgresql://%2Fvar%2Frun%2Fpostgresql:5433/db", "/var/run/postgresql|5433|||db||",
         "postgresql://:5433/db?host=/var/run/postgresql"},
        // Reserved characters of a password and a name travel percent-encoded; "+" stays "+".
        {"postgresql://ana%40caja:p%3A%2F%40%25+x@[::1]:5432/ventas%20mx", "::1|5432|ana@caja|p:/@%+x|ventas mx||",
         "postgresql://ana%40caja@[::1]:5432/ventas%20mx"},
        {"postgresql://u@h/db?sslmode=require&connect_timeout=3&application_name=caja%201&options=-c%20work_mem%3D8MB",
         "h|-1|u||db||sslmode=require connect_timeout=3 application_name=caja 1 options=-c work_mem=8MB",
         "postgresql://u@h/db?sslmode=require&connect_timeout=3&application_name=caja%201&options=-c%20work_mem%3D8MB"},
        // Query parameters override the authority, as in libpq; a secret never shows.
        {"postgresql://u@h/db?user=v&port=7&dbname=otra&ssl=true&sslpassword=k", "h|7|v||otra||sslmode=require sslpassword=k",
         "postgresql://v@h:7/otra?sslmode=require"},
        {"host=/tmp port=5432 dbname=zentaro user=clerk", "/tmp|5432|clerk||zentaro||", "postgresql://clerk@:5432/zentaro?host=/tmp"},
        {"  dbname = 'mi base' password='o\\'h\\\\' host=h application_name=a\\ b schema=s1 ",
         "h|-1||o'h\\|mi base|s1|application_name=a b", "postgresql://h/mi%20base?schema=s1&application_name=a%20b"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const ConnectionUrl url = ConnectionUrl::parse(QString::fromUtf8(c.text));
        EXPECT_EQ(url.engine, Engine::Postgres);
        EXPECT_EQ(fieldsOf(url), QString::fromUtf8(c.fields));
        EXPECT_EQ(url.display(), QString::fromUtf8(c.display));
        // What display() shows reads back as the same database, less its secrets.
        const ConnectionUrl again = ConnectionUrl::parse(url.display());
        EXPECT_EQ(again.display(), url.display());
        EXPECT_TRUE(again.password.isEmpty() && again.parameter(QStringLiteral("sslpassword")).isEmpty());
    }
}

// libpq reads the text once the suite's own schema= is out of it; these are the forms where
// that reading could differ from a hand parser's: the schema quoted or percent-encoded as
// libpq would read any value, a "=" inside a query value, empty query items.
TEST(ConnectionUrl, TakesTheSchemaOutBeforeLibpqReadsTheRest)
{
    const struct
    {
        const char *text, *fields;
    } cases[] = {
        {"postgresql://h/db?schema=caja%201&application_name=a", "h|-1|||db|caja 1|application_name=a"},
        {"postgresql://h/db?&options=-c%20work_mem=8MB&&schema=s&", "h|-1|||db|s|options=-c work_mem=8MB"},
        {"dbname=db schema = 'caja \\'1\\'' options='-c schema=x'", "|-1|||db|caja '1'|options=-c schema=x"},
        {"schema=s\\ 2 host=h dbname=db", "h|-1|||db|s 2|"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(fieldsOf(ConnectionUrl::parse(QString::fromUtf8(c.text))), QString::fromUtf8(c.fields));
    }
}

TEST(ConnectionUrl, RefusesInSpanishWithoutRepeatingThePassword)
{
    const struct
    {
        const char *text;
        const char *reason;
    } cases[] = {
        {"postgresql://u:S3creto@h", "falta el nombre de la base"},
        {"postgresql://", "falta el nombre de la base"},
        {"host=h user=u password=S3creto", "falta el nombre de la base"},
        {"postgresql://u:S3creto@h:80a/db", "el puerto \"80a\" no es un número entre 1 y 65535"},
        {"postgresql://u:S3creto@h:70000/db", "entre 1 y 65535"},
        {"postgresql://u:S3creto%zz@h/db", "dos cifras hexadecimales"},
        {"postgresql://u:S3creto@h/db%00", "carácter nulo"},
        {"postgresql://u:S3creto@h1,h2/db", "un solo servidor"},
        {"postgresql://u:S3creto@[::1/db", "falta \"]\""},
        {"postgresql://u:S3creto@h/db?sslmod=require", "\"sslmod\" no es un parámetro de conexión de PostgreSQL"},
        {"postgresql://u:S3creto@h/db?S3creto", "nombre=valor"},
        {"postgresql://u:S3creto@h/db?options=-c%20a%3D1%3Bb", "no puede llevar \";\""},
        {"postgresql://u:S3creto@h/db?schema=a%22b", "comillas dobles"},
        {"dbname=db password='S3creto", "comilla simple"},
        {"dbname=db S3creto", "nombre=valor"},
        {"mysql://u:S3creto@h/db", "use una ruta de archivo"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ConnectionUrl::parse(QString::fromUtf8(c.text));
            ADD_FAILURE() << "accepted";
        } catch (const Error &error) {
            EXPECT_TRUE(error.description().startsWith(QStringLiteral("La dirección de base de datos no es válida: ")))
                << error.what();
            EXPECT_TRUE(error.description().contains(QString::fromUtf8(c.reason))) << error.what();
            EXPECT_FALSE(error.description().contains(QStringLiteral("S3creto"))) << error.what();
        }
    }
    for (const QString &blank : {QString(), QStringLiteral("  ")})
        EXPECT_THROW(ConnectionUrl::parse(blank), Error);
}

TEST(ConnectionUrl, HandsQtsDriverQuotedOptionsAndAConnectTimeout)
{
    qunsetenv("PGCONNECT_TIMEOUT");
    const ConnectionUrl url = ConnectionUrl::parse(
        QStringLiteral("postgresql:///db?application_name=o%27h%5C%20x&options=-c%20work_mem%3D8MB"));
    EXPECT_EQ(url.connectOptions(),
              QStringLiteral("application_name='o\\'h\\\\ x' options='-c work_mem=8MB' connect_timeout=5"));
    EXPECT_EQ(ConnectionUrl::parse(QStringLiteral("postgresql:///db?connect_timeout=9")).connectOptions(),
              QStringLiteral("connect_timeout='9'"));
    // libpq's own variable decides when it is set.
    qputenv("PGCONNECT_TIMEOUT", "20");
    EXPECT_EQ(ConnectionUrl::parse(QStringLiteral("postgresql:///db")).connectOptions(), QString());
    qunsetenv("PGCONNECT_TIMEOUT");
}

} // namespace
