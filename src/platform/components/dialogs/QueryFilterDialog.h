#pragma once

#include "platform/core/Decimal.h"

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;

namespace zentaro {

class Connection;

// What the clerk narrows the sales notes by. Empty texts and absent amounts do not narrow.
struct DocumentFilter
{
    QString customer;      // Cliente.Cl_Cve_Cliente
    QString salesperson;   // Vendedor.Vn_Cve_Vendedor
    QString route;         // Ruta.Rt_Cve_Ruta (the customer's route)
    QString reference;     // contained in the note's reference, without regard to case
    std::optional<Decimal> minimumAmount;   // the note's net amount, inclusive
    std::optional<Decimal> maximumAmount;
};

// The condition the document query appends after "WHERE ... AND ": the criteria joined by
// AND and followed by a blank, "1 = 1 " without criteria. The query joins Venta_Encabezado
// with Cliente. Throws zentaro::Error for a text holding a quote, so that no text typed by
// the clerk can ever end the literal it goes into.
QString composeFilterCondition(const DocumentFilter &filter);

// Checks the filter against the catalogues and puts every key in the catalogue's own
// spelling; answers "" when the filter can be used, else what is wrong (for the clerk).
QString checkDocumentFilter(Connection &db, DocumentFilter &filter);

// The "Filtro de documentos" dialog. It closes with Aceptar only once the filter checks.
class QueryFilterDialog : public QDialog
{
    Q_OBJECT

public:
    explicit QueryFilterDialog(QWidget *parent = nullptr);

    // The condition of the accepted filter; "" when the clerk cancelled.
    static QString ask(QWidget *parent);

    // The filter accepted; meaningful after exec() answered Accepted.
    const DocumentFilter &filter() const { return m_filter; }

    // Reads the boxes and checks them; false (with the reason shown) when the dialog has to
    // stay open.
    bool tryAccept();

private:
    void describe(QLineEdit *box, QLabel *label, const QString &table, const QString &keyColumn,
                  const QString &descriptionColumn);

    QLineEdit *m_customer = nullptr;
    QLineEdit *m_salesperson = nullptr;
    QLineEdit *m_route = nullptr;
    QLineEdit *m_reference = nullptr;
    QLineEdit *m_minimum = nullptr;
    QLineEdit *m_maximum = nullptr;
    QLabel *m_error = nullptr;
    DocumentFilter m_filter;
};

} // namespace zentaro
