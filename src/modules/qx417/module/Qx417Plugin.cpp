#include "qx417/module/Qx417Plugin.h"

#include "qx417/module/Pantalla.h"
#include "qx417/module/Publico.h"

namespace qx417 {

Qx417Plugin::Qx417Plugin()
{
    Publico::startUp();
}

zentaro::ModuleEntry *Qx417Plugin::createEntry()
{
    return new Pantalla();
}

} // namespace qx417
