#pragma once

namespace zentaro::app {

struct CommandLine;

// zentaro global-invoice --db URL [--date D | --from D --to D] [--branch CODE]...
// [--currency CODE]... [--dry-run] [--user CODE] [--wait SECONDS]
//
// Makes the period's global invoice of every branch and currency with candidate notes, as a
// clerk makes it on the screen. Prints one JSON line per invoice and a summary line last;
// answers 0 only when every invoice was made (and signed where its series asks for it).
int runGlobalInvoice(const CommandLine &line);

} // namespace zentaro::app
