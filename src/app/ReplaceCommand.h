#pragma once

namespace zentaro::app {

struct CommandLine;

// zentaro replace FOLIO [--db URL] [--user CLAVE]: replaces a stamped global invoice (SAT
// motive 01) as a clerk does it on the screen: opens the invoice without a window and
// presses Eliminar with motive 01, so the host's validation makes the replacement, has it
// stamped and the old one cancelled at the SAT, and the screen cancels the old one when
// the SAT did. Run again, it goes on from where the last run (or the clerk) stopped. One
// JSON line per step recorded in the invoices' history, then the result; answers 0 when the
// invoice is replaced or its cancellation is in process at the SAT, 1 otherwise.
int runReplace(const CommandLine &line);

} // namespace zentaro::app
