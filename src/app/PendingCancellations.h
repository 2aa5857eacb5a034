#pragma once

#include <memory>

namespace zentaro {
class Connection;
class JsonLines;
}

namespace zentaro::app {

struct CommandLine;
class ClerkMessages;

// Cancellations the SAT received but had not decided, whose answer was lost, or that the
// SAT cancelled while the invoice's own cancellation was lost: each invoice is opened on
// the screen without a window and Eliminar pressed, as a clerk would finish it (the host's
// validation asks the SAT's status service, the canceller and the screen's two statements
// do the rest). One JSON line per invoice on `out`.
struct CancellationTally
{
    int pending = 0;
    int cancelled = 0;
    int inProcess = 0;
    int failed = 0;
};
CancellationTally finishPendingCancellations(Connection &connection, const std::shared_ptr<ClerkMessages> &messages,
                                             const JsonLines &out);

// zentaro cancellations [--db URL] [--user CLAVE]: the above, then a summary line; answers 0
// only when nothing failed (a cancellation still in process is no failure).
int runPendingCancellations(const CommandLine &line);

} // namespace zentaro::app
