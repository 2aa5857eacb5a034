#include "CommandSession.h"

#include "CommandLine.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/services/Platform.h"

namespace zentaro::app {

CommandSession::CommandSession(const CommandLine &line)
{
    auto connection = Connection::open(line.has(QStringLiteral("db")) ? ConnectionUrl::parse(line.option(QStringLiteral("db")))
                                                                      : ConnectionUrl::defaultDemo());
    schema::verify(*connection);
    const QString user = line.option(QStringLiteral("user"), QStringLiteral("ADMIN"));
    Recordset known = connection->select(
        QStringLiteral("SELECT Us_Cve_Usuario FROM Usuario WHERE Us_Cve_Usuario = ? AND Es_Cve_Estado <> 'BA'"), {user});
    if (known.eof())
        throw Error(QStringLiteral("El usuario %1 no existe o está dado de baja").arg(user));
    known.close();
    Platform::install(std::make_unique<Platform>(std::move(connection), user, m_messages));
}

CommandSession::~CommandSession() { Platform::uninstall(); }

} // namespace zentaro::app
