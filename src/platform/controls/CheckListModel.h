#pragma once

#include "platform/core/Decimal.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace zentaro {

// The rows of a CheckList: keys, check marks and cell texts in plain vectors, so that
// 100,000 rows of 14 cells take a few dozen megabytes and load in milliseconds.
//
// Cell texts are kept column by column in one buffer per column (offset and length per
// row) instead of one QString per cell: that saves the per-string allocation and header,
// which would otherwise dominate the memory of short texts. A column holds one byte per
// character while its texts are Latin-1 (folios, amounts, dates, Spanish names) and turns
// to UTF-16 at its first text that is not. Keys are kept the same way, found through an
// open-addressing table of hashes and row numbers: a million rows of 14 cells take about
// 300 MB, not the half gigabyte that a QString and a hash node per key and a UTF-16 text
// per cell took.
//
// Loading is batched: addRow() and setCell() on rows the views have not been told about
// only touch the vectors; the views learn of the new rows in one rowsInserted when control
// returns to the event loop, or earlier when anything that needs the views in step calls
// publish() (sorting, selecting, check marks, clearing). Changes of cells already shown are
// collected into one dataChanged the same way. rowCount() answers the rows published so
// far, so the views and the model never disagree; storedRows() answers every row.
class CheckListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit CheckListModel(QObject *parent = nullptr);

    // Columns (headers)
    void addColumn(const QString &header, Qt::Alignment alignment);
    int headerCount() const { return int(m_headers.size()); }
    QString header(int column) const { return m_headers.value(column); }
    Qt::Alignment alignment(int column) const;

    // Rows. Row and column indexes must be valid (the caller checks them).
    void reserve(int rows);
    // Throws zentaro::Error for a duplicate key.
    int addRow(const QString &key, const QString &text);
    void setCell(int row, int column, const QString &text);
    // Columns holding any text: at least the headers, more when code set cells beyond them.
    int storedColumns() const { return int(m_columns.size()); }
    int storedRows() const { return int(m_checked.size()); }
    QString key(int row) const { return m_keys.text(row); }
    QString cell(int row, int column) const;
    bool isChecked(int row) const { return m_checked[std::size_t(row)] != 0; }
    int rowOfKey(const QString &key) const;
    void clearRows();

    // A check mark set by code: dataChanged, nothing else.
    void setChecked(int row, bool checked);
    void setAllChecked(bool checked);
    // A check mark changed by the user (a click on the box, the space bar, a script acting
    // as the user): dataChanged and userChangedCheck when the mark changes.
    bool userSetChecked(int row, bool checked);

    // Stable sort of every row by the text of one column, without regard to case.
    void sortRows(int column, bool ascending);

    // Sums of chosen columns over the checked rows, kept up to date as marks and cells
    // change, so that one mark costs the same however long the list is. A cell is read as
    // amount() reads it. Setting the columns adds up the checked rows once.
    void setSummedColumns(const std::vector<int> &columns);
    const std::vector<int> &summedColumns() const { return m_summed; }
    // The sum of a summed column over the checked rows; none when a checked row's cell in any
    // summed column does not read as a number or a sum left the range (then only adding the
    // rows one by one can say where).
    std::optional<Decimal> checkedSum(int column) const;
    // A cell as a number in the user's locale ("$1,160.00", "0", "1000"); throws
    // zentaro::Error for an empty or non-numeric text.
    Decimal amount(int row, int column) const;

    // Whether the user may change check marks (the list's ContainerActive and Enabled).
    void setUserCheckable(bool on);

    // Tells the views about rows and cell changes collected so far.
    void publish();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void userChangedCheck(int row);

private:
    struct Span
    {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    struct TextColumn
    {
        bool wide = false;                 // UTF-16 in `chars16`, else Latin-1 in `chars8`
        std::vector<char> chars8;
        std::vector<char16_t> chars16;
        std::vector<Span> spans;           // one per row
        std::size_t garbage = 0;           // characters no span points at any more

        QString text(int row) const;
        bool equals(int row, QStringView text) const;
        std::size_t size() const { return wide ? chars16.size() : chars8.size(); }
        void store(int row, QStringView text);
        void widen();
        void compact();
    };

    void ensureColumns(int count);
    // The key index: a power-of-two table, at most half full, of the key's hash and row.
    static constexpr std::uint64_t kFreeSlot = ~std::uint64_t(0);
    int findSlot(QStringView key, std::uint32_t hash) const;
    void growIndex();
    void markDirty(int row, int column);
    // Adds (+1) or takes away (-1) the row's summed cells to or from the sums.
    void countRow(int row, int sign);
    void recount();
    void schedulePublish();

    QStringList m_headers;
    QList<Qt::Alignment> m_alignments;
    TextColumn m_keys;
    std::vector<std::uint8_t> m_checked;
    std::vector<TextColumn> m_columns;
    std::vector<std::uint64_t> m_index;
    bool m_userCheckable = true;

    std::vector<int> m_summed;
    std::vector<Decimal> m_sums;        // one per summed column
    std::int64_t m_unreadable = 0;      // summed cells of checked rows that are not numbers
    bool m_sumsLost = false;            // a sum left the range; reset by recount()

    int m_publishedRows = 0;
    bool m_publishPosted = false;
    // Cells of published rows changed since the last publish (first > last when none).
    int m_dirtyFirstRow = 1, m_dirtyLastRow = 0, m_dirtyFirstColumn = 1, m_dirtyLastColumn = 0;
};

} // namespace zentaro
