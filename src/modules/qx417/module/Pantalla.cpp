#include "qx417/module/Pantalla.h"

#include "qx417/module/Publico.h"
#include "qx417/screen/frmQX417.h"

namespace qx417 {

Pantalla::Pantalla()
{
    setObjectName(QStringLiteral("Pantalla"));
}

QWidget *Pantalla::GetPantalla()
{
    try {
        Publico &state = publico();
        if (!state.screen)
            state.screen = new frmQX417();
        return state.screen;
    } catch (...) {
        // The host gets no screen rather than an error.
        return nullptr;
    }
}

QObject *Pantalla::getPantallaObject() { return GetPantalla(); }

} // namespace qx417
