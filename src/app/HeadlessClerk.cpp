#include "HeadlessClerk.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Error.h"
#include "platform/host/ModuleSession.h"
#include "platform/services/Platform.h"

#include <QCoreApplication>

namespace zentaro::app {

namespace on = qx417::unattended;

namespace {

// Lets the screen finish what its events posted, as the script runner does between lines.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace

HeadlessClerk::HeadlessClerk(const ModuleLoader &loader)
    : m_session(std::make_unique<ModuleSession>(loader, QStringLiteral("QX417")))
{
    m_session->screen()->resize(1280, 800);   // the size a clerk's screen gives it
    m_session->show();
    settle();
}

HeadlessClerk::~HeadlessClerk() = default;

template<typename Control>
Control &HeadlessClerk::control(qx417::unattended::ControlName<Control> name) const
{
    auto *found = m_session->screen()->findChild<Control *>(QLatin1String(name.text));
    if (!found)
        throw Error(QStringLiteral("La pantalla QX417 no tiene el control %1").arg(QLatin1String(name.text)));
    return *found;
}

// A control command as the script runner gives it: what the screen did not trap is
// reported as the platform reports it, and the run goes on.
void HeadlessClerk::act(QWidget &target, const std::function<void()> &action) const
{
    QString failure;
    try {
        action();
    } catch (const Error &error) {
        failure = error.description();
    }
    if (!failure.isEmpty())
        Platform::instance().presenter().reportError(failure, target.objectName());
    settle();
}

void HeadlessClerk::typeAndEnter(qx417::unattended::ControlName<KeyBox> name, const QString &text)
{
    auto &box = control(name);
    act(box, [&] {
        box.scriptType(text);
        box.scriptEnter();
    });
}

void HeadlessClerk::setCheckBox(qx417::unattended::ControlName<CheckBox> name, bool on)
{
    auto &box = control(name);
    if ((box.value() == 1) != on)
        act(box, [&] { box.scriptClick(QString()); });
}

HeadlessClerk::Selection HeadlessClerk::prepare(const QString &branch, const QString &currency,
                                                const BranchDefaults &defaults, const BillingPeriod &period)
{
    auto &toolbar = control(on::Controles);
    act(toolbar, [&] { toolbar.scriptClick(QStringLiteral("Nuevo")); });
    typeAndEnter(on::txt_Sc_Cve_Sucursal, branch);
    typeAndEnter(on::txt_Al_Cve_Almancen, defaults.warehouse);
    typeAndEnter(on::txt_Cl_Cve_Cliente, defaults.customer);
    // The customer's lookup suggests the salesperson and the sale condition when the
    // configuration says so; a clerk types them only when it did not.
    auto &salesperson = control(on::txt_Vn_Cve_Vendedor);
    if (salesperson.text().isEmpty() && salesperson.isEnabled())
        typeAndEnter(on::txt_Vn_Cve_Vendedor, defaults.salesperson);
    auto &condition = control(on::txtCondicionVenta);
    if (condition.text().isEmpty() && condition.isEnabled())
        typeAndEnter(on::txtCondicionVenta, defaults.condition);
    typeAndEnter(on::txt_Mn_Cve_Moneda, currency);   // its lookup brings the rate of the day

    // The invoice is dated today; the notes come from the period, as a range of dates.
    setCheckBox(on::chkFiltrarCondicion, false);
    setCheckBox(on::chkFechas, true);
    for (const auto &[name, day] : {std::pair {on::dpFecha_Inicio, period.from}, std::pair {on::dpFecha_Final, period.to}}) {
        auto &picker = control(name);
        act(picker, [&] { picker.scriptType(day.toString(Qt::ISODate)); });
    }
    act(toolbar, [&] { toolbar.scriptClick(QStringLiteral("Opcion1")); });   // "Cargar documentos"

    Selection selection;
    auto &notes = control(on::lvNotas);
    if (notes.count() == 0)
        return selection;
    auto &markAll = control(on::chkMarcarN);
    if (markAll.text() == QLatin1String("Marcar todos"))
        act(markAll, [&] { markAll.scriptClick(QString()); });
    for (int row = 0; row < notes.count(); ++row) {
        if (!notes.isChecked(row))
            throw Error(QStringLiteral("La nota %1 no quedó marcada").arg(notes.text(row)));
        selection.notes << notes.text(row);
    }
    selection.total = Decimal::fromVariant(control(on::txtFacTotal).value());
    return selection;
}

void HeadlessClerk::accept()
{
    auto &toolbar = control(on::Controles);
    act(toolbar, [&] { toolbar.scriptClick(QStringLiteral("Aceptar")); });
}

void HeadlessClerk::cancel()
{
    auto &toolbar = control(on::Controles);
    if (toolbar.isNew())
        act(toolbar, [&] { toolbar.scriptClick(QStringLiteral("Cancelar")); });
}

bool HeadlessClerk::openInvoice(const QString &folio)
{
    cancel();
    typeAndEnter(on::txtFolio, folio);
    return control(on::Controles).cancelEnabled();
}

void HeadlessClerk::cancelInvoice()
{
    auto &toolbar = control(on::Controles);
    act(toolbar, [&] { toolbar.scriptClick(QStringLiteral("Eliminar")); });
}

} // namespace zentaro::app
