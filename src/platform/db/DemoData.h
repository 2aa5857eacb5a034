#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

namespace zentaro {

class Connection;

// The demo company the suite installs with `zentaro init --demo` and the tests start from:
// a Guadalajara business with two branches, customers, sales notes in every state, stored
// global invoices and the configuration the sales and invoicing screens read.
//
// Everything is derived from the seed and the day taken as today, so two databases filled
// with the same options hold the same rows (the one exception is Emisor: its test CSD is
// a fresh RSA key on every fill).
//
// Keys a tester needs:
//   Sucursal      S01 Matriz Guadalajara (CP 44100), S02 Sucursal Zapopan (CP 45010), S09 withdrawn
//   Almacen       A01, A02 (S01), A03 (S02), A09 withdrawn
//   Cliente       PUBLICO (PUBLICO EN GENERAL, XAXX010101000, 616, S01)
//                 C-0001 cash, S01          C-0002 credit 30 d, limit 50,000, S01
//                 C-0003 credit 15 d, S01   C-0004 cash, buys in USD, S01
//                 C-0005 credit 30 d, S02   C-0006 cash, S02
//                 C-0007 credit 15 d, S02   C-0009 withdrawn
//   Usuario       ADMIN (every permission: module '*', key '*'), CAJERO1 (S02/A03, QX417.KEYF2 only)
//   Serie         FG electronic default of S01, FGN non-electronic of S01, FZ electronic default of S02
//   Factura       FG-000001 public, notes of one day (IVA 16 %, 0 %, exempt, IEPS 8 %)
//                 FG-000002 public, the older notes of the month
//                 FG-000003 customer C-0001
//                 FG-000004 customer C-0004 in USD
//                 FZ-000001 public, branch S02
//   Notes         NV-<branch>-000001... over the 30 days before today and today; candidate
//                 notes (state AC, not invoiced) exist today for S01 in MXN.
//
// Key formats in Variable_Configuracion (FTO_SUCURSAL, FTO_CLIENTE, ...) are written
// "<max length>|<case>|<allowed characters>": case U upper, L lower, M as typed; the
// allowed characters are the body of a regular-expression class, e.g. "10|U|A-Z0-9-".
// Vc_Tipo is C (text), N (number) or L (logical, "1"/"0").
namespace demo {

struct Options
{
    quint32 seed = 417;
    QDate today;          // invalid: the computer's date
    int extraNotes = 0;   // candidate notes added on top (addCandidateNotes on today, S01, MXN)
};

// Fills an empty database of the current schema in one transaction (or inside the caller's).
// Throws zentaro::Error when a statement fails; nothing is left behind then.
void fill(Connection &connection, const Options &options = {});

// Adds `count` sales notes that a clerk can invoice: state AC, no invoice, customer
// PUBLICO, on `date`, for `branch` and `currency`, each with one IVA16 tax row (or, with
// `twoRates`, its base split between IVA16 and IVA0: two tax rows). Folios are
// NB-000001, NB-000002, ... continuing after the highest NB folio present. Runs in one
// transaction (or inside the caller's) and writes in batches.
void addCandidateNotes(Connection &connection, int count, quint32 seed, const QDate &date,
                       const QString &branch = QStringLiteral("S01"),
                       const QString &currency = QStringLiteral("MXN"), bool twoRates = false);

} // namespace demo
} // namespace zentaro
