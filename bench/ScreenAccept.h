#pragma once

// Accept as the clerk does it: a database with the demo and many candidate notes of one
// day, the screen opened on it, every note marked and the toolbar's Accept pressed. Shared
// by the benches that time Accept and those that need a large invoice made the real way.

#include "BenchSupport.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/db/DemoData.h"
#include "platform/db/Schema.h"
#include "platform/host/HostObject.h"
#include "platform/services/Platform.h"
#include "qx417/screen/frmQX417.h"

#include <QElapsedTimer>

#include <ctime>
#include <functional>
#include <memory>

namespace zentaro::bench {

// Milliseconds of processor time this thread has used: on a machine shared with other
// work the wall clock says how long the clerk waited, this how much of it was ours.
inline double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct ScreenAcceptOptions
{
    int notes = 10000;
    QDate today = QDate(2026, 12, 6);
    bool mail = false; // FAC_ENVIAR_DOCUMENTO_EMAIL
    std::shared_ptr<MessagePresenter> presenter = std::make_shared<StderrPresenter>();
};

// Fills the database of `url`, installs its session, opens the screen with `host` as its
// Padre, marks every candidate and presses Accept. `clicked` runs just before the press.
// Answers the milliseconds from the click to the commit; the session stays installed.
// The screen as the clerk opens it for a new invoice: shown on `host`, New pressed.
inline void openNewInvoice(qx417::frmQX417 &screen, HostObject &host)
{
    screen.setPadre(&host);
    screen.resize(1280, 800);
    screen.show();
    screen.activateScreen();
    screen.Controles->press(Toolbar::New);
}

// The general public's notes loaded and every one marked, as many as the bench made.
inline void loadAndMarkAll(qx417::frmQX417 &screen, int notes)
{
    screen.txt_Cl_Cve_Cliente->scriptType(QStringLiteral("PUBLICO"));
    screen.txt_Cl_Cve_Cliente->scriptEnter();
    screen.Controles->press(Toolbar::Option1);
    screen.chkMarcarN->scriptClick({});
    if (screen.lvNotas->count() != notes)
        throw Error(QStringLiteral("se cargaron %1 notas en lugar de %2").arg(screen.lvNotas->count()).arg(notes));
}

inline double acceptOnScreen(const ConnectionUrl &url, HostObject &host, const ScreenAcceptOptions &options,
                             const std::function<void()> &clicked = {})
{
    auto connection = Connection::open(url, Connection::OpenMode::Create);
    schema::create(*connection);
    demo::fill(*connection, {417, options.today, 0});
    // Only the bench's notes are candidates of the day.
    connection->run(QStringLiteral("UPDATE Venta_Encabezado SET Es_Cve_Estado = 'CA' WHERE Vn_Fecha = ? AND Fc_Folio = ''"),
                    {options.today.toString(Qt::ISODate)});
    demo::addCandidateNotes(*connection, options.notes, 7, options.today, QStringLiteral("S01"), QStringLiteral("MXN"), true);
    connection->run(QStringLiteral("UPDATE Variable_Configuracion SET Vc_Valor = ? WHERE Vc_Nombre = 'FAC_ENVIAR_DOCUMENTO_EMAIL'"),
                    {options.mail ? QStringLiteral("1") : QStringLiteral("0")});
    Platform::install(std::make_unique<Platform>(std::move(connection), QStringLiteral("ADMIN"), options.presenter));
    Platform::instance().fixClock(QDateTime(options.today, QTime(10, 0)));

    qx417::frmQX417 screen;
    openNewInvoice(screen, host);
    loadAndMarkAll(screen, options.notes);

    QElapsedTimer timer;
    double committed = -1;
    QObject::connect(screen.Controles, &Toolbar::modeChanged, [&](bool isNew) {
        if (!isNew && committed < 0)
            committed = timer.nsecsElapsed() / 1e6;
    });
    if (clicked)
        clicked();
    timer.start();
    screen.Controles->press(Toolbar::Accept);
    if (committed < 0)
        throw Error(QStringLiteral("Accept no guardó la factura"));
    return committed;
}

} // namespace zentaro::bench
