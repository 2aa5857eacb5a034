#pragma once

#include "platform/services/Environment.h"
#include "platform/services/QueryFilter.h"
#include "platform/services/Receivables.h"
#include "platform/services/Utilities.h"

#include <QPointer>
#include <QString>

#include <memory>

namespace qx417 {

class frmQX417;

// The module-wide state, alive while the module is loaded: the suite's four service
// objects, the one statement buffer every procedure composes its statement in, and the
// module's single screen.
struct Publico
{
    std::unique_ptr<zentaro::Environment> Environment;
    std::unique_ptr<zentaro::Utilities> Utilities;
    std::unique_ptr<zentaro::Receivables> Receivables;
    std::unique_ptr<zentaro::QueryFilter> QueryFilter;
    QString Sql;
    QPointer<frmQX417> screen;

    // Creates the service objects, in this order, once; nothing else happens at start-up.
    static void startUp();
    static Publico &get();
};

inline Publico &publico() { return Publico::get(); }

} // namespace qx417
