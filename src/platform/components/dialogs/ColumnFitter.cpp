#include "platform/components/dialogs/ColumnFitter.h"

#include "platform/controls/CheckList.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>

#include <algorithm>

namespace zentaro {

namespace {

// Room for the cell's margins and the header's sort arrow.
constexpr int kCellPadding = 16;
constexpr int kHeaderPadding = 24;
// A long description should not push the other columns out of sight.
constexpr int kMaxWidth = 600;
// Wide letters make a shorter text wider now and then; a few candidates cover that.
constexpr int kMeasuredPerColumn = 8;

QList<int> sampleRows(int count)
{
    QList<int> rows;
    if (count <= ColumnFitter::kSampleRows) {
        rows.reserve(count);
        for (int row = 0; row < count; ++row)
            rows.append(row);
        return rows;
    }
    const int head = ColumnFitter::kSampleRows / 4;
    const int spread = ColumnFitter::kSampleRows - head;
    rows.reserve(ColumnFitter::kSampleRows);
    for (int row = 0; row < head; ++row)
        rows.append(row);
    const double step = double(count - head) / spread;
    for (int i = 0; i < spread; ++i)
        rows.append(head + int(i * step));
    return rows;
}

} // namespace

void ColumnFitter::FitColumns(CheckList &list)
{
    const QHeaderView *header = list.findChild<QHeaderView *>();
    const QFontMetrics headerMetrics = header ? header->fontMetrics() : list.fontMetrics();
    const QFontMetrics cellMetrics = list.fontMetrics();
    const int checkBox = list.style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &list)
                       + list.style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &list);
    const QList<int> rows = sampleRows(list.count());

    for (int column = 0; column < list.columnCount(); ++column) {
        const QString title = header ? header->model()->headerData(column, Qt::Horizontal).toString() : QString();
        // The header's own hint knows what the style adds (a title is drawn bold when its
        // section is highlighted); a hidden section has none and keeps the estimate.
        int width = std::max(headerMetrics.horizontalAdvance(title) + kHeaderPadding,
                             header ? header->sectionSizeHint(column) : 0);
        // Shaping text is what costs: only the longest texts of the sample are measured.
        QList<QString> longest;
        for (const int row : rows) {
            const QString text = list.cell(row, column);
            if (longest.size() < kMeasuredPerColumn || text.size() > longest.last().size()) {
                const auto at = std::upper_bound(longest.begin(), longest.end(), text,
                                                 [](const QString &a, const QString &b) { return a.size() > b.size(); });
                longest.insert(at, text);
                if (longest.size() > kMeasuredPerColumn)
                    longest.removeLast();
            }
        }
        int widest = 0;
        for (const QString &text : longest)
            widest = std::max(widest, cellMetrics.horizontalAdvance(text));
        if (!rows.isEmpty())
            width = std::max(width, widest + kCellPadding + (column == 0 ? checkBox : 0));
        list.setColumnWidth(column, std::min(width, kMaxWidth));
    }
}

} // namespace zentaro
