#pragma once

#include <QString>

namespace zentaro {

// The suite's output of a stored invoice, as the screens call it after signing and from
// their output command. The profile (Utilities::OutputProfile) chooses where it goes:
//   "PREVIEW"  a print preview, when a user is at the screen;
//   "PRINT"    the default printer, when a user is at the screen;
//   anything else, and both above without a user: a PDF named after the folio in the
//   issuer's folder (its RFC) of the documents folder (ZENTARO_OUTPUT_DIR, or
//   Documents/Zentaro), reported through the presenter.
// Errors throw zentaro::Error with a Spanish sentence.
class DocumentOutput
{
public:
    void Produce(const QString &profile, const QString &folio, const QString &text, int copies, int flags,
                 const QString &printer);

    // Writes the invoice's PDF into `folder` (the issuer's folder when empty) and gives its
    // path; nothing is reported. A stamped invoice's PDF is kept for its mail (LastPrintedPdf).
    QString writePdf(const QString &folio, const QString &folder = {});
    // The PDF of the invoice in memory, for attachments.
    QByteArray pdf(const QString &folio);

    static QString documentsFolder();
    // Where the documents of the issuer of that RFC go: a folder of the documents folder.
    static QString issuerFolder(const QString &issuerRfc);
};

} // namespace zentaro
