#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace zentaro {

// The host's context object handed to a screen as its `Padre`. Screens call it late-bound,
// by member name: the properties "Transaccion", "Modulo", "sError", "sMensaje" and the
// methods "FirmaDocumento", "ValidaDocumento" and "Unload".
class HostObject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Transaccion READ transaccion CONSTANT)
    Q_PROPERTY(QString Modulo READ modulo CONSTANT)
    Q_PROPERTY(QString sError READ sError WRITE setSError)
    Q_PROPERTY(QString sMensaje READ sMensaje WRITE setSMensaje)

public:
    // Signs the document a request names ("database|6|folio"); answers "" or the error.
    using Signer = std::function<QString(const QString &request)>;
    // Validates a cancellation ("1|folio"); sets sError / sMensaje on the host object.
    using Validator = std::function<bool(const QString &request, HostObject &host)>;

    HostObject(QString transaction, QString module, QObject *parent = nullptr);

    QString transaccion() const { return m_transaction; }
    QString modulo() const { return m_module; }
    QString sError() const { return m_error; }
    void setSError(const QString &text) { m_error = text; }
    QString sMensaje() const { return m_message; }
    void setSMensaje(const QString &text) { m_message = text; }

    void setSigner(Signer signer) { m_signer = std::move(signer); }
    void setValidator(Validator validator) { m_validator = std::move(validator); }

    Q_INVOKABLE QString FirmaDocumento(const QString &request);
    Q_INVOKABLE bool ValidaDocumento(const QString &request);
    // The screen asks the host to close it.
    Q_INVOKABLE void Unload();

signals:
    void unloadRequested();

private:
    QString m_transaction;
    QString m_module;
    QString m_error;
    QString m_message;
    Signer m_signer;
    Validator m_validator;
};

} // namespace zentaro
