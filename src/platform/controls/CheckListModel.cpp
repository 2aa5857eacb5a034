#include "platform/controls/CheckListModel.h"

#include "platform/controls/TextFormats.h"
#include "platform/core/Error.h"

#include <QMetaObject>

#include <QLatin1StringView>

#include <algorithm>
#include <array>
#include <iterator>
#include <numeric>
#include <type_traits>

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
    m_keys.spans.reserve(n);
    m_checked.reserve(n);
    for (TextColumn &column : m_columns)
        column.spans.reserve(n);
    while (m_index.size() < 2 * n)
        growIndex();
}

int CheckListModel::addRow(const QString &key, const QString &text)
{
    if (2 * (m_checked.size() + 1) > m_index.size())
        growIndex();
    const auto hash = std::uint32_t(qHash(QStringView(key)));
    const int slot = findSlot(key, hash);
    if (m_index[std::size_t(slot)] != kFreeSlot)
        throw Error(QStringLiteral("La clave ya existe en la colección"));
    ensureColumns(std::max(headerCount(), 1));
    const int row = storedRows();
    m_keys.spans.emplace_back();
    m_keys.store(row, key);
    m_checked.push_back(0);
    for (TextColumn &column : m_columns)
        column.spans.emplace_back();
    m_columns[0].store(row, text);
    m_index[std::size_t(slot)] = std::uint64_t(hash) << 32 | std::uint32_t(row);
    schedulePublish();
    return row;
}

void CheckListModel::setCell(int row, int column, const QString &text)
{
    ensureColumns(column + 1);
    const bool summed = isChecked(row) && std::find(m_summed.begin(), m_summed.end(), column) != m_summed.end();
    if (summed)
        countRow(row, -1);
    m_columns[std::size_t(column)].store(row, text);
    if (summed)
        countRow(row, +1);
    markDirty(row, column);
}

QString CheckListModel::cell(int row, int column) const
{
    if (column < 0 || column >= storedColumns())
        return {};
    return m_columns[std::size_t(column)].text(row);
}

int CheckListModel::rowOfKey(const QString &key) const
{
    if (m_index.empty())
        return -1;
    const std::uint64_t entry = m_index[std::size_t(findSlot(key, std::uint32_t(qHash(QStringView(key)))))];
    return entry == kFreeSlot ? -1 : int(std::uint32_t(entry));
}

// A slot holds the key's hash in its upper half and the row in its lower half, so that
// probing compares texts only when the hashes agree.
int CheckListModel::findSlot(QStringView key, std::uint32_t hash) const
{
    const std::size_t mask = m_index.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = m_index[slot];
        if (entry == kFreeSlot || (std::uint32_t(entry >> 32) == hash && m_keys.equals(int(std::uint32_t(entry)), key)))
            return int(slot);
    }
}

void CheckListModel::growIndex()
{
    std::vector<std::uint64_t> old(std::max<std::size_t>(16, m_index.size() * 2), kFreeSlot);
    old.swap(m_index);
    const std::size_t mask = m_index.size() - 1;
    for (const std::uint64_t entry : old) {
        if (entry == kFreeSlot)
            continue;
        std::size_t slot = std::size_t(entry >> 32) & mask;
        while (m_index[slot] != kFreeSlot)
            slot = (slot + 1) & mask;
        m_index[slot] = entry;
    }
}

void CheckListModel::clearRows()
{
    beginResetModel();
    m_keys = TextColumn();
    std::vector<std::uint8_t>().swap(m_checked);
    for (TextColumn &column : m_columns)
        column = TextColumn();
    std::vector<std::uint64_t>().swap(m_index);
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

    // Comparing in the column buffer: no string is built while sorting. Latin-1 texts are
    // compared by their case-folded characters, as QStringView compares without case.
    const TextColumn &store = m_columns[std::size_t(column)];
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    const auto sortBy = [&](auto less) {
        if (ascending)
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return less(a, b); });
        else
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return less(b, a); });
    };
    if (store.wide) {
        sortBy([&store](int a, int b) {
            const Span x = store.spans[std::size_t(a)], y = store.spans[std::size_t(b)];
            return QStringView(store.chars16.data() + x.offset, qsizetype(x.length))
                       .compare(QStringView(store.chars16.data() + y.offset, qsizetype(y.length)), Qt::CaseInsensitive)
                   < 0;
        });
    } else {
        static const std::array<char16_t, 256> folded = [] {
            std::array<char16_t, 256> table {};
            for (int c = 0; c < 256; ++c)
                table[std::size_t(c)] = QChar(char16_t(c)).toCaseFolded().unicode();
            return table;
        }();
        sortBy([&store](int a, int b) {
            const Span x = store.spans[std::size_t(a)], y = store.spans[std::size_t(b)];
            const auto *p = reinterpret_cast<const unsigned char *>(store.chars8.data()) + x.offset;
            const auto *q = reinterpret_cast<const unsigned char *>(store.chars8.data()) + y.offset;
            const std::uint32_t common = std::min(x.length, y.length);
            for (std::uint32_t i = 0; i < common; ++i)
                if (folded[p[i]] != folded[q[i]])
                    return folded[p[i]] < folded[q[i]];
            return x.length < y.length;
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

    std::vector<std::uint8_t> checked(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        checked[std::size_t(i)] = m_checked[std::size_t(order[std::size_t(i)])];
    m_checked = std::move(checked);
    for (TextColumn *textColumn : {&m_keys}) {
        std::vector<Span> spans(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            spans[std::size_t(i)] = textColumn->spans[std::size_t(order[std::size_t(i)])];
        textColumn->spans = std::move(spans);
    }
    for (TextColumn &textColumn : m_columns) {
        std::vector<Span> spans(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            spans[std::size_t(i)] = textColumn.spans[std::size_t(order[std::size_t(i)])];
        textColumn.spans = std::move(spans);
    }
    // The key index follows the rows without rehashing a single key.
    for (std::uint64_t &entry : m_index)
        if (entry != kFreeSlot)
            entry = (entry & ~std::uint64_t(0xffffffff)) | std::uint32_t(newRowOf[std::size_t(std::uint32_t(entry))]);

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
        column.spans.resize(m_checked.size());
        m_columns.push_back(std::move(column));
    }
}

QString CheckListModel::TextColumn::text(int row) const
{
    const Span span = spans[std::size_t(row)];
    if (span.length == 0)
        return {};
    if (wide)
        return QString(reinterpret_cast<const QChar *>(chars16.data() + span.offset), qsizetype(span.length));
    return QString::fromLatin1(chars8.data() + span.offset, qsizetype(span.length));
}

bool CheckListModel::TextColumn::equals(int row, QStringView other) const
{
    const Span span = spans[std::size_t(row)];
    if (span.length != std::uint32_t(other.size()))
        return false;
    if (wide)
        return QStringView(chars16.data() + span.offset, qsizetype(span.length)) == other;
    return QLatin1StringView(chars8.data() + span.offset, qsizetype(span.length)) == other;
}

void CheckListModel::TextColumn::store(int row, QStringView text)
{
    if (!wide && std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xff; }))
        widen();
    Span &span = spans[std::size_t(row)];
    const auto length = std::uint32_t(text.size());
    const auto write = [&](auto &chars) {
        using Char = typename std::decay_t<decltype(chars)>::value_type;
        if (length <= span.length) {
            // Shorter or equal: written over the old text.
            std::transform(text.begin(), text.end(), chars.begin() + std::ptrdiff_t(span.offset),
                           [](QChar c) { return Char(c.unicode()); });
            garbage += span.length - length;
        } else {
            garbage += span.length;
            span.offset = std::uint32_t(chars.size());
            chars.resize(chars.size() + length);
            std::transform(text.begin(), text.end(), chars.begin() + std::ptrdiff_t(span.offset),
                           [](QChar c) { return Char(c.unicode()); });
        }
    };
    if (wide)
        write(chars16);
    else
        write(chars8);
    span.length = length;
    if (garbage > 65536 && garbage > size() / 2)
        compact();
}

void CheckListModel::TextColumn::widen()
{
    chars16.resize(chars8.size());
    std::transform(chars8.begin(), chars8.end(), chars16.begin(),
                   [](char c) { return char16_t(static_cast<unsigned char>(c)); });
    std::vector<char>().swap(chars8);
    wide = true;
}

void CheckListModel::TextColumn::compact()
{
    const auto squeeze = [this](auto &from) {
        std::decay_t<decltype(from)> to;
        to.reserve(from.size() - garbage);
        for (Span &span : spans) {
            const auto offset = std::uint32_t(to.size());
            to.insert(to.end(), from.begin() + std::ptrdiff_t(span.offset),
                      from.begin() + std::ptrdiff_t(span.offset + span.length));
            span.offset = span.length ? offset : 0;
        }
        from = std::move(to);
    };
    if (wide)
        squeeze(chars16);
    else
        squeeze(chars8);
    garbage = 0;
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
