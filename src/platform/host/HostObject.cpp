#include "platform/host/HostObject.h"

namespace zentaro {

HostObject::HostObject(QString transaction, QString module, QObject *parent)
    : QObject(parent), m_transaction(std::move(transaction)), m_module(std::move(module))
{
    setObjectName(QStringLiteral("Padre"));
}

QString HostObject::FirmaDocumento(const QString &request)
{
    if (!m_signer)
        return QStringLiteral("La firma electrónica no está configurada: no se puede firmar %1").arg(request);
    return m_signer(request);
}

bool HostObject::ValidaDocumento(const QString &request)
{
    m_error.clear();
    m_message.clear();
    if (!m_validator) {
        m_error = QStringLiteral("La validación de cancelaciones no está configurada: no se puede validar %1").arg(request);
        return false;
    }
    return m_validator(request, *this);
}

void HostObject::Unload()
{
    emit unloadRequested();
}

} // namespace zentaro
