#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>

namespace zentaro::test {

// A line of script output as two runs are compared. The rows of an unsorted list come in
// the order of the statement that loaded them, which SQL leaves to the engine's plan when
// the statement has no ORDER BY (a GROUP BY may hash on PostgreSQL): such rows are put in
// key order first. Every other line is compared exactly as written.
inline QString comparableLine(const QString &line)
{
    QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
    const QJsonValue sorted = object.value(QStringLiteral("sorted"));
    if (!sorted.isBool() || sorted.toBool() || !object.value(QStringLiteral("rows")).isArray())
        return line;
    QJsonArray rows = object.value(QStringLiteral("rows")).toArray();
    QList<QJsonValue> byKey(rows.begin(), rows.end());
    std::stable_sort(byKey.begin(), byKey.end(), [](const QJsonValue &a, const QJsonValue &b) {
        return a[QLatin1String("key")].toString() < b[QLatin1String("key")].toString();
    });
    rows = QJsonArray();
    for (const QJsonValue &row : byKey)
        rows.append(row);
    object.insert(QStringLiteral("rows"), rows);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// An `sql` line whose rows depend on the plan: several rows and no ORDER BY. The script
// must say the order, or its kept output holds for one engine only by chance.
inline bool isUnorderedSqlResult(const QString &line)
{
    const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
    return object.value(QStringLiteral("sql")).isString() && object.value(QStringLiteral("rows")).toArray().size() > 1
        && !object.value(QStringLiteral("sql")).toString().contains(QLatin1String("ORDER BY"), Qt::CaseInsensitive);
}

} // namespace zentaro::test
