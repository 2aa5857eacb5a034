#include "platform/db/SqlErrorText.h"

#include <QRegularExpression>

namespace zentaro {

QString engineErrorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

QString statementFailureText(const QSqlError &error)
{
    QString text = engineErrorText(error);
    static const QRegularExpression severity(QStringLiteral("^(ERROR|FATAL|PANIC):\\s+"));
    const QRegularExpressionMatch report = severity.match(text);
    if (!report.hasMatch())
        return text;
    text = text.mid(report.capturedLength());
    // The primary message ends at the first line break; DETAIL, HINT and CONTEXT follow.
    text = text.left(text.indexOf(u'\n')).trimmed();
    static const QRegularExpression sqlState(QStringLiteral("\\s*\\([0-9A-Z]{5}\\)$"));
    text.remove(sqlState);
    return text;
}

QString engineErrorCode(const QSqlError &error) { return error.nativeErrorCode().trimmed(); }

} // namespace zentaro
