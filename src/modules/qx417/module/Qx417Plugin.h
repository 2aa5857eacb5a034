#pragma once

#include "platform/host/ModuleInterface.h"

#include <QObject>

namespace qx417 {

// The plugin the host loads. Creating it runs the module's start-up.
class Qx417Plugin : public QObject, public zentaro::ModuleInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ZENTARO_MODULE_IID FILE "qx417.json")
    Q_INTERFACES(zentaro::ModuleInterface)

public:
    Qx417Plugin();
    zentaro::ModuleEntry *createEntry() override;
};

} // namespace qx417
