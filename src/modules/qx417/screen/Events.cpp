// Which handler of the screen answers which event of its controls. Every handler runs the
// way the platform dispatches events: an error its procedure does not trap is reported
// by the platform and goes no further.

#include "qx417/screen/frmQX417.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/services/Platform.h"

namespace qx417 {

using namespace zentaro;

template<typename Signal, typename Handler>
void frmQX417::on(const typename QtPrivate::FunctionPointer<Signal>::Object *sender, Signal signal,
                  const QString &name, Handler handler)
{
    connect(sender, signal, this, [name, handler](auto &&...arguments) {
        dispatchEvent(name, [&] { handler(arguments...); });
    });
}

void frmQX417::connectEvents()
{
    on(Controles, &Toolbar::buttonEvent, QStringLiteral("Controles"), [this](int event) {
        switch (event) {
        case Toolbar::New: Controles_Nuevo(); break;
        case Toolbar::Option1: Controles_Opcion1(); break;
        case Toolbar::Accept: Controles_Aceptar(); break;
        case Toolbar::Cancel: Controles_Cancelar(); break;
        case Toolbar::Exit: Controles_Salir(); break;
        case Toolbar::Option2: Controles_Opcion2(); break;
        case Toolbar::Delete: Controles_Eliminar(); break;
        case Toolbar::Output: Controles_Imprimir(); break;
        case Toolbar::Record: Controles_Registro(); break;
        default: break;
        }
    });
    on(ssTabVek, &TabStrip::click, QStringLiteral("ssTabVek_Click"), [this](int previous) { ssTabVek_Click(previous); });
    on(ssTabVek, &TabStrip::keyDown, QStringLiteral("ssTabVek_KeyDown"),
       [this](int keyCode, int) { moveOnWithEnter(keyCode); });

    on(txtFolio, &KeyBox::changed, QStringLiteral("txtFolio_Change"), [this] { txtFolio_Change(); });
    on(txtFolio, &KeyBox::entered, QStringLiteral("txtFolio_Enter"), [this] { txtFolio_Enter(); });
    on(txt_Sc_Cve_Sucursal, &KeyBox::changed, QStringLiteral("txt_Sc_Cve_Sucursal_Change"),
       [this] { txt_Sc_Cve_Sucursal_Change(); });
    on(txt_Sc_Cve_Sucursal, &KeyBox::entered, QStringLiteral("txt_Sc_Cve_Sucursal_Enter"),
       [this] { txt_Sc_Cve_Sucursal_Enter(); });
    on(txt_Cl_Cve_Cliente, &KeyBox::changed, QStringLiteral("txt_Cl_Cve_Cliente_Change"),
       [this] { txt_Cl_Cve_Cliente_Change(); });
    on(txt_Cl_Cve_Cliente, &KeyBox::entered, QStringLiteral("txt_Cl_Cve_Cliente_Enter"),
       [this] { txt_Cl_Cve_Cliente_Enter(); });
    on(txt_Mn_Cve_Moneda, &KeyBox::changed, QStringLiteral("txt_Mn_Cve_Moneda_Change"),
       [this] { txt_Mn_Cve_Moneda_Change(); });
    on(txt_Mn_Cve_Moneda, &KeyBox::entered, QStringLiteral("txt_Mn_Cve_Moneda_Enter"),
       [this] { txt_Mn_Cve_Moneda_Enter(); });
    on(txt_Mn_Cve_Moneda, &KeyBox::event1, QStringLiteral("txt_Mn_Cve_Moneda_Event1"),
       [this] { txt_Mn_Cve_Moneda_Enter(); });
    on(cmdCuentaBancaria, &FlatButton::clicked, QStringLiteral("cmdCuentaBancaria_Click"),
       [this](bool) { cmdCuentaBancaria_Click(); });

    on(chkFechas, &CheckBox::clicked, QStringLiteral("chkFechas_Click"), [this](bool) { chkFechas_Click(); });
    on(chkFechas, &CheckBox::keyDown, QStringLiteral("chkFechas_KeyDown"),
       [this](int keyCode, int) { moveOnWithEnter(keyCode); });
    on(chkFiltrarCondicion, &CheckBox::keyPress, QStringLiteral("chkFiltrarCondicion_KeyPress"),
       [this](int character) { moveOnWithEnter(character); });
    on(chkMarcarN, &CheckBox::clicked, QStringLiteral("chkMarcarN_Click"), [this](bool) { chkMarcarN_Click(); });
    on(chkMarcarD, &CheckBox::clicked, QStringLiteral("chkMarcarD_Click"), [this](bool) { chkMarcarD_Click(); });

    on(lvNotas, &CheckList::itemCheck, QStringLiteral("lvNotas_ItemCheck"), [this](int) { CalculaTotales(); });
    on(lvDevoluciones, &CheckList::itemCheck, QStringLiteral("lvDevoluciones_ItemCheck"),
       [this](int) { CalculaTotales(); });
    on(lvNotas, &CheckList::keyDown, QStringLiteral("lvNotas_KeyDown"),
       [this](int &keyCode, int shift) { lista_KeyDown(lvNotas, keyCode, shift); });
    on(lvDevoluciones, &CheckList::keyDown, QStringLiteral("lvDevoluciones_KeyDown"),
       [this](int &keyCode, int shift) { lista_KeyDown(lvDevoluciones, keyCode, shift); });
    on(lvNotas, &CheckList::columnClick, QStringLiteral("lvNotas_ColumnClick"),
       [this](int column) { lvNotas_ColumnClick(column); });
}

} // namespace qx417
