#include "platform/components/dialogs/ColumnFitter.h"

#include "platform/controls/CheckList.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>

#include <algorithm>

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

// The widths follow the fonts, so they are checked by rule, not by number: in any font,
// each column is at least as wide as Qt's own view and header ask for to show its longest
// text and its title whole (the check box of column 0 included), up to the limit.
struct FontCase
{
    const char *family;
    int points;
};

class ColumnFitterFonts : public ::testing::TestWithParam<FontCase>
{
};

TEST_P(ColumnFitterFonts, EveryColumnShowsItsTitleAndLongestTextWhole)
{
    const QStringList headers {QStringLiteral("Folio"),    QStringLiteral("Cliente"), QStringLiteral("Fecha"),
                               QStringLiteral("Tipo"),     QStringLiteral("Referencia"), QStringLiteral("Impuesto"),
                               QStringLiteral("Importe"),  QStringLiteral("Descuento importe"),
                               QStringLiteral("Vendedor"), QStringLiteral("Documento")};
    CheckList list;
    list.setFont(QFont(QLatin1String(GetParam().family), GetParam().points));
    for (int column = 0; column < headers.size(); ++column)
        list.addColumn(headers[column], 96, column == 5 || column == 6 ? Qt::AlignRight : Qt::AlignLeft);
    for (int i = 0; i < 20; ++i) {
        const int row =
            list.addRow(QStringLiteral("K%1").arg(i), QStringLiteral("NV-S01-%1").arg(170 + i, 6, 10, QChar(u'0')));
        const QStringList cells {
            i == 7 ? QStringLiteral("Distribuidora de Abarrotes y Semillas del Bajío")
                   : QStringLiteral("PUBLICO EN GENERAL"),
            QStringLiteral("06/12/2026"), i % 3 ? QStringLiteral("Contado") : QStringLiteral("Crédito"),
            QStringLiteral("Caja %1").arg(i % 4), QStringLiteral("$%1.71").arg(i * 37),
            QStringLiteral("$%1,731.16").arg(i + 1), QStringLiteral("0"), QStringLiteral("Ana Sofía Martínez Ruiz"),
            QStringLiteral("T-00%1").arg(1394 + i)};
        for (int column = 1; column < headers.size(); ++column)
            list.setCell(row, column, cells[column - 1]);
    }
    list.resize(3000, 1200);   // every row in sight, so that the view measures them all
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    ColumnFitter().FitColumns(list);

    auto *view = list.findChild<QTreeView *>();
    ASSERT_NE(view, nullptr);
    for (int column = 0; column < headers.size(); ++column) {
        const int contents = static_cast<QAbstractItemView *>(view)->sizeHintForColumn(column);
        const int title = view->header()->sectionSizeHint(column);
        EXPECT_GE(list.columnWidth(column), std::min(std::max(contents, title), 600))
            << headers[column].toStdString() << ": contents " << contents << ", title " << title;
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, ColumnFitterFonts,
                         ::testing::Values(FontCase {"DejaVu Sans", 9}, FontCase {"DejaVu Serif", 12},
                                           FontCase {"DejaVu Sans Mono", 10}, FontCase {"Sans Serif", 16}),
                         [](const auto &info) {
                             return QString::fromLatin1(info.param.family).remove(u' ').toStdString()
                                  + std::to_string(info.param.points);
                         });

} // namespace
