// Values are data: text full of quotes, backslashes, comment and statement marks and
// non-ASCII, as long as its column takes, in every free-text column of the schema and typed
// into the header. Accept, reopening, the lots query and the cancellation store and show it
// byte for byte, and change nothing else.

#include "ScreenFixture.h"
#include "support/TableSnapshot.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/db/Schema.h"
#include "platform/db/SqlLiteral.h"

#include <QSet>

using namespace zentaro;

namespace qx417::test {
namespace {

// Text columns that hold codes with a meaning (SAT catalogue keys, yes/no flags, settings,
// document numbers): a hostile value there is refused for what it means, not for how it is
// quoted. Whole tables: the issuer's seal, the SAT's records, mail addresses and bank
// accounts, which their components check by rules of their own.
const QSet<QString> kCodeTables = {QStringLiteral("Emisor"), QStringLiteral("Comprobante_Digital"),
                                   QStringLiteral("Comprobante_Sellado"), QStringLiteral("Cliente_Email"),
                                   QStringLiteral("Cliente_Cuenta_Bancaria"), QStringLiteral("Variable_Configuracion")};
const QSet<QString> kCodes = {
    QStringLiteral("Sucursal.Sc_Codigo_Postal"),     QStringLiteral("Sucursal.Sc_Perfil_Salida"),
    QStringLiteral("Condicion_Venta.Cv_Tipo_Condicion"), QStringLiteral("Cliente.Cl_R_F_C"),
    QStringLiteral("Cliente.Cl_Regimen_Fiscal"),     QStringLiteral("Cliente.Cl_Codigo_Postal"),
    QStringLiteral("Cliente.Cl_Uso_CFDI"),           QStringLiteral("Cliente.Cl_Perfil_Salida"),
    QStringLiteral("Unidad.Un_Clave_SAT"),           QStringLiteral("Producto.Pr_Clave_Prod_Serv"),
    QStringLiteral("Impuesto.Im_Impuesto_SAT"),      QStringLiteral("Impuesto.Im_Tipo_Factor"),
    QStringLiteral("Venta_Encabezado.Vn_Credito"),   QStringLiteral("Venta_Encabezado.Vn_Forma_Pago"),
    QStringLiteral("Venta_Encabezado.Fc_Factura"),   QStringLiteral("Venta.Vn_Credito"),
    QStringLiteral("Venta.Vn_Forma_Pago"),           QStringLiteral("Venta.Fc_Factura"),
    QStringLiteral("Factura.Fc_Factura"),            QStringLiteral("Factura.Fc_Tipo"),
    QStringLiteral("Factura.Fc_Credito"),            QStringLiteral("Factura.Fc_Motivo_Cancelacion"),
    QStringLiteral("Factura.Fc_Folio_Sustitucion"),  QStringLiteral("Factura.Fc_Periodicidad"),
    QStringLiteral("Factura_Encabezado.Fc_Factura"), QStringLiteral("Factura_Encabezado.Fc_Tipo"),
    QStringLiteral("Factura_Encabezado.Fc_Credito"), QStringLiteral("Factura_Encabezado.Fc_Motivo_Cancelacion"),
    QStringLiteral("Factura_Encabezado.Fc_Folio_Sustitucion"), QStringLiteral("Factura_Encabezado.Fc_Periodicidad"),
    QStringLiteral("Periodo_Operativo.Po_Abierto"),  QStringLiteral("Serie.Sr_Electronica"),
    QStringLiteral("Serie.Sr_Default"),
};

// `size` characters of trouble, starting at piece `seed`, with no blank at either end (a
// box trims what the clerk typed).
QString hostile(int size, int seed)
{
    static const QString pieces[] = {
        QStringLiteral("2.1.1 IVA 'trasladado'"), QStringLiteral("\\"), QStringLiteral("x'); DELETE FROM Factura; --"),
        QStringLiteral("$$"), QStringLiteral(";"), QStringLiteral("Ñandú ü €"), QStringLiteral("\\'"),
        QStringLiteral("/* ? :n %_"), QStringLiteral("''"), QStringLiteral("\"q\""),
    };
    const int count = int(std::size(pieces));
    QString text;
    for (int i = seed; text.size() < size; ++i)
        text += pieces[i % count] + u' ';
    text.truncate(size);
    for (qsizetype end : {qsizetype(0), text.size() - 1})
        if (text[end].isSpace())
            text[end] = u'x';
    return text;
}

struct Planted
{
    QString table, column;
    QStringList key;
};

class HostileValues : public ScreenTest
{
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (HasFatalFailure())
            return;
        int seed = 0;
        for (const schema::Table &table : schema::tables()) {
            const QString name = QString::fromLatin1(table.name);
            if (kCodeTables.contains(name))
                continue;
            QStringList key;
            for (const char *column : table.primaryKey)
                key << QString::fromLatin1(column);
            for (const schema::Column &column : table.columns) {
                const QString columnName = QString::fromLatin1(column.name);
                if (column.type != schema::Type::Text || kCodes.contains(name + u'.' + columnName))
                    continue;
                db().run(QStringLiteral("UPDATE %1 SET %2 = ?").arg(name, columnName), {hostile(column.size, ++seed)});
                planted.append({name, columnName, key});
            }
        }
        ASSERT_GT(planted.size(), 20);
    }

    // Every planted column of every row, by table, column and the row's key.
    QMap<QString, QString> plantedValues()
    {
        QMap<QString, QString> values;
        for (const Planted &p : planted) {
            Recordset rs = db().select(QStringLiteral("SELECT %1, %2 FROM %3").arg(p.key.join(u','), p.column, p.table));
            for (; !rs.eof(); rs.moveNext()) {
                QStringList id {p.table, p.column};
                for (int i = 0; i < p.key.size(); ++i)
                    id << rs.textAt(i);
                values.insert(id.join(u'|'), rs.textAt(p.key.size()));
            }
        }
        return values;
    }
    // The planted values still there, each as it was planted.
    void expectPlantedKept(const QMap<QString, QString> &before, const char *step)
    {
        const QMap<QString, QString> now = plantedValues();
        int differing = 0;
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            if (now.value(it.key()) != it.value() && differing++ < 5)
                ADD_FAILURE() << step << ": " << qPrintable(it.key()) << " was \"" << qPrintable(it.value()) << "\", now \""
                              << qPrintable(now.value(it.key())) << '"';
        EXPECT_EQ(differing, 0) << step;
    }
    // Every table outside `written` as it was.
    static void expectUntouched(const QMap<QString, QStringList> &before, const QMap<QString, QStringList> &after,
                                const QSet<QString> &written, const char *step)
    {
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (!written.contains(it.key())) {
                EXPECT_EQ(after.value(it.key()), it.value()) << step << ": " << qPrintable(it.key());
            }
        }
    }
    QString field(const QString &sql, const QString &value = {})
    {
        Recordset rs = value.isEmpty() ? db().select(sql) : db().select(sql, {value});
        return rs.eof() ? QString() : rs.textAt(0);
    }

    QList<Planted> planted;
};

TEST_P(HostileValues, AcceptReopenLotsAndCancelKeepEveryValueAsWritten)
{
    const QString reference = hostile(60, 2), comment = hostile(250, 5);
    const QString account = field(QStringLiteral("SELECT Im_Cuenta_Contable FROM Impuesto WHERE Im_Cve_Impuesto = 'IVA16'"));
    ASSERT_TRUE(account.contains(u'\''));
    const auto stored = plantedValues();

    // Accept, on the plain series: the electronic document has rules of its own for text.
    frmQX417 &form = open();
    form.Controles->press(Toolbar::New);
    for (auto [box, key] : {std::pair{form.txt_Mn_Cve_Moneda, "MXN"}, std::pair{form.txt_Cl_Cve_Cliente, "PUBLICO"}}) {
        box->scriptType(QLatin1String(key));
        box->scriptEnter();
    }
    form.txt_Referencia->scriptType(reference);
    form.txt_Comentario->scriptType(comment);
    form.txt_Fc_Factura->scriptType(QStringLiteral("FGN"));
    form.Controles->press(Toolbar::Option1);
    ASSERT_GT(form.lvNotas->count(), 0);
    QStringList notes;
    for (int row = 0; row < form.lvNotas->count(); ++row) {
        notes << form.lvNotas->text(row);
        // The list shows each note's reference as it is stored.
        EXPECT_EQ(form.lvNotas->cell(row, 4),
                  stored.value(QStringLiteral("Venta_Encabezado|Vn_Referencia|") + form.lvNotas->text(row)));
    }
    form.chkMarcarN->scriptClick({});
    const auto beforeAccept = zentaro::test::snapshotTables(db());
    form.Controles->press(Toolbar::Accept);
    for (const auto &message : presenter->messages)
        ADD_FAILURE() << qPrintable(message.id) << ": " << qPrintable(message.text);
    const QString folio = QStringLiteral("FGN-000001");
    ASSERT_EQ(field(QStringLiteral("SELECT count(*) FROM Factura WHERE Fc_Folio = ?"), folio), QStringLiteral("1"));

    // What the clerk typed and what the catalogue held are stored byte for byte.
    for (const char *table : {"Factura", "Factura_Encabezado"}) {
        Recordset header = db().select(
            QStringLiteral("SELECT Fc_Referencia, Fc_Comentario FROM %1 WHERE Fc_Folio = ?").arg(QLatin1String(table)), {folio});
        EXPECT_EQ(header.text(QStringLiteral("Fc_Referencia")), reference) << table;
        EXPECT_EQ(header.text(QStringLiteral("Fc_Comentario")), comment) << table;
    }
    QStringList accounts;
    for (Recordset rs = db().select(QStringLiteral("SELECT i.Im_Cuenta_Contable, c.Im_Cuenta_Contable FROM Factura_Impuesto i "
                                                   "INNER JOIN Impuesto c ON c.Im_Cve_Impuesto = i.Im_Cve_Impuesto "
                                                   "WHERE i.Fc_Folio = ?"), {folio});
         !rs.eof(); rs.moveNext()) {
        EXPECT_EQ(rs.textAt(0), rs.textAt(1));
        accounts << rs.textAt(0);
    }
    EXPECT_TRUE(accounts.contains(account));
    EXPECT_EQ(field(QStringLiteral("SELECT count(*) FROM Venta WHERE Fc_Folio = ?"), folio),
              QString::number(notes.size()));
    const auto afterAccept = zentaro::test::snapshotTables(db());
    expectUntouched(beforeAccept, afterAccept,
                    {QStringLiteral("Factura"), QStringLiteral("Factura_Encabezado"), QStringLiteral("Factura_Linea"),
                     QStringLiteral("Factura_Impuesto"), QStringLiteral("Venta"), QStringLiteral("Venta_Encabezado"),
                     QStringLiteral("Serie"), QStringLiteral("Bitacora_Documento"), QStringLiteral("Contador"),
                     QStringLiteral("Campo_Extra_Valor"), QStringLiteral("Cuenta_Por_Cobrar")},
                    "Accept");
    expectPlantedKept(stored, "Accept");

    // Reopened: the header and the notes as stored; nothing written.
    presenter->messages.clear();
    form.txtFolio->scriptType(folio);
    form.txtFolio->scriptEnter();
    EXPECT_TRUE(presenter->messages.isEmpty());
    EXPECT_EQ(form.txt_Comentario->text(), comment);
    ASSERT_EQ(form.lvNotas->count(), notes.size());
    for (int row = 0; row < form.lvNotas->count(); ++row)
        EXPECT_EQ(form.lvNotas->cell(row, 4),
                  stored.value(QStringLiteral("Venta_Encabezado|Vn_Referencia|") + form.lvNotas->text(row)));

    // The lots of documents named by their quoted folios, and a table name that tries to
    // leave its quotes.
    QStringList documents;
    for (Recordset rs = db().select(QStringLiteral("SELECT DISTINCT Ld_Documento FROM Lote_Documento")); !rs.eof(); rs.moveNext())
        documents << rs.textAt(0);
    ASSERT_FALSE(documents.isEmpty());
    const QString lots = form.Traer_Lotes_Ventas(QStringLiteral("Venta"), sql::quotedList(documents));
    EXPECT_TRUE(form.ErrorText.isEmpty()) << qPrintable(form.ErrorText);
    const QString pedimento = stored.value(QStringLiteral("Lote|Lt_Pedimento|P-BASE|L-2501"));
    const QString aduana = stored.value(QStringLiteral("Lote|Lt_Aduana|P-BASE|L-2501"));
    ASSERT_FALSE(pedimento.isEmpty());
    EXPECT_TRUE(lots.contains(u'@' + pedimento + u'@')) << qPrintable(lots);
    EXPECT_TRUE(lots.contains(u'@' + aduana)) << qPrintable(lots);
    EXPECT_EQ(form.Traer_Lotes_Ventas(QStringLiteral("Venta' OR '1' = '1"), sql::quotedList(documents)), QString());
    EXPECT_TRUE(form.ErrorText.isEmpty()) << qPrintable(form.ErrorText);
    EXPECT_EQ(zentaro::test::snapshotTables(db()), afterAccept);

    // Cancelled: the notes are free again, every planted value still as it was.
    form.Controles->press(Toolbar::Delete);
    for (const auto &message : presenter->messages)
        ADD_FAILURE() << qPrintable(message.id) << ": " << qPrintable(message.text);
    EXPECT_EQ(field(QStringLiteral("SELECT Es_Cve_Estado FROM Factura WHERE Fc_Folio = ?"), folio),
              QStringLiteral("CA"));
    EXPECT_EQ(field(QStringLiteral("SELECT count(*) FROM Venta WHERE Fc_Folio = ?"), folio), QStringLiteral("0"));
    expectUntouched(afterAccept, zentaro::test::snapshotTables(db()),
                    {QStringLiteral("Factura"), QStringLiteral("Factura_Encabezado"), QStringLiteral("Venta"),
                     QStringLiteral("Venta_Encabezado"), QStringLiteral("Bitacora_Documento"), QStringLiteral("Contador"),
                     QStringLiteral("Cuenta_Por_Cobrar")},
                    "cancel");
    expectPlantedKept(stored, "cancel");
}

ZENTARO_ON_BOTH_ENGINES(HostileValues);

} // namespace
} // namespace qx417::test
