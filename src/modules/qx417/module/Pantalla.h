#pragma once

#include "platform/host/ModuleInterface.h"

#include <QObject>

namespace qx417 {

// The entry class the host creates to obtain the module's screen.
class Pantalla : public QObject, public zentaro::ModuleEntry
{
    Q_OBJECT
    Q_PROPERTY(QObject *GetPantalla READ getPantallaObject)
    Q_PROPERTY(QString Modulo READ Modulo CONSTANT)

public:
    Pantalla();
    // The one screen of the module, created on first use; nullptr when it cannot be made.
    QWidget *GetPantalla() override;
    QString Modulo() const override { return QStringLiteral("VENTAS"); }

private:
    QObject *getPantallaObject();
};

} // namespace qx417
