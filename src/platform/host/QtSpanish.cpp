#include "platform/host/QtSpanish.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zentaro {

bool installQtSpanish(QCoreApplication &application)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale mexico(QLocale::Spanish, QLocale::Mexico);
    // qt_es is Qt's catalogue of catalogues; qtbase_es holds the widgets' texts on its own,
    // for an installation that lacks the former.
    for (const QString &name : {QStringLiteral("qt"), QStringLiteral("qtbase")}) {
        auto *translator = new QTranslator(&application);
        if (translator->load(mexico, name, QStringLiteral("_"), folder) && QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    qWarning("Faltan las traducciones de Qt al español en %s (paquete qt6-translations-l10n): los botones y "
             "diálogos de Qt quedan en inglés",
             qUtf8Printable(folder));
    return false;
}

} // namespace zentaro
