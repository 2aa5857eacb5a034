#include "ScreenFixture.h"

#include "platform/controls/CatalogBrowser.h"
#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/TextFormats.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Decimal.h"

#include <QCoreApplication>
#include <QLineEdit>

using namespace zentaro;

namespace qx417::test {
namespace {

using ScreenHeader = ScreenTest;

// The warning without the global product, the bound user's branch on activation, the page
// shortcuts and the cash customer's lookups are checked by tests/scripts/screen-header.zs;
// keys refused as they are confirmed (a currency ZZZ, a warehouse of the branch before) by
// tests/scripts/first-hour.zs.
TEST_P(ScreenHeader, AnUnsetSuggestionModeProposesNoSalesperson)
{
    exec(QStringLiteral("DELETE FROM Variable_Configuracion WHERE Vc_Nombre = 'VEN_SUGERIR_VENDEDOR'"));
    frmQX417 &form = open();
    form.Controles->press(Toolbar::New);
    form.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("C-0002"));
    form.txt_Cl_Cve_Cliente->scriptEnter();
    EXPECT_EQ(form.txt_Vn_Cve_Vendedor->text(), QString());
}

TEST_P(ScreenHeader, ABoundUserKeepsBranchThroughNewAndSeesOnlyItsCustomersAndWarehouses)
{
    Platform::instance().setUserCode(QStringLiteral("CAJERO1"));
    frmQX417 &form = open();
    EXPECT_TRUE(form.txt_Al_Cve_Almancen->lookupFilter().contains(QStringLiteral("'S02'")));
    form.Controles->press(Toolbar::New);   // New clears group 2, the bound boxes are not in it
    EXPECT_EQ(form.txt_Sc_Cve_Sucursal->text(), QStringLiteral("S02"));
    EXPECT_FALSE(form.dpFecha->isEnabled());   // CAJERO1 may not change the date
    form.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("C-0001"));   // a customer of S01
    EXPECT_EQ(form.txt_Clt_Descripcion->text(), QString());
    form.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("C-0005"));
    EXPECT_FALSE(form.txt_Clt_Descripcion->text().isEmpty());
}

TEST_P(ScreenHeader, AltOneToFourSelectPagesAndEachPageEnablesOnlyItsFrame)
{
    frmQX417 &form = open();
    const QList<QWidget *> frames {form.fr0, form.frDetalle, form.frTot, form.frDev};
    for (int page = 3; page >= 0; --page) {
        form.scriptKey(49 + page, 4);
        ASSERT_EQ(form.ssTabVek->tab(), page);
        for (int other = 0; other < frames.size(); ++other)
            EXPECT_EQ(frames[other]->isEnabled(), other == page) << "page " << page << " frame " << other;
    }
    form.scriptKey(50, 5);   // Alt+Shift+2
    EXPECT_EQ(form.ssTabVek->tab(), 0);
}

TEST_P(ScreenHeader, CustomerLookupFollowsTheCreditLimit)
{
    frmQX417 &form = open();
    form.Controles->press(Toolbar::New);
    form.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("C-0001"));   // cash customer, limit 0
    form.txt_Cl_Cve_Cliente->scriptEnter();
    EXPECT_TRUE(form.txtCondicionVenta->isEnabled());
    form.txtCondicionVenta->scriptType(QStringLiteral("C30"));   // a credit condition is not offered
    EXPECT_EQ(form.txtNCondicionVenta->text(), QString());

    form.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("C-0002"));   // credit limit 50,000
    EXPECT_EQ(form.txt_Cl_R_F_C->text(), QString());                  // the change empties the details first
    EXPECT_FALSE(form.txtCondicionVenta->isEnabled());
    form.txt_Cl_Cve_Cliente->scriptEnter();
    EXPECT_EQ(form.txtCondicionVenta->lookupFilter(), QString());
    EXPECT_EQ(form.txtCondicionVenta->text(), QStringLiteral("C30"));
    EXPECT_FALSE(form.txtNCondicionVenta->text().isEmpty());
    EXPECT_EQ(form.txt_Vn_Cve_Vendedor->text(), QStringLiteral("V02"));   // suggestion mode 1
    EXPECT_LT(form.txt_Credito_Disponible->value().toDouble(), 50000.0);

    form.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("C-0009"));   // withdrawn: no description, no details
    form.txt_Cl_Cve_Cliente->scriptEnter();
    EXPECT_EQ(form.txt_Clt_Descripcion->text(), QString());
    EXPECT_EQ(form.txt_Cl_Razon_Social_1->text(), QString());
}

TEST_P(ScreenHeader, ACurrencyChangeEmptiesTheCandidatesButKeepsTheReturns)
{
    frmQX417 &form = open();
    form.Controles->press(Toolbar::New);
    form.Controles->press(Toolbar::Option1);
    ASSERT_GT(form.lvNotas->count(), 0);
    form.txtDevTotal->setValue(5.0);
    form.ssTabVek->setTab(0);
    form.txt_Mn_Cve_Moneda->scriptType(QStringLiteral("USD"));
    EXPECT_EQ(form.lvNotas->count(), 0);
    EXPECT_DOUBLE_EQ(form.txtDevTotal->value().toDouble(), 5.0);
}

TEST_P(ScreenHeader, BranchEnterMovesTheInvoiceNumberOnlyForANewInvoice)
{
    frmQX417 &form = open();
    form.txt_Sc_Cve_Sucursal->scriptType(QStringLiteral("S02"));
    form.txt_Sc_Cve_Sucursal->scriptEnter();
    EXPECT_EQ(form.txt_Fc_Factura->branch(), QString());
    EXPECT_TRUE(form.txt_Al_Cve_Almancen->sql().contains(QStringLiteral("sc_cve_sucursal='S02'")));
    form.txt_Al_Cve_Almancen->scriptType(QStringLiteral("A01"));   // a warehouse of the other branch
    EXPECT_EQ(form.txtAl_Descripcion->text(), QString());

    form.Controles->press(Toolbar::New);
    EXPECT_EQ(form.txt_Fc_Factura->branch(), QStringLiteral("S01"));   // the default branch
    EXPECT_EQ(form.txt_Fc_Factura->series(), QStringLiteral("FG"));
    EXPECT_EQ(form.txt_Al_Cve_Almancen->text(), QStringLiteral("A01"));
    EXPECT_FALSE(form.txtAl_Descripcion->text().isEmpty());
}

TEST_P(ScreenHeader, NewPutsTheFocusOnTheFirstHeaderBoxThatTakesInput)
{
    struct Case
    {
        const char *user;
        const char *focused;
    };
    for (const Case &c : {Case {"ADMIN", "dpFecha"}, Case {"CAJERO1", "txt_Comentario"}}) {   // CAJERO1: no CHFECHA
        SCOPED_TRACE(c.user);
        Platform::instance().setUserCode(QString::fromLatin1(c.user));
        frmQX417 &form = open();
        form.txtFolio->setFocus();
        form.Controles->press(Toolbar::New);
        QWidget *expected = form.findChild<QWidget *>(QString::fromLatin1(c.focused));
        ASSERT_NE(form.focusWidget(), nullptr);
        EXPECT_TRUE(form.focusWidget() == expected || expected->isAncestorOf(form.focusWidget()))
            << form.focusWidget()->objectName().toStdString();
    }
}

// The comment and the reference take what their columns hold; a longer text, typed or
// pasted, is not cut: the box keeps what it had and says why.
TEST_P(ScreenHeader, ATextLongerThanItsColumnIsRefusedWholeWithAMessage)
{
    frmQX417 &form = open();
    form.Controles->press(Toolbar::New);
    const struct
    {
        KeyBox *box;
        int length;
    } boxes[] = {{form.txt_Comentario, 250}, {form.txt_Referencia, 60}};
    for (const auto &b : boxes) {
        SCOPED_TRACE(b.box->objectName().toStdString());
        presenter->messages.clear();
        const QString fits = QString(b.length, u'x');
        b.box->scriptType(fits);
        EXPECT_EQ(b.box->text(), fits);
        b.box->scriptType(QString(b.length + 1, u'y'));
        QCoreApplication::processEvents();
        EXPECT_EQ(b.box->text(), fits);
        auto *edit = b.box->findChild<QLineEdit *>();
        edit->selectAll();
        edit->insert(QString(40000, u'z'));   // a paste
        QCoreApplication::processEvents();
        EXPECT_EQ(b.box->text(), fits);
        ASSERT_EQ(presenter->messages.size(), 2);
        EXPECT_TRUE(presenter->messages[1].text.contains(QStringLiteral("admite hasta %1 caracteres").arg(b.length)))
            << presenter->messages[1].text.toStdString();
    }
}

// The F2 list of invoices tells them apart by series, number, day, customer and amount.
TEST_P(ScreenHeader, TheInvoiceLookupShowsSeriesFolioDateCustomerAndTotal)
{
    const QList<CatalogBrowser::Row> rows = CatalogBrowser::rows(QStringLiteral("FACTURA"), {});
    ASSERT_FALSE(rows.isEmpty());
    const CatalogBrowser::Row &first = rows.first();
    EXPECT_EQ(first.key, QStringLiteral("FG-000001"));
    ASSERT_EQ(first.shown.size(), 5);
    Recordset rs = db().select(QStringLiteral("SELECT f.Fc_Serie, f.Fc_Factura, f.Fc_Fecha, c.Cl_Razon_Social_1, "
                                              "f.Fc_Precio_Neto_Importe FROM Factura f INNER JOIN Cliente c ON "
                                              "c.Cl_Cve_Cliente = f.Cl_Cve_Cliente WHERE f.Fc_Folio = 'FG-000001'"));
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(first.shown[0], rs.textAt(0));
    EXPECT_EQ(first.shown[1], rs.textAt(1));
    EXPECT_EQ(first.shown[2], rs.dateAt(2).toString(QStringLiteral("dd/MM/yyyy")));
    EXPECT_EQ(first.shown[3], rs.textAt(3));
    EXPECT_EQ(first.shown[4], textformat::formatNumber(Decimal::fromVariant(rs.value(4)).toDouble(),
                                                       QStringLiteral("$#,##0.00")));
    EXPECT_TRUE(first.shown[4].startsWith(u'$'));
}

TEST_P(ScreenHeader, NoTwoVisibleControlsOfAPageOverlap)
{
    frmQX417 &form = open();
    // The smallest size first: the host scrolls below it, so everything must fit there.
    for (QSize size : {form.minimumSize(), QSize(1280, 760), QSize(1920, 1040)}) {
        form.resize(size);
        for (int page = 0; page < form.ssTabVek->pageCount(); ++page) {
            form.ssTabVek->setTab(page);
            QWidget *page0 = form.ssTabVek->page(page);
            page0->grab();   // lays the page out as drawn
            // The page and the frames of boxes on it (the totals).
            QList<QWidget *> containers {page0};
            for (QFrame *inner : page0->findChildren<QFrame *>(Qt::FindDirectChildrenOnly))
                if (inner->metaObject()->className() == QByteArrayLiteral("zentaro::Frame"))
                    containers << inner;
            for (QWidget *frame : containers) {
                QList<QWidget *> placed;
                for (QWidget *child : frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                    if (child->isVisible() && !child->property("zentaroBand").toBool())
                        placed << child;
                for (int a = 0; a < placed.size(); ++a) {
                    EXPECT_TRUE(frame->rect().contains(placed[a]->geometry())) << placed[a]->objectName().toStdString();
                    for (int b = a + 1; b < placed.size(); ++b)
                        EXPECT_FALSE(placed[a]->geometry().intersects(placed[b]->geometry()))
                            << placed[a]->objectName().toStdString() << " / " << placed[b]->objectName().toStdString();
                }
            }
        }
    }
}

ZENTARO_ON_BOTH_ENGINES(ScreenHeader);

} // namespace
} // namespace qx417::test
