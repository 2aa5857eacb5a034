#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

namespace zentaro {

class Connection;

// A customer asks for a named invoice of a ticket that a stamped global invoice already
// bills. The SAT's procedure for it (its practical cases of cancellation, "operación
// nominativa relacionada en una factura global"; c_MotivoCancelacion 04): cancel the global
// with motive 04, issue the global again without that operation relating the cancelled one
// (TipoRelacion 04), then issue the named invoice. The request is kept in
// Factura_Nominativa, so each step can be taken again after a failure.
namespace namedinvoice {

struct Request
{
    QString note;         // Vn_Folio
    QString customer;     // Cl_Cve_Cliente
    QString global;       // the global that billed the note; "" when none did
    QString globalUuid;
    QString invoice;      // the named invoice, "" until it is made
};

std::optional<Request> find(Connection &connection, const QString &note);

// Writes the request (a new one, or one whose invoice was cancelled) and logs it on the
// global. Inside the caller's transaction when one is open.
void record(Connection &connection, const Request &request);

// What stops a named invoice of `note` to `customer`: an unknown or cancelled note, a
// customer who is not an active taxpayer with RFC, regime, postal code and CFDI use, a note
// without its lines, a product without its SAT key or a unit without its SAT unit, lines
// that do not add up to the note. "" when nothing does.
QString problems(Connection &connection, const QString &note, const QString &customer);

// Called by the canceller of `globalFolio`, in its transaction, before the screen frees the
// notes: a note requested for a named invoice leaves the global but stays invoiced ('FA',
// no folio) until its named invoice takes it, so that no global run bills it meanwhile,
// and it relates no cancelled global (the named invoice replaces nothing).
void holdRequestedNotes(Connection &connection, const QString &globalFolio);

// Makes the named invoice of the request inside the caller's transaction: the branch's
// default series, one line per line of the note with its product, unit and taxes, the note
// billed to it, the request completed. Answers the folio; throws zentaro::Error in
// Spanish, leaving the rollback to the caller.
QString build(Connection &connection, const Request &request, const QDate &date);

} // namespace namedinvoice
} // namespace zentaro
