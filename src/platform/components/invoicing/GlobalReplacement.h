#pragma once

#include "platform/components/cancellation/CancellationValidator.h"
#include "platform/components/cancellation/SatCancellationRecord.h"

#include <QString>

#include <memory>
#include <optional>

namespace zentaro {

class Connection;

namespace cfdi {
class Pac;
}

// Replaces a stamped global invoice with SAT motive 01. The SAT takes that motive only with
// the UUID of a replacement that relates the old one, and a replacement of a global must
// bill the very notes the old one holds; so the replacement is made first, in one
// transaction that moves the notes to it (the schema's rule admits that move and no other),
// then stamped relating the old UUID (TipoRelacion 04), and only then is the old one's
// cancellation requested, with the replacement's UUID, through the ordinary cancellation
// flow. When the SAT cancels the old invoice, the screen cancels it and finds no note left
// to free. When the SAT refuses, the replacement is cancelled (at the SAT, then in the
// books) and its notes go back to the old one.
//
// Every step is committed on its own and read back from the database, so a process killed
// or a PAC down at any step leaves one of these, and the next Eliminar goes on from it:
//   replacement committed (notes on it, no stamp) -> stamped -> cancellation requested (SO)
//   -> in process (EP) -> cancelled at the SAT (CA) -> the old invoice cancelled in the books.
// At every one of them each note is billed by one invoice only.
class GlobalReplacement
{
public:
    using Decision = CancellationValidator::Decision;

    explicit GlobalReplacement(std::shared_ptr<cfdi::Pac> pac);

    // The live invoice made to replace `folio`; "" when there is none.
    static QString replacementOf(Connection &connection, const QString &folio);
    // The UUID of the invoice `folio` was made to replace; "" when it replaces none.
    static QString uuidReplacedBy(Connection &connection, const QString &folio);
    // "" when `folio` may be cancelled as far as replacements go; else why not: a
    // replacement whose original's cancellation is out at the SAT (or done there) holds
    // the notes the original gave up, and must stay.
    static QString withdrawalProblem(Connection &connection, const QString &folio);
    // Inside the caller's transaction, after `folio` was marked cancelled: when it replaced an
    // invoice still alive, its notes go back to that one. Answers how many notes went back.
    static int returnNotes(Connection &connection, const QString &folio);

    // Checks the old invoice's cancellation deadline again (past it, a replacement already
    // made is withdrawn), makes the replacement when there is none, has it stamped, and records the old
    // invoice's cancellation request (motive 01, the replacement's UUID) in `record`.
    // nullopt when the request is recorded and may be sent; else what the clerk is told.
    std::optional<Decision> prepare(const QString &folio, satcancellation::Record &record);
    // True when the SAT refused the cancellation requested for the live replacement.
    static bool refused(Connection &connection, const satcancellation::Record &record);
    // The SAT refused: cancels the replacement and gives the notes back to `folio`.
    Decision withdraw(const QString &folio, const satcancellation::Record &record);

private:
    QString make(Connection &connection, const QString &folio);
    void cancelInBooks(Connection &connection, const QString &replacement);
    // Cancels the replacement and gives the notes back to `folio`; `refusal` says why first.
    Decision withdrawWith(const QString &folio, const QString &refusal);

    std::shared_ptr<cfdi::Pac> m_pac;
};

} // namespace zentaro
