#include "platform/components/ColumnFitter.h"

#include "platform/controls/CheckList.h"

#include <gtest/gtest.h>

#include <QFontMetrics>


using namespace zentaro;

namespace {

TEST(ColumnFitter, ColumnsFitTheirHeaderAndWidestText)
{
    CheckList list;
    list.addColumn(QStringLiteral("Folio"), 10);
    list.addColumn(QStringLiteral("Razón social del cliente"), 10);
    list.addColumn(QStringLiteral("Importe"), 0);   // hidden before: fitted like the others
    const QString longName = QStringLiteral("Distribuidora de Abarrotes y Semillas del Bajío");
    for (int i = 0; i < 50; ++i) {
        const int row = list.addRow(QStringLiteral("K%1").arg(i), QStringLiteral("N-%1").arg(i));
        list.setCell(row, 1, i == 37 ? longName : QStringLiteral("Cliente %1").arg(i));
        list.setCell(row, 2, QStringLiteral("1,160.00"));
    }
    ColumnFitter().FitColumns(list);
    const QFontMetrics metrics = list.fontMetrics();
    EXPECT_GT(list.columnWidth(0), metrics.horizontalAdvance(QStringLiteral("N-49")));
    EXPECT_GT(list.columnWidth(0), metrics.horizontalAdvance(QStringLiteral("Folio")));
    EXPECT_GT(list.columnWidth(1), metrics.horizontalAdvance(longName));
    EXPECT_GT(list.columnWidth(2), metrics.horizontalAdvance(QStringLiteral("1,160.00")));
    EXPECT_LT(list.columnWidth(2), list.columnWidth(1));
}

TEST(ColumnFitter, EmptyListsFitTheHeadersAndLongTextsStopAtALimit)
{
    CheckList list;
    list.addColumn(QStringLiteral("Descripción"), 5);
    ColumnFitter().FitColumns(list);
    EXPECT_GT(list.columnWidth(0), list.fontMetrics().horizontalAdvance(QStringLiteral("Descripción")));
    list.addRow(QStringLiteral("K"), QString(2000, u'W'));
    ColumnFitter().FitColumns(list);
    EXPECT_LE(list.columnWidth(0), 600);
}

TEST(ColumnFitter, HundredThousandRowsAreSampled)
{
    CheckList list;
    for (int column = 0; column < 14; ++column)
        list.addColumn(QStringLiteral("C%1").arg(column), 40);
    list.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        const int row = list.addRow(QString::number(i), QStringLiteral("F%1").arg(i));
        for (int column = 1; column < 14; ++column)
            list.setCell(row, column, QStringLiteral("texto %1").arg(i % 1000));
    }
    ColumnFitter().FitColumns(list);   // its speed is bench/selection_bench's business
    EXPECT_GE(list.columnWidth(0), list.fontMetrics().horizontalAdvance(QStringLiteral("F99999")));
}

} // namespace
