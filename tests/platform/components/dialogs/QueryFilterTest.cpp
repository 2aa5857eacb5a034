#include "platform/services/QueryFilter.h"
#include "platform/components/dialogs/QueryFilterDialog.h"

#include "support/SessionFixture.h"

#include "platform/core/Error.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace zentaro;

namespace {

Decimal amount(const char *text) { return *Decimal::parse(QString::fromLatin1(text)); }

TEST(FilterComposition, CriteriaBecomeOneCompleteCondition)
{
    struct Case
    {
        DocumentFilter filter;
        QString expected;
    };
    DocumentFilter all;
    all.customer = QStringLiteral("C-0001");
    all.salesperson = QStringLiteral("V01");
    all.route = QStringLiteral("R01");
    all.reference = QStringLiteral("ped");
    all.minimumAmount = amount("100.5");
    all.maximumAmount = amount("2000");
    DocumentFilter wildcards;
    wildcards.reference = QStringLiteral("50%_a!");
    DocumentFilter onlyRoute;
    onlyRoute.route = QStringLiteral(" R02 ");
    DocumentFilter onlyMaximum;
    onlyMaximum.maximumAmount = amount("0");
    DocumentFilter quoted;
    quoted.reference = QStringLiteral("x' OR '1' = '1");
    DocumentFilter backslash;
    backslash.reference = QStringLiteral("a\\b");
    backslash.minimumAmount = amount("-5");
    const Case cases[] = {
        {DocumentFilter{}, QStringLiteral("1 = 1 ")},
        {all, QStringLiteral("Venta_Encabezado.Cl_Cve_Cliente = 'C-0001' AND Venta_Encabezado.Vn_Cve_Vendedor = 'V01' AND "
                             "Cliente.Rt_Cve_Ruta = 'R01' AND UPPER(Venta_Encabezado.Vn_Referencia) LIKE '%PED%' AND "
                             "Venta_Encabezado.Vn_Precio_Neto_Importe >= 100.5 AND "
                             "Venta_Encabezado.Vn_Precio_Neto_Importe <= 2000 ")},
        {wildcards, QStringLiteral("UPPER(Venta_Encabezado.Vn_Referencia) LIKE '%50!%!_A!!%' ESCAPE '!' ")},
        {onlyRoute, QStringLiteral("Cliente.Rt_Cve_Ruta = 'R02' ")},
        {onlyMaximum, QStringLiteral("Venta_Encabezado.Vn_Precio_Neto_Importe <= 0 ")},
        {quoted, QStringLiteral("UPPER(Venta_Encabezado.Vn_Referencia) LIKE '%X'' OR ''1'' = ''1%' ")},
        // PostgreSQL's LIKE escapes with "\" unless told otherwise.
        {backslash, QStringLiteral("UPPER(Venta_Encabezado.Vn_Referencia) LIKE '%A\\B%' ESCAPE '!' AND "
                                   "Venta_Encabezado.Vn_Precio_Neto_Importe >= (-5) ")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(composeFilterCondition(c.filter), c.expected);
    EXPECT_EQ(QueryFilter::noCriteria(), composeFilterCondition({}));
}

TEST(FilterComposition, KeysWithAQuoteAreRefused)
{
    for (int field = 0; field < 3; ++field) {
        DocumentFilter filter;
        QString *texts[] = {&filter.customer, &filter.salesperson, &filter.route};
        *texts[field] = QStringLiteral("x' OR '1' = '1");
        EXPECT_THROW(composeFilterCondition(filter), Error) << field;
    }
}

class QueryFilterTest : public test::SessionTest
{
protected:
    void seed() override
    {
        exec(QStringLiteral("INSERT INTO Ruta (Rt_Cve_Ruta, Rt_Descripcion, Es_Cve_Estado) VALUES ('R01', 'Centro', 'AC')"));
        exec(QStringLiteral("INSERT INTO Ruta (Rt_Cve_Ruta, Rt_Descripcion, Es_Cve_Estado) VALUES ('R02', 'Norte', 'AC')"));
        exec(QStringLiteral("INSERT INTO Vendedor (Vn_Cve_Vendedor, Vn_Descripcion, Es_Cve_Estado) VALUES ('V01', 'Ana', 'AC')"));
        exec(QStringLiteral("INSERT INTO Vendedor (Vn_Cve_Vendedor, Vn_Descripcion, Es_Cve_Estado) VALUES ('V02', 'Luis', 'AC')"));
        exec(QStringLiteral("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Descripcion, Rt_Cve_Ruta, Es_Cve_Estado) "
                            "VALUES ('C-0001', 'Lupita', 'R01', 'AC')"));
        exec(QStringLiteral("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Descripcion, Rt_Cve_Ruta, Es_Cve_Estado) "
                            "VALUES ('C-0002', 'Don Beto', 'R02', 'AC')"));
        const char *notes[] = {
            "('N1', 'C-0001', 'V01', 'Pedido 50%_a', 100.50)", "('N2', 'C-0001', 'V02', 'pedido 7', 2000)",
            "('N3', 'C-0002', 'V01', 'PEDIDO 50XYA', 999.99)", "('N4', 'C-0002', 'V02', '', 10)",
            "('N5', 'C-0002', 'V02', 'O''Brien \\ 7', 10)", "('N6', 'C-0002', 'V02', 'O''Brien 7', 10)",
        };
        for (const char *note : notes)
            exec(QStringLiteral("INSERT INTO Venta_Encabezado (Vn_Folio, Cl_Cve_Cliente, Vn_Cve_Vendedor, Vn_Referencia, "
                                "Vn_Precio_Neto_Importe) VALUES ") + QString::fromLatin1(note));
    }
    // The notes the composed condition selects, as the document query joins the tables.
    QStringList notesFor(const DocumentFilter &filter)
    {
        Recordset rs = db().execute(QStringLiteral("SELECT Venta_Encabezado.Vn_Folio FROM Venta_Encabezado "
                                                   "INNER JOIN Cliente ON Venta_Encabezado.Cl_Cve_Cliente = Cliente.Cl_Cve_Cliente "
                                                   "WHERE Venta_Encabezado.Vn_Folio <> '' AND ")
                                    + composeFilterCondition(filter) + QStringLiteral("ORDER BY Venta_Encabezado.Vn_Folio"));
        QStringList folios;
        for (; !rs.eof(); rs.moveNext())
            folios << rs.textAt(0);
        return folios;
    }
};

TEST_P(QueryFilterTest, ComposedConditionsSelectTheRightNotesOnTheEngine)
{
    struct Case
    {
        DocumentFilter filter;
        QStringList folios;
    };
    auto make = [](auto change) {
        DocumentFilter filter;
        change(filter);
        return filter;
    };
    const Case cases[] = {
        {{},
         {QStringLiteral("N1"), QStringLiteral("N2"), QStringLiteral("N3"), QStringLiteral("N4"), QStringLiteral("N5"),
          QStringLiteral("N6")}},
        {make([](DocumentFilter &f) { f.customer = QStringLiteral("C-0001"); }), {QStringLiteral("N1"), QStringLiteral("N2")}},
        {make([](DocumentFilter &f) { f.route = QStringLiteral("R02"); f.salesperson = QStringLiteral("V02"); }),
         {QStringLiteral("N4"), QStringLiteral("N5"), QStringLiteral("N6")}},
        // A reference is text: its quote and its backslash are characters on both engines.
        {make([](DocumentFilter &f) { f.reference = QStringLiteral("o'brien \\"); }), {QStringLiteral("N5")}},
        {make([](DocumentFilter &f) { f.reference = QStringLiteral("' OR '1' = '1"); }), {}},
        {make([](DocumentFilter &f) { f.reference = QStringLiteral("pedido"); }),
         {QStringLiteral("N1"), QStringLiteral("N2"), QStringLiteral("N3")}},
        // "%" and "_" are characters here, not wildcards: N3's "50XYA" does not match.
        {make([](DocumentFilter &f) { f.reference = QStringLiteral("50%_a"); }), {QStringLiteral("N1")}},
        {make([](DocumentFilter &f) { f.minimumAmount = amount("100.5"); f.maximumAmount = amount("999.99"); }),
         {QStringLiteral("N1"), QStringLiteral("N3")}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(notesFor(c.filter), c.folios) << composeFilterCondition(c.filter).toStdString();
}

TEST_P(QueryFilterTest, KeysAreCheckedAgainstTheirCatalogues)
{
    struct Case
    {
        std::function<void(DocumentFilter &)> change;
        QString problem;
    };
    const Case cases[] = {
        {[](DocumentFilter &f) { f.customer = QStringLiteral("C-0009"); }, QStringLiteral("El cliente C-0009 no existe")},
        {[](DocumentFilter &f) { f.salesperson = QStringLiteral("V09"); }, QStringLiteral("El vendedor V09 no existe")},
        {[](DocumentFilter &f) { f.route = QStringLiteral("R0' OR 'x"); }, QStringLiteral("La ruta R0' OR 'x no existe")},
        {[](DocumentFilter &f) { f.reference = QStringLiteral("it's"); }, QString()},
        {[](DocumentFilter &f) { f.reference = QStringLiteral("a") + QChar(u'\0'); },
         QStringLiteral("La referencia no puede usarse: El texto \"a\\0\" lleva un carácter nulo, que la base de datos "
                        "no puede guardar")},
        {[](DocumentFilter &f) { f.minimumAmount = amount("10"); f.maximumAmount = amount("9.99"); },
         QStringLiteral("El importe mínimo es mayor que el máximo")},
        {[](DocumentFilter &f) { f.customer = QStringLiteral(" c-0002 "); f.route = QStringLiteral("r02"); }, QString()},
    };
    for (const Case &c : cases) {
        DocumentFilter filter;
        c.change(filter);
        EXPECT_EQ(checkDocumentFilter(db(), filter), c.problem);
    }
    DocumentFilter typed;
    typed.customer = QStringLiteral(" c-0002 ");
    ASSERT_EQ(checkDocumentFilter(db(), typed), QString());
    EXPECT_EQ(typed.customer, QStringLiteral("C-0002"));   // the catalogue's spelling
}

TEST_P(QueryFilterTest, AnswersComeFromTheScriptTheDialogOrTheDefault)
{
    QueryFilter filter;
    Platform::instance().queueAnswer(QStringLiteral("filter"), QStringLiteral("Venta_Encabezado.Vn_Folio = 'N1' "));
    EXPECT_EQ(filter.GetCondition(0), QStringLiteral("Venta_Encabezado.Vn_Folio = 'N1' "));
    EXPECT_EQ(filter.GetCondition(0), QueryFilter::noCriteria());

    Platform::instance().setInteractive(true);
    EXPECT_EQ(filter.GetCondition(0), QueryFilter::noCriteria());   // no dialog handed in: nobody to ask
    Platform::instance().setFilterDialog(&QueryFilterDialog::ask);
    QString firstError;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QueryFilterDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Filtro de documentos"));
        dialog->findChild<QLineEdit *>(QStringLiteral("customer"))->setText(QStringLiteral("C-0404"));
        dialog->findChild<QLineEdit *>(QStringLiteral("minimum"))->setText(QStringLiteral("$1,000.00"));
        EXPECT_FALSE(dialog->tryAccept());
        firstError = dialog->findChild<QLabel *>(QStringLiteral("error"))->text();
        dialog->findChild<QLineEdit *>(QStringLiteral("customer"))->setText(QStringLiteral("c-0002"));
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("Aceptar"))
                button->click();
    });
    EXPECT_EQ(filter.GetCondition(0), QStringLiteral("Venta_Encabezado.Cl_Cve_Cliente = 'C-0002' AND "
                                                     "Venta_Encabezado.Vn_Precio_Neto_Importe >= 1000 "));
    EXPECT_EQ(firstError, QStringLiteral("El cliente C-0404 no existe"));

    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_EQ(filter.GetCondition(0), QString());
}

ZENTARO_ON_BOTH_ENGINES(QueryFilterTest);

} // namespace
