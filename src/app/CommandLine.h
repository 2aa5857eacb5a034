#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace zentaro::app {

// The words of the command line after the program: a subcommand, its options (--name
// value, or --flag) and its plain arguments.
struct CommandLine
{
    QString command;   // "" for the shell
    QStringList arguments;
    QHash<QString, QString> options;        // the last value of each option
    QHash<QString, QStringList> repeated;   // every value of each option, in order

    // `flags` are the options that take no value; the first word is the subcommand when
    // it is one of `commands`.
    static CommandLine parse(const QStringList &words, const QStringList &flags, const QStringList &commands);
    bool has(const QString &option) const { return options.contains(option); }
    QString option(const QString &name, const QString &fallback = {}) const { return options.value(name, fallback); }
    // Every value given to an option that may be repeated; "S01,S02" counts as two.
    QStringList values(const QString &name) const;
};

} // namespace zentaro::app
