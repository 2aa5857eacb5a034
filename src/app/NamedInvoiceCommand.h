#pragma once

namespace zentaro::app {

struct CommandLine;

// zentaro named-invoice --note FOLIO --customer CODE [--db URL] [--user CODE]
//
// A customer's named invoice of a ticket that a stamped global invoice bills, the way the
// SAT prescribes it: the global's cancellation with motive 04 (through the screen's own
// Eliminar, waiting for the SAT's "Cancelado"), a new global of the other notes relating
// the cancelled one, then the named invoice of the ticket's products, stamped, printed and
// mailed. Every step is committed before the next, so running it again goes on from where
// the last run stopped (a SAT that has not decided yet answers a JSON line that says so).
// One JSON line per step on standard output and a last one with the outcome; answers 0
// when it ended or waits for the SAT, 1 on a failure.
int runNamedInvoice(const CommandLine &line);

} // namespace zentaro::app
