#include "platform/components/mail/MailOutbox.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace zentaro {

MailOutbox::MailOutbox(QString folder) : m_folder(std::move(folder)) {}

bool MailOutbox::deliver(const QStringList &recipients, const QByteArray &message, const QString &name)
{
    Q_UNUSED(recipients);
    m_lastError.clear();
    m_lastFile.clear();
    QDir folder(m_folder);
    if (!folder.mkpath(QStringLiteral("."))) {
        m_lastError = QStringLiteral("No se pudo crear la carpeta de correo saliente %1").arg(m_folder);
        return false;
    }
    // A folio is a safe file name, but the label is only a hint: keep it to what every
    // file system accepts.
    QString stem = QString(name).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9 ._-]")), QStringLiteral("_"));
    if (stem.isEmpty())
        stem = QStringLiteral("correo");
    for (int copy = 1;; ++copy) {
        const QString fileName = copy == 1 ? stem + QStringLiteral(".eml")
                                           : QStringLiteral("%1 (%2).eml").arg(stem).arg(copy);
        QFile file(folder.filePath(fileName));
        // NewOnly fails when the name is taken, also by another clerk at the same moment.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists())
                continue;
            m_lastError = QStringLiteral("No se pudo guardar el correo en la carpeta de correo saliente %1: %2")
                              .arg(m_folder, file.errorString());
            return false;
        }
        if (file.write(message) != message.size() || !file.flush()) {
            m_lastError = QStringLiteral("No se pudo guardar el correo %1: %2").arg(file.fileName(), file.errorString());
            file.close();
            file.remove();
            return false;
        }
        m_lastFile = file.fileName();
        return true;
    }
}

} // namespace zentaro
