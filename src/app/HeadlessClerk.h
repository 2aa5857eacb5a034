#pragma once

#include "BillingPeriod.h"
#include "BranchDefaults.h"

#include "platform/core/Decimal.h"
#include "qx417/module/UnattendedControls.h"
#include "platform/host/ModuleLoader.h"

#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

namespace zentaro {
class ModuleSession;
}

namespace zentaro::app {

// Drives the global invoice screen without a window as a clerk does it, through the same
// control commands a script gives (type, enter, click): New, the header, the period,
// "Cargar documentos", mark all, Accept; or the folio of a stored invoice and Eliminar. The
// screen's own statements and rules do the work.
class HeadlessClerk
{
public:
    // Opens QX417 on the installed session. Throws zentaro::Error when it cannot.
    explicit HeadlessClerk(const ModuleLoader &loader);
    ~HeadlessClerk();

    struct Selection
    {
        QStringList notes;   // folios of the marked notes
        Decimal total;       // the invoice total the screen shows for them
    };

    // New, the header of one branch and currency, the notes of the period loaded and all
    // marked. An empty selection means the screen found nothing (or refused, see the
    // session's messages); the screen stays in new-document mode until accept or cancel.
    Selection prepare(const QString &branch, const QString &currency, const BranchDefaults &defaults,
                      const BillingPeriod &period);
    // The toolbar's Accept.
    void accept();
    // Leaves new-document mode, when the screen is in it, without writing anything.
    void cancel();
    // Opens the stored invoice of `folio` as a clerk does, typing its folio; answers
    // whether the screen offers to cancel it.
    bool openInvoice(const QString &folio);
    // The toolbar's Eliminar on the invoice opened.
    void cancelInvoice();

private:
    // The screen's control of that name, of the kind the module's contract gives it.
    template<typename Control>
    Control &control(qx417::unattended::ControlName<Control> name) const;
    void act(QWidget &control, const std::function<void()> &action) const;
    void typeAndEnter(qx417::unattended::ControlName<KeyBox> box, const QString &text);
    void setCheckBox(qx417::unattended::ControlName<CheckBox> box, bool on);

    std::unique_ptr<ModuleSession> m_session;
};

} // namespace zentaro::app
