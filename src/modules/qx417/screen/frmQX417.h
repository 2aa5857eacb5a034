#pragma once

#include "platform/host/ModuleInterface.h"

#include <QPointer>
#include <QWidget>

namespace qx417 {

// The screen "Facturación global SAT".
class frmQX417 : public QWidget, public zentaro::HostedScreen
{
    Q_OBJECT
    Q_PROPERTY(QObject *Padre READ Padre WRITE setPadre)
    Q_PROPERTY(QString Transaccion READ Transaccion)

public:
    explicit frmQX417(QWidget *parent = nullptr);

    QObject *Padre() const override { return m_padre; }
    void setPadre(QObject *padre) override { m_padre = padre; }
    QString Transaccion() const override;
    void activateScreen() override;

private:
    void Form_Load();
    void Form_Activate();

    QPointer<QObject> m_padre;
    bool m_loaded = false;
};

} // namespace qx417
