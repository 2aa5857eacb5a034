#include "support/TestEnvironment.h"

#include <QString>
#include <QStringList>

namespace zentaro::test {

void setDefaultEnvironment()
{
    const QStringList defaults = QStringLiteral(ZENTARO_TEST_DEFAULTS).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &entry : defaults) {
        const qsizetype equals = entry.indexOf(u'=');
        const QByteArray name = entry.left(equals).toLocal8Bit();
        if (qEnvironmentVariableIsEmpty(name.constData()))
            qputenv(name.constData(), entry.mid(equals + 1).toLocal8Bit());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", "/tmp/zentaro-runtime");
}

} // namespace zentaro::test
