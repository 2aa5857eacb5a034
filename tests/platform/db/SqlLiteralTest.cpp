#include "platform/db/SqlLiteral.h"

#include "support/TestDatabase.h"

#include "platform/core/Error.h"

#include <limits>

using namespace zentaro;

namespace {

QString refusal(const std::function<QString()> &compose)
{
    try {
        const QString literal = compose();
        return QStringLiteral("no refusal: ") + literal;
    } catch (const Error &error) {
        return error.description();
    }
}

TEST(SqlLiteral, TextIsQuotedWithItsQuotesDoubledAndNothingElseTouched)
{
    const struct
    {
        QString text;
        QString literal;
    } cases[] = {
        {QString(), QStringLiteral("''")},
        {QStringLiteral("S01"), QStringLiteral("'S01'")},
        {QStringLiteral("2.1.1 IVA 'trasladado'"), QStringLiteral("'2.1.1 IVA ''trasladado'''")},
        {QStringLiteral("'"), QStringLiteral("''''")},
        {QStringLiteral("a\\'b\\"), QStringLiteral("'a\\''b\\'")},
        {QStringLiteral("x'); DELETE FROM Factura; --"), QStringLiteral("'x''); DELETE FROM Factura; --'")},
        {QStringLiteral("$$ ? :name \"q\""), QStringLiteral("'$$ ? :name \"q\"'")},
        {QStringLiteral("Ñandú ü €\r\n\t"), QStringLiteral("'Ñandú ü €\r\n\t'")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sql::quoted(c.text), c.literal) << qPrintable(c.text);
    EXPECT_EQ(sql::quotedList({}), QString());
    EXPECT_EQ(sql::quotedList({QStringLiteral("NV-1"), QStringLiteral("O'B")}), QStringLiteral("'NV-1', 'O''B'"));
}

TEST(SqlLiteral, TextTheEnginesCannotKeepIsRefused)
{
    const QString withNul = QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("c");
    EXPECT_EQ(refusal([&] { return sql::quoted(withNul); }),
              QStringLiteral("El texto \"ab\\0c\" lleva un carácter nulo, que la base de datos no puede guardar"));
    const QString loneSurrogate = QStringLiteral("x") + QChar(0xD800);
    EXPECT_TRUE(refusal([&] { return sql::quoted(loneSurrogate); }).contains(QStringLiteral("no es Unicode válido")));
    EXPECT_THROW(sql::quotedList({QStringLiteral("ok"), withNul}), Error);
    EXPECT_EQ(sql::quoted(QStringLiteral("😀")), QStringLiteral("'😀'"));   // a valid pair stays
}

TEST(SqlLiteral, AmountsBecomeExactNumericLiterals)
{
    const struct
    {
        QVariant amount;
        const char *literal;
    } cases[] = {
        {QVariant(116), "116"},
        {QVariant(qlonglong(-116)), "(-116)"},
        {QVariant(0.1 + 0.2), "0.3"},
        {QVariant(1.005), "1.005"},
        {QVariant(-0.5), "(-0.5)"},
        {QVariant(QStringLiteral("  9865.026900 ")), "9865.0269"},
        {QVariant(QStringLiteral("-0")), "0"},
        {QVariant(QStringLiteral("+12.5")), "12.5"},
        {QVariant(QStringLiteral("1.5e3")), "1500"},
        {QVariant(QStringLiteral(".25")), "0.25"},
        {QVariant(QStringLiteral("999999999999.999999")), "999999999999.999999"},
        {QVariant(QByteArray("42.10")), "42.1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sql::number(c.amount, QStringLiteral("El importe")), QLatin1String(c.literal)) << qPrintable(c.amount.toString());
    EXPECT_EQ(sql::number(*Decimal::parse(u"-3.25")), QStringLiteral("(-3.25)"));
    EXPECT_EQ(sql::number(Decimal()), QStringLiteral("0"));
}

TEST(SqlLiteral, AnAmountThatIsNoNumberIsRefusedByName)
{
    const QString what = QStringLiteral("El importe Vt_Impuesto_Importe de la nota NV-1");
    const struct
    {
        QVariant amount;
        QString problem;
    } cases[] = {
        {QVariant(), QStringLiteral("está vacío (NULL)")},
        {QVariant(QMetaType(QMetaType::Double)), QStringLiteral("está vacío (NULL)")},
        {QVariant(QMetaType(QMetaType::QString)), QStringLiteral("está vacío (NULL)")},
        {QVariant(QStringLiteral("   ")), QStringLiteral("está vacío")},
        {QVariant(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("no es un número (NaN)")},
        {QVariant(QStringLiteral("NaN")), QStringLiteral("no es un número (NaN)")},
        {QVariant(std::numeric_limits<double>::infinity()), QStringLiteral("es infinito")},
        {QVariant(QStringLiteral("-Infinity")), QStringLiteral("es infinito (\"-Infinity\")")},
        {QVariant(QStringLiteral("12,50")), QStringLiteral("no es un número: \"12,50\"")},
        {QVariant(QStringLiteral("1; DROP TABLE Factura")), QStringLiteral("no es un número: \"1; DROP TABLE Factura\"")},
        {QVariant(QStringLiteral("0x10")), QStringLiteral("no es un número: \"0x10\"")},
        {QVariant(QStringLiteral("١٢")), QStringLiteral("no es un número: \"١٢\"")},
        {QVariant(QStringLiteral("1e400")), QStringLiteral("está fuera del intervalo que admite un importe: 1e400")},
        {QVariant(1e300), QStringLiteral("está fuera del intervalo que admite un importe: 1e+300")},
        {QVariant(std::numeric_limits<qulonglong>::max()),
         QStringLiteral("está fuera del intervalo que admite un importe: 18446744073709551615")},
        {QVariant(true), QStringLiteral("no es un número: \"true\" (bool)")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(refusal([&] { return sql::number(c.amount, what); }), what + u' ' + c.problem)
            << qPrintable(c.amount.toString());
    EXPECT_EQ(refusal([] { return sql::number(QVariant(), QString()); }), QStringLiteral("El importe está vacío (NULL)"));
}

TEST(SqlLiteral, AKeyFillsThePlaceholdersOfALookupStatement)
{
    const struct
    {
        const char *statement;
        QString key;
        QString filled;
    } cases[] = {
        {"SELECT d FROM t WHERE k = '?' AND e <> 'BA'", QStringLiteral("S01"), QStringLiteral("SELECT d FROM t WHERE k = 'S01' AND e <> 'BA'")},
        {"SELECT d FROM t WHERE k = ?", QStringLiteral("a\\b"), QStringLiteral("SELECT d FROM t WHERE k = 'a\\b'")},
        {"SELECT d FROM t WHERE k = '?' AND m = 'why?' AND n = 'it''s'", QStringLiteral("X"),
         QStringLiteral("SELECT d FROM t WHERE k = 'X' AND m = 'why?' AND n = 'it''s'")},
        {"SELECT d FROM t WHERE k='?'", QStringLiteral("O'B ?"), QStringLiteral("SELECT d FROM t WHERE k='O''B ?'")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sql::withKey(QString::fromUtf8(c.statement), c.key), c.filled) << c.statement;
}

// What the builder writes is what the engine stores, byte for byte, and what it reads.
class SqlLiteralRoundTrip : public test::DatabaseTest
{
protected:
    QString storedThrough(Connection &db, const QString &text)
    {
        db.run(QStringLiteral("DELETE FROM Ruta"));
        db.execute(QStringLiteral("INSERT INTO Ruta (Rt_Cve_Ruta, Rt_Descripcion) VALUES ('R', ") + sql::quoted(text)
                   + QStringLiteral(")"));
        Recordset found = db.execute(QStringLiteral("SELECT Rt_Cve_Ruta FROM Ruta WHERE Rt_Descripcion = ")
                                     + sql::quoted(text));
        if (found.eof())
            return QStringLiteral("<not found by its own literal>");
        return db.select(QStringLiteral("SELECT Rt_Descripcion FROM Ruta")).textAt(0);
    }
};

TEST_P(SqlLiteralRoundTrip, HostileTextComesBackAsItWasWritten)
{
    const QString texts[] = {
        QStringLiteral("O'Brien"), QStringLiteral("\\"), QStringLiteral("a\\'b"), QStringLiteral("\\' OR 1=1 --"),
        QStringLiteral("x'); DELETE FROM Ruta; --"), QStringLiteral("$$ $tag$ ; /* */"), QStringLiteral("Ñandú ü € 😀"),
        QStringLiteral("?:p @q"), QString(60, u'\''),
    };
    for (const QString &text : texts)
        EXPECT_EQ(storedThrough(*connection, text), text);

    // The server's default may be the old escape syntax; the connection always sets the
    // standard one, or "\'" above would end the literal on PostgreSQL.
    if (GetParam() != Engine::Postgres)
        return;
    ConnectionUrl url = database->url();
    url.parameters.append({QStringLiteral("options"), QStringLiteral("-c standard_conforming_strings=off")});
    const std::unique_ptr<Connection> legacy = Connection::open(url);
    for (const QString &text : texts)
        EXPECT_EQ(storedThrough(*legacy, text), text);
}

TEST_P(SqlLiteralRoundTrip, AmountsAreStoredExactly)
{
    // "0-" followed by a negative literal would be a comment without its parentheses. (SQLite
    // keeps a NUMERIC column's value as a double: up to 15 significant digits come back.)
    const QVariant amounts[] = {QVariant(QStringLiteral("-116")), QVariant(0.1 + 0.2),
                                 QVariant(QStringLiteral("123456789.123456"))};
    for (const QVariant &amount : amounts) {
        connection->run(QStringLiteral("DELETE FROM Cliente"));
        connection->execute(QStringLiteral("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Limite_Credito) VALUES ('C', 0-")
                            + sql::number(amount, QString()) + QStringLiteral(")"));
        const Decimal stored = connection->select(QStringLiteral("SELECT Cl_Limite_Credito FROM Cliente")).decimal(
            QStringLiteral("Cl_Limite_Credito"));
        EXPECT_EQ(stored, -Decimal::fromVariant(amount)) << qPrintable(amount.toString());
    }
}

ZENTARO_ON_BOTH_ENGINES(SqlLiteralRoundTrip);

} // namespace
