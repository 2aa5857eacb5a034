// Statements that travel in a pipeline (PostgreSQL) must read and fail exactly as they do
// when each one waits for its answer: same rows and types, same order against the writes,
// the same refusal attributed to the statement that caused it.

#include "support/TestDatabase.h"

#include "platform/core/Error.h"
#include "platform/db/PostgresPipeline.h"

using namespace zentaro;
using zentaro::test::DatabaseTest;

namespace {

class PipelineTest : public DatabaseTest
{
protected:
    // Every row as "column=text[#]" (# when the column reads as a number).
    static QStringList dump(Recordset rs)
    {
        QStringList rows;
        for (; !rs.eof(); rs.moveNext()) {
            QStringList fields;
            for (int i = 0; i < rs.fieldCount(); ++i)
                fields << rs.fieldName(i).toLower() + u'=' + rs.textAt(i) + (rs.isNumeric(i) ? QStringLiteral("#") : QString());
            rows << fields.join(u' ');
        }
        return rows;
    }
    QString refusalOf(const std::function<void()> &work)
    {
        try {
            work();
        } catch (const Error &error) {
            return error.description();
        }
        return {};
    }
    void insertNote(const QString &folio)
    {
        connection->execute(QStringLiteral("INSERT INTO Venta_Encabezado (Vn_Folio, Vn_Fecha, Vn_Precio_Neto_Importe, "
                                           "Vn_Credito) VALUES ('%1', '2026-12-06', 1.005, 'SI')").arg(folio));
    }
    int notes() { return connection->select(QStringLiteral("SELECT count(*) FROM Venta_Encabezado")).textAt(0).toInt(); }
};

TEST_P(PipelineTest, AnnouncedReadsGiveTheRowsAndTypesOfAReadAloneAndFollowTheWrites)
{
    insertNote(QStringLiteral("A"));
    connection->run(QStringLiteral("INSERT INTO Venta_Encabezado (Vn_Folio, Vn_Referencia) VALUES ('B', 'ref')"));
    const std::pair<QString, QVariantList> reads[] = {
        {QStringLiteral("SELECT Vn_Folio, Vn_Fecha, Vn_Precio_Neto_Importe, Vn_Referencia, Vn_Credito FROM Venta_Encabezado "
                        "ORDER BY Vn_Folio"), {}},
        {QStringLiteral("SELECT count(*) AS n, sum(Vn_Precio_Neto_Importe) AS s FROM Venta_Encabezado WHERE Vn_Folio <> ?"),
         {QStringLiteral("B")}},
        {QStringLiteral("SELECT Vn_Folio FROM Venta_Encabezado WHERE Vn_Folio = ? AND Vn_Credito = '?'"), {QStringLiteral("A")}},
    };
    QList<QStringList> alone;
    for (const auto &[text, values] : reads)
        alone << dump(connection->select(text, values));
    ASSERT_EQ(alone[0].size(), 2);

    connection->beginTrans();
    {
        PipelineScope pipeline(*connection);
        for (const auto &[text, values] : reads)
            connection->prefetch(text, values);
        // A write of another table between them; a read that was not announced sees it.
        connection->execute(QStringLiteral("INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Es_Cve_Estado) "
                                           "VALUES ('S1', 'Sucursal', 'AC')"));
        for (qsizetype i = 0; i < qsizetype(std::size(reads)); ++i)
            EXPECT_EQ(dump(connection->select(reads[i].first, reads[i].second)), alone[i]) << i;
        EXPECT_EQ(connection->select(QStringLiteral("SELECT count(*) FROM Sucursal")).textAt(0), QStringLiteral("1"));
        pipeline.finish();
    }
    connection->rollbackTrans();
    EXPECT_EQ(connection->select(QStringLiteral("SELECT count(*) FROM Sucursal")).textAt(0), QStringLiteral("0"));
}

TEST_P(PipelineTest, AWriteTheServerRefusesIsReportedWithItsOwnTextAndSpoilsTheTransaction)
{
    insertNote(QStringLiteral("A"));
    const QString alone = refusalOf([&] {
        connection->beginTrans();
        insertNote(QStringLiteral("A"));
    });
    connection->rollbackTrans();
    ASSERT_FALSE(alone.isEmpty());

    // The refusal surfaces at the next statement that waits (PostgreSQL) or at once (SQLite),
    // never as the refusal of the statements after it.
    for (const bool atTheEnd : {false, true}) {
        connection->beginTrans();
        const QString refusal = refusalOf([&] {
            PipelineScope pipeline(*connection);
            insertNote(QStringLiteral("B"));
            insertNote(QStringLiteral("A"));
            insertNote(QStringLiteral("C"));
            if (atTheEnd)
                pipeline.finish();
            else
                notes();
        });
        EXPECT_EQ(refusal, alone) << atTheEnd;
        EXPECT_TRUE(connection->transactionFailed()) << atTheEnd;
        connection->rollbackTrans();
        EXPECT_EQ(notes(), 1) << atTheEnd;
    }
}

ZENTARO_ON_BOTH_ENGINES(PipelineTest);

} // namespace
