// Loads, checks and sorts a CheckList of rows of 14 cells, as the note selection does with a
// large branch, and prints how long each step took and the peak memory.
//
//   checklist_bench [rows]      (100000 when not given)

#include "BenchSupport.h"

#include "platform/components/dialogs/ColumnFitter.h"
#include "platform/controls/CheckList.h"

#include <QApplication>
#include <QFile>

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}


} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int kRows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    constexpr int kColumns = 14;

    zentaro::CheckList list;
    for (int column = 0; column < kColumns; ++column)
        list.addColumn(QStringLiteral("Columna %1").arg(column), 80);
    list.resize(1000, 600);
    list.show();
    QCoreApplication::processEvents();
    const long baseKb = zentaro::bench::statusKb("VmRSS");
    zentaro::bench::resetPeak();

    auto start = Clock::now();
    list.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        const int row = list.addRow(QStringLiteral("K%1").arg(i),
                                    QStringLiteral("N-%1").arg((i * 7919) % kRows, 6, 10, QChar(u'0')));
        for (int column = 1; column < kColumns; ++column)
            list.setCell(row, column, QStringLiteral("Texto %1").arg((i * column) % 9973));
    }
    QCoreApplication::processEvents();   // the view takes the rows in
    const double loadMs = msSince(start);
    const long loadedKb = zentaro::bench::statusKb("VmRSS");

    const long loadPeakKb = zentaro::bench::statusKb("VmHWM");

    const QString middle = list.key(kRows / 2);
    start = Clock::now();
    list.scriptCheck(middle, true);
    const double oneMarkMs = msSince(start);

    start = Clock::now();
    list.setAllChecked(true);
    QCoreApplication::processEvents();
    const double checkMs = msSince(start);

    list.setSortKey(0);
    start = Clock::now();
    list.setSorted(true);
    QCoreApplication::processEvents();
    const double ascendingMs = msSince(start);

    start = Clock::now();
    list.setSortAscending(false);
    QCoreApplication::processEvents();
    const double descendingMs = msSince(start);

    start = Clock::now();
    list.setSortKey(5);   // many equal texts: the stable sort keeps their order
    QCoreApplication::processEvents();
    const double otherColumnMs = msSince(start);

    start = Clock::now();
    zentaro::ColumnFitter().FitColumns(list);
    const double fitMs = msSince(start);

    std::printf("rows %d x cells %d\n", kRows, kColumns);
    std::printf("load:            %8.1f ms\n", loadMs);
    std::printf("one check mark:  %8.3f ms\n", oneMarkMs);
    std::printf("check all:       %8.1f ms\n", checkMs);
    std::printf("sort ascending:  %8.1f ms\n", ascendingMs);
    std::printf("sort descending: %8.1f ms\n", descendingMs);
    std::printf("sort column 5:   %8.1f ms\n", otherColumnMs);
    std::printf("fit columns:     %8.1f ms\n", fitMs);
    std::printf("rss before load: %8.1f MB\n", baseKb / 1024.0);
    std::printf("rss after load:  %8.1f MB (+%.1f MB)\n", loadedKb / 1024.0, (loadedKb - baseKb) / 1024.0);
    std::printf("peak rss, load:  %8.1f MB (+%.1f MB)\n", loadPeakKb / 1024.0, (loadPeakKb - baseKb) / 1024.0);
    std::printf("peak rss:        %8.1f MB\n", zentaro::bench::statusKb("VmHWM") / 1024.0);
    std::printf("first row:       %s %s\n", qPrintable(list.key(0)), qPrintable(list.text(0)));
    return 0;
}
