#pragma once

#include "platform/components/invoicing/InvoiceRecords.h"
#include "platform/core/Decimal.h"

#include <QList>
#include <QSet>
#include <QString>

#include <memory>

namespace zentaro {

class Connection;

// Builds one invoice inside the caller's open transaction: the caller sets the header,
// adds and saves its lines one by one, completes it and finalizes it; the caller commits
// or rolls everything back. Every refusal answers false and explains itself in LastError.
//
// The operations, in the order a caller uses them:
// - Initialize: starts a new invoice on the session's connection.
// - SetHeader: the header (series and number must be the ones the caller reserved).
// - SetOption(copiesSourceDocuments): true when every line copies one source document
//   (a global invoice of notes): each line must name its source, no source may be on two
//   lines, and each paired amount must equal its source's. False for free lines.
// - AddLine / SaveLine: the line is checked and numbered; the first saved line gives the
//   invoice its folio ("<series>-<number, six digits>"), refused when it exists already.
//   A line copies its note's exact amounts; the builder never rounds them.
//   Lines are kept in memory and written together by Complete: a large invoice costs a
//   few statements, not one per line.
// - GetHeader / GetLine: the header with its folio and number text, the last saved line
//   with its identifier.
// - Complete(folio): writes Factura, Factura_Encabezado and the lines. The header's totals
//   are the CFDI's: each line in cents by the rule of NoteBilling.h, with the tax rows the
//   caller wrote under it in Factura_Impuesto, then summed exactly; a line that rule cannot
//   bill is refused.
// - Finalize(folio, bookReceivable): closes the invoice, writes its history and, when
//   asked and its sale condition is of the credit type, books its receivable in
//   Cuenta_Por_Cobrar. A global invoice passes false: its notes carry their own.
class InvoiceBuilderInterface
{
public:
    virtual ~InvoiceBuilderInterface() = default;
    virtual void Initialize() = 0;
    virtual void SetHeader(const InvoiceHeader &header) = 0;
    virtual void SetOption(bool copiesSourceDocuments) = 0;
    virtual void AddLine(const InvoiceLine &line) = 0;
    virtual bool SaveLine() = 0;
    virtual InvoiceHeader GetHeader() const = 0;
    virtual InvoiceLine GetLine() const = 0;
    virtual QString LastError() const = 0;
    virtual bool Complete(const QString &folio) = 0;
    virtual bool Finalize(const QString &folio, bool bookReceivable) = 0;
};

class InvoiceBuilder : public InvoiceBuilderInterface
{
public:
    explicit InvoiceBuilder(Connection &connection);
    ~InvoiceBuilder() override;

    void Initialize() override;
    void SetHeader(const InvoiceHeader &header) override;
    void SetOption(bool copiesSourceDocuments) override;
    void AddLine(const InvoiceLine &line) override;
    bool SaveLine() override;
    InvoiceHeader GetHeader() const override { return m_header; }
    InvoiceLine GetLine() const override { return m_lastSaved; }
    QString LastError() const override { return m_lastError; }
    bool Complete(const QString &folio) override;
    bool Finalize(const QString &folio, bool bookReceivable) override;

    // The header's totals as Complete wrote them: SubTotal, Descuento, SubTotal - Descuento,
    // the transferred taxes and Total of the invoice's CFDI.
    struct Totals
    {
        Decimal list, discount, discounted, tax, net;
    };
    Totals totals() const { return m_totals; }

private:
    struct Product
    {
        QString description;
        bool found = false;
    };
    bool refuse(const QString &message);
    QString checkHeader() const;
    QString checkLine(const InvoiceLine &line);
    QString addUpAsTheCfdi();
    const Product &product(const QString &key);
    bool isCurrent(const QString &folio);
    void writeHeader(const QString &table);
    void writeLines();

    Connection &m_connection;
    InvoiceHeader m_header;
    bool m_copiesSources = false;
    bool m_hasPending = false;
    InvoiceLine m_pending;
    InvoiceLine m_lastSaved;
    QList<InvoiceLine> m_lines;
    QSet<QString> m_sources;
    QHash<QString, Product> m_products;
    Totals m_totals;
    bool m_completed = false;
    bool m_finalized = false;
    QString m_lastError;
};

} // namespace zentaro
