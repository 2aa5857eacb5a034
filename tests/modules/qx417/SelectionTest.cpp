#include "ScreenFixture.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/TextFormats.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Decimal.h"

#include <random>

using namespace zentaro;

namespace qx417::test {
namespace {

class Selection : public ScreenTest
{
protected:
    frmQX417 &loaded()
    {
        frmQX417 &form = open();
        form.Controles->press(Toolbar::New);
        form.Controles->press(Toolbar::Option1);
        return form;
    }
    // Adds a candidate note of today for S01 in pesos with the given amounts.
    void addNote(const QString &folio, const char *net, const char *tax, const char *list, const char *credit = "NO",
                 const char *state = "AC", const char *invoice = "")
    {
        exec(QStringLiteral("INSERT INTO Venta_Encabezado (Vn_Folio, Vn_Fecha, Vn_Credito, Cl_Cve_Cliente, Vn_Cve_Vendedor, "
                            "Mn_Cve_Moneda, Sc_Cve_Sucursal, Vn_Precio_Lista_Importe, Vn_Impuesto_Importe, "
                            "Vn_Precio_Neto_Importe, Es_Cve_Estado, Fc_Folio) VALUES ('%1', '2026-12-06', '%2', 'PUBLICO', "
                            "'V01', 'MXN', 'S01', %3, %4, %5, '%6', '%7')")
                 .arg(folio, QLatin1String(credit), QLatin1String(list), QLatin1String(tax), QLatin1String(net),
                      QLatin1String(state), QLatin1String(invoice)));
    }
    double value(KeyBox *box) { return box->value().toDouble(); }
};

TEST_P(Selection, LoadsOnlyCandidateNotesUncheckedWithTheirColumns)
{
    addNote(QStringLiteral("T-1"), "1160", "160", "1000", "SI");
    addNote(QStringLiteral("T-CA"), "10", "0", "10", "NO", "CA");
    addNote(QStringLiteral("T-FA"), "10", "0", "10", "NO", "FA");
    addNote(QStringLiteral("T-INV"), "10", "0", "10", "NO", "AC", "FG-000001");
    frmQX417 &form = loaded();
    CheckList &list = *form.lvNotas;
    ASSERT_GE(list.count(), 5);
    EXPECT_EQ(list.rowOfKey(QStringLiteral("KT-CA")), -1);
    EXPECT_EQ(list.rowOfKey(QStringLiteral("KT-FA")), -1);
    EXPECT_EQ(list.rowOfKey(QStringLiteral("KT-INV")), -1);
    const int row = list.rowOfKey(QStringLiteral("KT-1"));
    ASSERT_GE(row, 0);
    EXPECT_EQ(list.text(row), QStringLiteral("T-1"));
    EXPECT_EQ(list.cell(row, 2), QStringLiteral("06/12/2026"));
    EXPECT_EQ(list.cell(row, 3), QStringLiteral("Crédito"));
    EXPECT_EQ(list.cell(row, 5), QStringLiteral("$160.00"));
    EXPECT_EQ(list.cell(row, 6), QStringLiteral("$1,160.00"));
    EXPECT_EQ(list.cell(row, 9), QStringLiteral("1000"));
    EXPECT_EQ(list.cell(row, 10), QString());
    for (int r = 0; r < list.count(); ++r)
        EXPECT_FALSE(list.isChecked(r));
    EXPECT_EQ(form.ssTabVek->tab(), 1);
    for (int column : {7, 8, 9})
        EXPECT_EQ(list.columnWidth(column), 0);
    EXPECT_DOUBLE_EQ(value(form.txtTotal), 0.0);
}

TEST_P(Selection, TotalsFollowTheMarksWithoutDrift)
{
    addNote(QStringLiteral("T-1"), "1160", "160", "1000");
    frmQX417 &form = loaded();
    CheckList &list = *form.lvNotas;
    list.scriptCheck(QStringLiteral("KT-1"), true);
    EXPECT_DOUBLE_EQ(value(form.txtTotal), 1160.0);
    EXPECT_DOUBLE_EQ(value(form.txtImpuestos), 160.0);
    EXPECT_DOUBLE_EQ(value(form.txtSubtotal), 1000.0);
    EXPECT_DOUBLE_EQ(value(form.txtSuma), 1000.0);
    EXPECT_DOUBLE_EQ(value(form.txtFacTotal), 1160.0);
    EXPECT_DOUBLE_EQ(value(form.txtFacSubtotal), 1000.0);

    // A checked return lowers the invoice boxes; unchecking it gives them back, exactly.
    const int ret = form.lvDevoluciones->addRow(QStringLiteral("KDV-1"), QStringLiteral("DV-1"));
    const QStringList cells {QStringLiteral("DV-1"), {}, {}, {}, {}, QStringLiteral("$16.10"), QStringLiteral("$116.10"),
                             QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("100")};
    for (int c = 1; c < cells.size(); ++c)
        form.lvDevoluciones->setCell(ret, c, cells[c]);
    form.ssTabVek->setTab(3);   // the returns page takes input only while it is shown
    for (int round = 0; round < 3; ++round) {
        form.lvDevoluciones->scriptCheck(QStringLiteral("KDV-1"), true);
        EXPECT_DOUBLE_EQ(value(form.txtFacTotal), 1043.9);
        EXPECT_DOUBLE_EQ(value(form.txtFacImpuestos), 143.9);
        EXPECT_DOUBLE_EQ(value(form.txtFacSuma), 900.0);
        EXPECT_DOUBLE_EQ(value(form.txtDevSubtotal), 100.0);
        form.lvDevoluciones->scriptCheck(QStringLiteral("KDV-1"), false);
        EXPECT_DOUBLE_EQ(value(form.txtFacTotal), 1160.0);
    }
    form.ssTabVek->setTab(1);
    list.scriptCheck(QStringLiteral("KT-1"), false);
    for (KeyBox *box : {form.txtTotal, form.txtImpuestos, form.txtSubtotal, form.txtSuma, form.txtDescuento_Global,
                        form.txtFacTotal, form.txtFacSubtotal, form.txtFacSuma, form.txtFacImpuestos})
        EXPECT_DOUBLE_EQ(value(box), 0.0) << box->objectName().toStdString();

    // A cell that does not read as a number is reported and stops the sums.
    form.lvDevoluciones->setCell(ret, 6, QString());
    form.ssTabVek->setTab(3);
    form.lvDevoluciones->scriptCheck(QStringLiteral("KDV-1"), true);
    EXPECT_EQ(messageIds().last(), QStringLiteral("ERR-ID:7500044"));
}

TEST_P(Selection, MarkAllSpaceBarAndTheFolioList)
{
    frmQX417 &form = loaded();
    CheckList &list = *form.lvNotas;
    const int rows = list.count();
    ASSERT_GE(rows, 3);
    EXPECT_EQ(form.Notas_Seleccionadas(QStringLiteral("VE")), QString());

    form.chkMarcarN->scriptClick({});
    EXPECT_EQ(form.chkMarcarN->text(), QStringLiteral("Desmarcar todos"));
    EXPECT_EQ(form.Notas_Seleccionadas(QStringLiteral("VE")).count(u','), rows - 1);
    EXPECT_GT(value(form.txtTotal), 0.0);
    form.chkMarcarN->scriptClick({});
    EXPECT_EQ(form.chkMarcarN->text(), QStringLiteral("Marcar todos"));
    EXPECT_DOUBLE_EQ(value(form.txtTotal), 0.0);

    list.scriptSelect({list.key(0), list.key(1), list.key(2)});
    list.scriptKey(32, 0);   // selected item unchecked: all three become checked
    for (int r : {0, 1, 2})
        EXPECT_TRUE(list.isChecked(r));
    EXPECT_EQ(form.Notas_Seleccionadas(QStringLiteral("VE")),
              QStringLiteral("'%1', '%2', '%3'").arg(list.text(0), list.text(1), list.text(2)));
    list.scriptKey(32, 0);
    EXPECT_EQ(form.Notas_Seleccionadas(QStringLiteral("VE")), QString());
    list.scriptCheck(list.key(1), true);
    EXPECT_EQ(form.Notas_Seleccionadas(QStringLiteral("VE")), u'\'' + list.text(1) + u'\'');
    EXPECT_EQ(form.Notas_Seleccionadas(QStringLiteral("DC")), QString());

    // Mark-all does nothing on an empty list, nor outside new-document mode.
    form.ssTabVek->setTab(3);
    form.chkMarcarD->scriptClick({});
    EXPECT_EQ(form.chkMarcarD->text(), QStringLiteral("Marcar todos"));
    form.Controles->press(Toolbar::Cancel);
    form.ssTabVek->setTab(1);
    form.chkMarcarN->scriptClick({});
    EXPECT_EQ(form.chkMarcarN->text(), QStringLiteral("Marcar todos"));
}

// The totals follow each mark by the one row it changed; after any run of marks, mark-all
// clicks, space bars and sorts they must equal adding up every checked row.
TEST_P(Selection, TotalsAfterAnyRunOfMarksEqualAddingUpTheCheckedRows)
{
    const char *amounts[][3] = {{"1160", "160", "1000"}, {"0.10", "0.01", "0.09"}, {"116.35", "16.05", "100.30"},
                                {"99999.99", "13793.10", "86206.89"}, {"0.01", "0", "0.01"}};
    for (int i = 0; i < 20; ++i)
        addNote(QStringLiteral("R-%1").arg(i, 2, 10, QLatin1Char('0')), amounts[i % 5][0], amounts[i % 5][1],
                amounts[i % 5][2]);
    frmQX417 &form = loaded();
    CheckList &list = *form.lvNotas;
    ASSERT_GE(list.count(), 20);
    std::mt19937 random(417);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    for (int step = 0; step < 150; ++step) {
        switch (pick(5)) {
        case 0: form.chkMarcarN->scriptClick({}); break;
        case 1: list.scriptSelect({list.key(pick(list.count())), list.key(pick(list.count()))}); list.scriptKey(32, 0); break;
        case 2: emit list.columnClick(1 + pick(14)); break;
        default: list.scriptCheck(list.key(pick(list.count())), pick(2) == 0);
        }
        Decimal amount, tax, discount, listAmount;
        for (int r = 0; r < list.count(); ++r) {
            if (list.isChecked(r)) {
                amount += Decimal::fromDouble(textformat::readNumber(list.cell(r, 6)));
                tax += Decimal::fromDouble(textformat::readNumber(list.cell(r, 5)));
                discount += Decimal::fromDouble(textformat::readNumber(list.cell(r, 7)));
                listAmount += Decimal::fromDouble(textformat::readNumber(list.cell(r, 9)));
            }
        }
        const std::pair<KeyBox *, Decimal> expected[] = {
            {form.txtTotal, amount}, {form.txtImpuestos, tax}, {form.txtDescuento_Global, discount},
            {form.txtSuma, listAmount}, {form.txtSubtotal, amount - tax}, {form.txtFacTotal, amount},
            {form.txtFacImpuestos, tax}, {form.txtFacSuma, listAmount}, {form.txtFacSubtotal, amount - tax}};
        for (const auto &[box, sum] : expected)
            ASSERT_DOUBLE_EQ(value(box), sum.toDouble()) << box->objectName().toStdString() << ", step " << step;
    }
}

TEST_P(Selection, HeaderClicksFlipTheSortOrder)
{
    frmQX417 &form = loaded();
    CheckList &list = *form.lvNotas;
    ASSERT_GE(list.count(), 2);
    for (int click = 0; click < 2; ++click) {
        emit list.columnClick(1);
        QStringList folios;
        for (int r = 0; r < list.count(); ++r)
            folios << list.text(r);
        QStringList sorted = folios;
        std::sort(sorted.begin(), sorted.end());
        if (click == 0)
            std::reverse(sorted.begin(), sorted.end());
        EXPECT_EQ(folios, sorted) << "click " << click;
    }
}

TEST_P(Selection, LoadRefusesAnIncompleteHeaderAndRespectsTheFilter)
{
    frmQX417 &form = open();
    form.Controles->press(Toolbar::Option1);   // outside new-document mode: nothing at all
    EXPECT_TRUE(presenter->messages.isEmpty());

    form.Controles->press(Toolbar::New);
    form.Controles->press(Toolbar::Option1);
    const int loaded = form.lvNotas->count();
    ASSERT_GT(loaded, 0);

    form.txt_Sc_Cve_Sucursal->scriptType(QStringLiteral("S99"));   // typed, not validated
    form.Controles->press(Toolbar::Option1);
    EXPECT_EQ(messageIds().last(), QStringLiteral("ERR-ID:7500023"));
    EXPECT_EQ(form.ssTabVek->tab(), 0);

    form.txt_Sc_Cve_Sucursal->scriptType(QStringLiteral("S01"));
    form.Controles->press(Toolbar::Option1);
    const int rows = form.lvNotas->count();
    Platform::instance().queueAnswer(QStringLiteral("filter"), QString());   // the clerk cancels the filter
    form.Controles->press(Toolbar::Option1);
    EXPECT_EQ(form.lvNotas->count(), rows);

    form.txt_Mn_Cve_Moneda->scriptType(QString());
    form.Controles->press(Toolbar::Option1);
    EXPECT_EQ(presenter->messages.last().text, QStringLiteral("Debe especificar una moneda"));

    form.txt_Mn_Cve_Moneda->scriptType(QStringLiteral("MXN"));
    form.txt_Mn_Cve_Moneda->scriptEnter();
    form.dpFecha->setValue(QDate(2026, 1, 1));   // no notes on that day
    form.Controles->press(Toolbar::Option1);
    EXPECT_EQ(messageIds().last(), QStringLiteral("ERR-ID:7500025"));
    EXPECT_EQ(presenter->messages.last().style, 64);
    EXPECT_EQ(form.lvNotas->count(), 0);

    form.chkFechas->scriptClick({});   // a range: the whole month before today
    EXPECT_TRUE(form.dpFecha_Inicio->isEnabled());
    form.dpFecha_Inicio->setValue(QDate(2026, 11, 1));
    form.dpFecha_Final->setValue(QDate(2026, 12, 6));
    form.Controles->press(Toolbar::Option1);
    EXPECT_GT(form.lvNotas->count(), rows);
}

TEST_P(Selection, CancelReturnsToTheStartingState)
{
    frmQX417 &form = loaded();
    form.chkMarcarN->scriptClick({});
    form.Controles->press(Toolbar::Cancel);
    EXPECT_FALSE(form.Controles->isNew());
    EXPECT_TRUE(form.txtFolio->isEnabled());
    EXPECT_EQ(form.Controles->opcion1Caption(), QString());
    EXPECT_EQ(form.chkMarcarN->text(), QStringLiteral("Marcar todos"));
    EXPECT_FALSE(form.lvNotas->containerActive());
    EXPECT_EQ(form.lvNotas->count(), 0);
    EXPECT_EQ(form.ssTabVek->tab(), 0);
    EXPECT_EQ(form.txt_Mn_Cve_Moneda->text(), QString());
    EXPECT_EQ(form.txt_Mn_Descripcion->text(), QString());   // no description of a cleared key
    EXPECT_EQ(form.txt_Sc_Descripcion->text(), QString());

    bool unloaded = false;
    QObject::connect(host.get(), &HostObject::unloadRequested, [&] { unloaded = true; });
    form.Controles->press(Toolbar::Exit);
    EXPECT_TRUE(unloaded);
}

ZENTARO_ON_BOTH_ENGINES(Selection);

} // namespace
} // namespace qx417::test
