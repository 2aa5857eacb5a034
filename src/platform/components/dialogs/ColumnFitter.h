#pragma once

namespace zentaro {

class CheckList;

// Widens every column of a list to its header and contents. The caller hides the columns
// it does not want shown afterwards (width 0).
class ColumnFitter
{
public:
    void FitColumns(CheckList &list);

    // With more rows than this, the widths come from a sample: the first rows (those the
    // clerk sees first) and rows spread evenly over the rest.
    static constexpr int kSampleRows = 2000;
};

} // namespace zentaro
