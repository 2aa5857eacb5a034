// The check marks are the selection: the fifteen totals follow them, the mark-all boxes
// and the space bar change many at once, and the checked folios become the folio list
// that the invoice statements put in their IN lists.

#include "qx417/screen/frmQX417.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/KeyBox.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/TextFormats.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Decimal.h"
#include "platform/db/SqlLiteral.h"

#include <optional>
#include <vector>

namespace qx417 {

using zentaro::Decimal;

namespace {

const QString kMarkAll = QStringLiteral("Marcar todos");
const QString kUnmarkAll = QStringLiteral("Desmarcar todos");

struct ListTotals
{
    Decimal amount;           // column 6, "Importe"
    Decimal globalDiscount;   // column 7
    Decimal tax;              // column 5, "Impuesto"
    Decimal listAmount;       // column 9, "Suma importe"
};

// The columns the totals add up; the lists keep their sums over the checked rows as the
// marks change, so that one mark does not go through every row of a long list.
const std::vector<int> kSummedColumns {6, 7, 5, 9};

// The list's running sums, or none when only adding its rows one by one can tell (a cell
// that is not a number, which must then be reported with what was added before it).
std::optional<ListTotals> runningTotals(zentaro::CheckList &list)
{
    if (list.summedColumns() != kSummedColumns)
        list.setSummedColumns(kSummedColumns);
    const auto amount = list.checkedSum(6), globalDiscount = list.checkedSum(7), tax = list.checkedSum(5),
               listAmount = list.checkedSum(9);
    if (!amount || !globalDiscount || !tax || !listAmount)
        return std::nullopt;
    return ListTotals {*amount, *globalDiscount, *tax, *listAmount};
}

void write(zentaro::KeyBox *amount, zentaro::KeyBox *globalDiscount, zentaro::KeyBox *tax, zentaro::KeyBox *listAmount,
           const ListTotals &totals)
{
    amount->setValue(totals.amount.toDouble());
    globalDiscount->setValue(totals.globalDiscount.toDouble());
    tax->setValue(totals.tax.toDouble());
    listAmount->setValue(totals.listAmount.toDouble());
}

} // namespace

void frmQX417::CalculaTotales()
{
    ListTotals notes, returns;
    // The sums run in local variables; should a cell not read as a number, what was added
    // up to then is written to the boxes before the error is reported.
    const auto writeSoFar = [&] {
        write(txtTotal, txtDescuento_Global, txtImpuestos, txtSuma, notes);
        write(txtDevTotal, txtDevDescuento_Global, txtDevImpuestos, txtDevSuma, returns);
    };
    const auto add = [](const zentaro::CheckList &list, ListTotals &totals) {
        for (int row = 0; row < list.count(); ++row) {
            if (!list.isChecked(row))
                continue;
            totals.amount += list.amount(row, 6);
            totals.globalDiscount += list.amount(row, 7);
            totals.tax += list.amount(row, 5);
            totals.listAmount += list.amount(row, 9);
        }
    };
    trapped(QStringLiteral("CalculaTotales()"), QStringLiteral("ERR-ID:7500044"), [&] {
        const std::optional<ListTotals> notesSoFar = runningTotals(*lvNotas), returnsSoFar = runningTotals(*lvDevoluciones);
        try {
            if (notesSoFar && returnsSoFar) {
                notes = *notesSoFar;
                returns = *returnsSoFar;
            } else {
                add(*lvNotas, notes);
                add(*lvDevoluciones, returns);
            }
        } catch (...) {
            writeSoFar();
            throw;
        }
        writeSoFar();
        txtFacSuma->setValue((notes.listAmount - returns.listAmount).toDouble());
        txtFacDescuento_Global->setValue((notes.globalDiscount - returns.globalDiscount).toDouble());
        txtFacImpuestos->setValue((notes.tax - returns.tax).toDouble());
        txtFacTotal->setValue((notes.amount - returns.amount).toDouble());
        txtSubtotal->setValue((notes.amount - notes.tax).toDouble());
        txtDevSubtotal->setValue((returns.amount - returns.tax).toDouble());
        txtFacSubtotal->setValue(((notes.amount - returns.amount) - (notes.tax - returns.tax)).toDouble());
    });
}

void frmQX417::chkMarcarN_Click()
{
    marcarTodos(lvNotas, chkMarcarN, "chkMarcarN_Click()", "ERR-ID:7500004");
}

void frmQX417::chkMarcarD_Click()
{
    marcarTodos(lvDevoluciones, chkMarcarD, "chkMarcarD_Click()", "ERR-ID:7500003");
}

void frmQX417::marcarTodos(zentaro::CheckList *list, zentaro::CheckBox *check, const char *title, const char *errorId)
{
    if (!Controles->isNew() || list->count() == 0)
        return;
    trapped(QLatin1String(title), QLatin1String(errorId), [&] {
        list->setAllChecked(check->text() == kMarkAll);
        check->setText(check->text() == kMarkAll ? kUnmarkAll : kMarkAll);
        CalculaTotales();
    });
}

void frmQX417::lista_KeyDown(zentaro::CheckList *list, int &keyCode, int shift)
{
    Q_UNUSED(shift);
    if (keyCode != 32)
        return;
    keyCode = 0;   // the list must not toggle the focused row itself
    const int selected = list->selectedItem();
    if (selected >= 0) {
        const bool checked = !list->isChecked(selected);
        for (int row : list->selectedRows())
            list->setChecked(row, checked);
    }
    CalculaTotales();
}

void frmQX417::lvNotas_ColumnClick(int column)
{
    lvNotas->setSortKey(column - 1);
    lvNotas->setSorted(true);
    lvNotas->setSortAscending(!lvNotas->sortAscending());
}

QString frmQX417::Notas_Seleccionadas(const QString &Tipo)
{
    QString result;
    trapped(QStringLiteral("Notas_Seleccionadas()"), QStringLiteral("ERR-ID:7500001"), [&] {
        const zentaro::CheckList *list = Tipo == QLatin1String("VE") ? lvNotas : lvDevoluciones;
        for (int row = 0; row < list->count(); ++row) {
            const QString text = list->text(row);
            if (!list->isChecked(row))
                continue;
            if (!result.isEmpty())
                result += QStringLiteral(", ");
            result += zentaro::sql::quoted(text);
        }
    });
    return result;
}

} // namespace qx417
