#include "ScreenFixture.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SeriesNumberBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"

using namespace zentaro;

namespace qx417::test {
namespace {

using ScreenHeader = ScreenTest;

// The warning without the global product, the bound user's branch on activation, the page
// shortcuts and the cash customer's lookups are checked by tests/scripts/screen-header.zs.
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

TEST_P(ScreenHeader, NoTwoVisibleControlsOfAPageOverlap)
{
    frmQX417 &form = open();
    for (QSize size : {QSize(1280, 760), QSize(1920, 1040)}) {
        form.resize(size);
        for (int page = 0; page < form.ssTabVek->pageCount(); ++page) {
            form.ssTabVek->setTab(page);
            QWidget *frame = form.ssTabVek->page(page);
            frame->grab();   // lays the page out as drawn
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

ZENTARO_ON_BOTH_ENGINES(ScreenHeader);

} // namespace
} // namespace qx417::test
