#include "platform/host/ModuleLoader.h"

#include "platform/core/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QLibrary>
#include <QPluginLoader>

namespace zentaro {

namespace {

QJsonObject metaDataOf(const QPluginLoader &loader)
{
    return loader.metaData().value(QStringLiteral("MetaData")).toObject();
}

} // namespace

QString ModuleLoader::defaultFolder()
{
    const QString configured = qEnvironmentVariable("ZENTARO_PLUGIN_PATH");
    if (!configured.isEmpty())
        return configured;
    const QDir app(QCoreApplication::applicationDirPath());
    for (const QString &candidate : {QStringLiteral("plugins"), QStringLiteral("../plugins"),
                                     QStringLiteral("../lib/zentaro/plugins")}) {
        if (app.exists(candidate))
            return app.absoluteFilePath(candidate);
    }
    return app.absoluteFilePath(QStringLiteral("plugins"));
}

ModuleLoader::ModuleLoader(QString folder) : m_folder(std::move(folder)) {}

QList<ModuleInfo> ModuleLoader::modules() const
{
    QList<ModuleInfo> found;
    const QDir dir(m_folder);
    for (const QString &file : dir.entryList(QDir::Files, QDir::Name)) {
        const QString path = dir.absoluteFilePath(file);
        if (!QLibrary::isLibrary(path))
            continue;
        QPluginLoader loader(path);
        if (loader.metaData().value(QStringLiteral("IID")).toString() != QLatin1String(ZENTARO_MODULE_IID))
            continue;
        const QJsonObject meta = metaDataOf(loader);
        found.append({meta.value(QStringLiteral("code")).toString(), meta.value(QStringLiteral("family")).toString(),
                      meta.value(QStringLiteral("title")).toString(), meta.value(QStringLiteral("version")).toString(),
                      path});
    }
    return found;
}

ModuleInterface &ModuleLoader::load(const QString &code) const
{
    for (const ModuleInfo &info : modules()) {
        if (info.code.compare(code, Qt::CaseInsensitive) != 0)
            continue;
        QPluginLoader loader(info.file);
        const int api = metaDataOf(loader).value(QStringLiteral("api")).toInt();
        if (api != kModuleApiVersion)
            throw Error(QStringLiteral("El módulo %1 es de la versión %2 de la interfaz y Zentaro usa la %3")
                            .arg(code).arg(api).arg(kModuleApiVersion));
        QObject *instance = loader.instance();
        if (!instance)
            throw Error(QStringLiteral("No se pudo cargar el módulo %1: %2").arg(code, loader.errorString()));
        auto *module = qobject_cast<ModuleInterface *>(instance);
        if (!module)
            throw Error(QStringLiteral("El archivo %1 no es un módulo de Zentaro").arg(info.file));
        return *module;
    }
    throw Error(QStringLiteral("No se encontró el módulo %1 en %2").arg(code, m_folder));
}

} // namespace zentaro
