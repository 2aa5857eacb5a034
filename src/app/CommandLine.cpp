#include "CommandLine.h"

namespace zentaro::app {

CommandLine CommandLine::parse(const QStringList &words, const QStringList &flags, const QStringList &commands)
{
    CommandLine line;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (word.startsWith(QLatin1String("--"))) {
            const QString name = word.mid(2);
            if (flags.contains(name) || i + 1 >= words.size()) {
                line.options.insert(name, QString());
            } else {
                line.options.insert(name, words.at(++i));
                line.repeated[name] << words.at(i);
            }
        } else if (i == 0 && commands.contains(word)) {
            line.command = word;
        } else {
            line.arguments << word;
        }
    }
    return line;
}

QStringList CommandLine::values(const QString &name) const
{
    QStringList all;
    for (const QString &value : repeated.value(name))
        for (const QString &part : value.split(u',', Qt::SkipEmptyParts))
            all << part.trimmed();
    return all;
}

} // namespace zentaro::app
