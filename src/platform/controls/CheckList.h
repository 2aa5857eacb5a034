#pragma once

#include "platform/controls/ScriptableControl.h"
#include "platform/core/Decimal.h"
#include "platform/core/GroupedControl.h"

#include <QWidget>

#include <optional>
#include <vector>

namespace zentaro {

class CheckListModel;

// The list view with check boxes, on model/view (a QAbstractTableModel) so that 100,000
// rows load, scroll and sort smoothly. Rows have a unique key, a text (column 0), sub-items
// and a check mark. Setting check marks from code raises no event; a user's change of one
// mark raises itemCheck once. Columns have headers, widths (0 hides) and alignment.
// Sorting compares cell texts. Multiple selection keeps one selected (current) item.
class CheckList : public QWidget, public GroupedControl, public ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QString Tag READ tag WRITE setTag)
    Q_PROPERTY(bool ContainerActive READ containerActive WRITE setContainerActive)
    Q_PROPERTY(int Count READ count)

public:
    explicit CheckList(QWidget *parent = nullptr);

    // Columns
    void addColumn(const QString &header, int widthPixels, Qt::Alignment alignment = Qt::AlignLeft);
    int columnCount() const;
    int columnWidth(int column) const;
    void setColumnWidth(int column, int widthPixels);

    // Rows. addRow throws zentaro::Error ("La clave ya existe en la colección") for a
    // duplicate key. Cells beyond the text are set with setCell.
    int addRow(const QString &key, const QString &text);
    void setCell(int row, int column, const QString &text);
    void reserve(int rows);
    int count() const;
    void clear();
    QString key(int row) const;
    QString text(int row) const;       // column 0
    QString cell(int row, int column) const;
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);   // from code: no event
    void setAllChecked(bool checked);          // from code: no event
    int rowOfKey(const QString &key) const;    // -1 when absent

    // Running sums of some columns over the checked rows: one mark changes them by one row,
    // whatever the length of the list. A cell reads as amount() reads it. checkedSum has no
    // value while a checked row's summed cell does not read as a number (adding the rows one
    // by one then says which) or for a column that is not summed.
    void setSummedColumns(const std::vector<int> &columns);
    const std::vector<int> &summedColumns() const;
    std::optional<Decimal> checkedSum(int column) const;
    // A cell read as a number in the user's locale; throws zentaro::Error when it is not one.
    Decimal amount(int row, int column) const;

    // Selection: the selected item is the current row, -1 when none.
    int selectedItem() const;
    QList<int> selectedRows() const;
    void selectRows(const QList<int> &rows);   // the first becomes the selected item

    // Sorting by cell text of a column (0-based sort key).
    int sortKey() const;
    void setSortKey(int column);
    bool sortAscending() const;
    void setSortAscending(bool ascending);
    bool sorted() const;
    void setSorted(bool on);

    // The screen's flag that lets the user work with the list.
    bool containerActive() const;
    void setContainerActive(bool on);

    QString tag() const override;
    void setTag(const QString &tag) override;
    void clearContent() override;   // removes every row
    void unlock() override;

    void scriptCheck(const QString &key, bool on) override;
    void scriptSelect(const QStringList &keys) override;
    void scriptKey(int keyCode, int shift) override;
    // A click on the header of a column, 1-based.
    void scriptClick(const QString &button) override;
    OrderedJson scriptListState() const override;

signals:
    void itemCheck(int row);
    // Key events with the suite's key codes; set keyCode to 0 to swallow the key.
    void keyDown(int &keyCode, int shift);
    // A click on a column header, 1-based as the suite counts columns.
    void columnClick(int column);

private:
    struct Private;
    Private *d;
};

} // namespace zentaro
