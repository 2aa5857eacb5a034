#include "platform/controls/CheckListModel.h"

#include "platform/controls/TextFormats.h"
#include "platform/core/Error.h"

#include <QMetaObject>

#include <algorithm>
#include <numeric>

namespace zentaro {

CheckListModel::CheckListModel(QObject *parent) : QAbstractTableModel(parent) {}

void CheckListModel::addColumn(const QString &header, Qt::Alignment alignment)
{
    const int column = headerCount();
    beginInsertColumns({}, column, column);
    m_headers.append(header);
    m_alignments.append(alignment);
    ensureColumns(headerCount());
    endInsertColumns();
}

Qt::Alignment CheckListModel::alignment(int column) const
{
    return column >= 0 && column < m_alignments.size() ? m_alignments[column] : Qt::Alignment(Qt::AlignLeft);
}

void CheckListModel::reserve(int rows)
{
    if (rows <= 0)
        return;
    const auto n = std::size_t(rows);
    m_keys.reserve(n);
    m_checked.reserve(n);
    m_rowOfKey.reserve(rows);
    for (TextColumn &column : m_columns)
        column.spans.reserve(n);
}

int CheckListModel::addRow(const QString &key, const QString &text)
{
    if (m_rowOfKey.contains(key))
        throw Error(QStringLiteral("La clave ya existe en la colección"));
    ensureColumns(std::max(headerCount(), 1));
    const int row = storedRows();
    m_keys.push_back(key);
    m_checked.push_back(0);
    for (TextColumn &column : m_columns)
        column.spans.emplace_back();
    storeText(m_columns[0], row, text);
    m_rowOfKey.insert(key, row);
    schedulePublish();
    return row;
}

void CheckListModel::setCell(int row, int column, const QString &text)
{
    ensureColumns(column + 1);
    const bool summed = isChecked(row) && std::find(m_summed.begin(), m_summed.end(), column) != m_summed.end();
    if (summed)
        countRow(row, -1);
    storeText(m_columns[std::size_t(column)], row, text);
    if (summed)
        countRow(row, +1);
    markDirty(row, column);
}

QStringView CheckListModel::cellView(int row, int column) const
{
    if (column < 0 || column >= storedColumns())
        return {};
    const TextColumn &store = m_columns[std::size_t(column)];
    const Span span = store.spans[std::size_t(row)];
    if (span.length == 0)
        return {};
    return QStringView(store.chars.data() + span.offset, qsizetype(span.length));
}

void CheckListModel::clearRows()
{
    beginResetModel();
    std::vector<QString>().swap(m_keys);
    std::vector<std::uint8_t>().swap(m_checked);
    for (TextColumn &column : m_columns)
        column = TextColumn();
    m_rowOfKey = {};
    std::fill(m_sums.begin(), m_sums.end(), Decimal());
    m_unreadable = 0;
    m_sumsLost = false;
    m_publishedRows = 0;
    m_dirtyFirstRow = m_dirtyFirstColumn = 1;
    m_dirtyLastRow = m_dirtyLastColumn = 0;
    endResetModel();
}

void CheckListModel::setChecked(int row, bool checked)
{
    publish();
    auto &mark = m_checked[std::size_t(row)];
    if (bool(mark) == checked)
        return;
    mark = checked ? 1 : 0;
    countRow(row, checked ? +1 : -1);
    const QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void CheckListModel::setAllChecked(bool checked)
{
    publish();
    std::fill(m_checked.begin(), m_checked.end(), std::uint8_t(checked ? 1 : 0));
    recount();
    if (m_publishedRows > 0 && headerCount() > 0)
        emit dataChanged(index(0, 0), index(m_publishedRows - 1, 0), {Qt::CheckStateRole});
}

bool CheckListModel::userSetChecked(int row, bool checked)
{
    publish();
    auto &mark = m_checked[std::size_t(row)];
    if (bool(mark) == checked)
        return false;
    mark = checked ? 1 : 0;
    countRow(row, checked ? +1 : -1);
    if (headerCount() > 0) {
        const QModelIndex cell = index(row, 0);
        emit dataChanged(cell, cell, {Qt::CheckStateRole});
    }
    emit userChangedCheck(row);
    return true;
}

void CheckListModel::sortRows(int column, bool ascending)
{
    publish();
    const int n = storedRows();
    if (n < 2 || column < 0 || column >= storedColumns())
        return;   // an empty column sorts to the order the rows already have

    // Comparing views into the column buffer: no string is built while sorting.
    const TextColumn &store = m_columns[std::size_t(column)];
    auto textOf = [&store](int row) {
        const Span span = store.spans[std::size_t(row)];
        return QStringView(store.chars.data() + span.offset, qsizetype(span.length));
    };
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    if (ascending) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return textOf(a).compare(textOf(b), Qt::CaseInsensitive) < 0;
        });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return textOf(b).compare(textOf(a), Qt::CaseInsensitive) < 0;
        });
    }
    bool identity = true;
    for (int i = 0; i < n && identity; ++i)
        identity = order[std::size_t(i)] == i;
    if (identity)
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        newRowOf[std::size_t(order[std::size_t(i)])] = i;

    std::vector<QString> keys(static_cast<std::size_t>(n));
    std::vector<std::uint8_t> checked(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto from = std::size_t(order[std::size_t(i)]);
        keys[std::size_t(i)] = std::move(m_keys[from]);
        checked[std::size_t(i)] = m_checked[from];
    }
    m_keys = std::move(keys);
    m_checked = std::move(checked);
    for (TextColumn &textColumn : m_columns) {
        std::vector<Span> spans(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            spans[std::size_t(i)] = textColumn.spans[std::size_t(order[std::size_t(i)])];
        textColumn.spans = std::move(spans);
    }
    // The key index follows the rows without rehashing a single key.
    for (auto it = m_rowOfKey.begin(); it != m_rowOfKey.end(); ++it)
        it.value() = newRowOf[std::size_t(it.value())];

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(index(newRowOf[std::size_t(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CheckListModel::setSummedColumns(const std::vector<int> &columns)
{
    if (columns == m_summed)
        return;
    m_summed = columns;
    recount();
}

std::optional<Decimal> CheckListModel::checkedSum(int column) const
{
    const auto at = std::find(m_summed.begin(), m_summed.end(), column);
    if (at == m_summed.end() || m_unreadable > 0 || m_sumsLost)
        return std::nullopt;
    return m_sums[std::size_t(at - m_summed.begin())];
}

Decimal CheckListModel::amount(int row, int column) const
{
    return Decimal::fromDouble(textformat::readNumber(cell(row, column)));
}

void CheckListModel::countRow(int row, int sign)
{
    if (m_sumsLost)
        return;
    for (std::size_t i = 0; i < m_summed.size(); ++i) {
        Decimal value;
        try {
            value = amount(row, m_summed[i]);
        } catch (const Error &) {
            m_unreadable += sign;
            continue;
        }
        try {
            m_sums[i] = sign > 0 ? m_sums[i] + value : m_sums[i] - value;
        } catch (const Error &) {
            m_sumsLost = true;
            return;
        }
    }
}

void CheckListModel::recount()
{
    m_sums.assign(m_summed.size(), Decimal());
    m_unreadable = 0;
    m_sumsLost = false;
    if (m_summed.empty())
        return;
    const int rows = storedRows();
    for (int row = 0; row < rows && !m_sumsLost; ++row)
        if (m_checked[std::size_t(row)])
            countRow(row, +1);
}

void CheckListModel::setUserCheckable(bool on)
{
    if (m_userCheckable == on)
        return;
    m_userCheckable = on;
    // Flags are not announced by a signal of their own; the views repaint on dataChanged.
    publish();
    if (m_publishedRows > 0 && headerCount() > 0)
        emit dataChanged(index(0, 0), index(m_publishedRows - 1, 0), {Qt::CheckStateRole});
}

void CheckListModel::publish()
{
    const int stored = storedRows();
    if (stored > m_publishedRows) {
        beginInsertRows({}, m_publishedRows, stored - 1);
        m_publishedRows = stored;
        endInsertRows();
    }
    if (m_dirtyFirstRow <= m_dirtyLastRow) {
        const QModelIndex first = index(m_dirtyFirstRow, m_dirtyFirstColumn);
        const QModelIndex last = index(m_dirtyLastRow, m_dirtyLastColumn);
        m_dirtyFirstRow = m_dirtyFirstColumn = 1;
        m_dirtyLastRow = m_dirtyLastColumn = 0;
        emit dataChanged(first, last, {Qt::DisplayRole});
    }
}

int CheckListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_publishedRows;
}

int CheckListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : headerCount();
}

QVariant CheckListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row(), column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cell(row, column);
    case Qt::CheckStateRole:
        if (column == 0)
            return int(isChecked(row) ? Qt::Checked : Qt::Unchecked);
        return {};
    case Qt::TextAlignmentRole:
        return int(alignment(column) | Qt::AlignVCenter);
    default:
        return {};
    }
}

bool CheckListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    // Only the views write here, for a user's click on a check box.
    if (role != Qt::CheckStateRole || !m_userCheckable || !index.isValid() || index.column() != 0
        || index.row() >= m_publishedRows)
        return false;
    userSetChecked(index.row(), value.toInt() == int(Qt::Checked));
    return true;
}

Qt::ItemFlags CheckListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0 && m_userCheckable)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant CheckListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= headerCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_headers[section];
    if (role == Qt::TextAlignmentRole)
        return int(alignment(section) | Qt::AlignVCenter);
    return {};
}

void CheckListModel::ensureColumns(int count)
{
    while (storedColumns() < count) {
        TextColumn column;
        column.spans.resize(m_keys.size());
        m_columns.push_back(std::move(column));
    }
}

void CheckListModel::storeText(TextColumn &column, int row, QStringView text)
{
    Span &span = column.spans[std::size_t(row)];
    const auto length = std::uint32_t(text.size());
    if (length <= span.length) {
        // Shorter or equal: written over the old text.
        std::copy(text.utf16(), text.utf16() + length, column.chars.begin() + std::ptrdiff_t(span.offset));
        column.garbage += span.length - length;
        span.length = length;
    } else {
        column.garbage += span.length;
        span.offset = std::uint32_t(column.chars.size());
        span.length = length;
        column.chars.insert(column.chars.end(), text.utf16(), text.utf16() + length);
    }
    if (column.garbage > 65536 && column.garbage > column.chars.size() / 2)
        compact(column);
}

void CheckListModel::compact(TextColumn &column)
{
    std::vector<char16_t> chars;
    chars.reserve(column.chars.size() - column.garbage);
    for (Span &span : column.spans) {
        const auto offset = std::uint32_t(chars.size());
        chars.insert(chars.end(), column.chars.begin() + std::ptrdiff_t(span.offset),
                     column.chars.begin() + std::ptrdiff_t(span.offset + span.length));
        span.offset = span.length ? offset : 0;
    }
    column.chars = std::move(chars);
    column.garbage = 0;
}

void CheckListModel::markDirty(int row, int column)
{
    if (row >= m_publishedRows || column >= headerCount())
        return;   // the views learn of it when the row is published, or never see the column
    if (m_dirtyFirstRow > m_dirtyLastRow) {
        m_dirtyFirstRow = m_dirtyLastRow = row;
        m_dirtyFirstColumn = m_dirtyLastColumn = column;
    } else {
        m_dirtyFirstRow = std::min(m_dirtyFirstRow, row);
        m_dirtyLastRow = std::max(m_dirtyLastRow, row);
        m_dirtyFirstColumn = std::min(m_dirtyFirstColumn, column);
        m_dirtyLastColumn = std::max(m_dirtyLastColumn, column);
    }
    schedulePublish();
}

void CheckListModel::schedulePublish()
{
    if (m_publishPosted)
        return;
    m_publishPosted = true;
    QMetaObject::invokeMethod(this, [this] {
        m_publishPosted = false;
        publish();
    }, Qt::QueuedConnection);
}

} // namespace zentaro
