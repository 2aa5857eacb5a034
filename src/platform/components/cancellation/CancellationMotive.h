#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

#include <optional>

namespace zentaro {

// Why an electronic invoice is cancelled, in SAT's words (c_MotivoCancelacion), and for
// motive 01 the UUID of the invoice that replaces it.
struct CancellationMotive
{
    QString code;
    QString replacementUuid;
};

// The SAT motives: code and description, in SAT's order.
const QList<QPair<QString, QString>> &satCancellationMotives();
QString cancellationMotiveText(const QString &code);

// Reads a scripted answer: "CODE" or "CODE|UUID"; "" means the clerk closed the question.
std::optional<CancellationMotive> parseCancellationAnswer(const QString &answer);

// Asks the clerk why `invoiceName` is cancelled. A queued answer "motive" is taken first
// (scripts and tests); otherwise the shell opens a small dialog, and a session without
// a user takes motive 02, SAT's motive for a document issued with errors and not
// replaced. nullopt: the clerk cancelled the question. A `warning` is shown above the
// motives, for the clerk to read before confirming.
std::optional<CancellationMotive> askCancellationMotive(const QString &invoiceName, const QString &warning = {},
                                                        QWidget *parent = nullptr);

} // namespace zentaro
