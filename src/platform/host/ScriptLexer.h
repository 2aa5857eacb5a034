#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zentaro {

// Splits one script line into its words: blanks separate them, "#" outside quotes starts
// a comment, and a word in double quotes may hold blanks, \", \\ and \n. Answers nullopt
// (with `error` set) for an unterminated quote.
std::optional<QStringList> splitScriptLine(const QString &line, QString *error);

} // namespace zentaro
