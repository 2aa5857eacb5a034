#include "platform/controls/CheckList.h"

#include "platform/core/Error.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeView>

#include <random>

using namespace zentaro;

namespace {

QStringList keysInOrder(const CheckList &list)
{
    QStringList keys;
    for (int row = 0; row < list.count(); ++row)
        keys << list.key(row);
    return keys;
}

class CheckListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        list.addColumn(QStringLiteral("Folio"), 80);
        list.addColumn(QStringLiteral("Cliente"), 120);
        list.addColumn(QStringLiteral("Importe"), 90, Qt::AlignRight);
        // key, folio, customer, amount; customers repeat so that stability shows
        const char16_t *rows[][4] = {
            {u"K1", u"N-003", u"beta", u"30.00"},  {u"K2", u"N-001", u"Alfa", u"10.00"},
            {u"K3", u"N-005", u"alfa", u"50.00"},  {u"K4", u"N-002", u"Gama", u"20.00"},
            {u"K5", u"N-004", u"Beta", u"40.00"},
        };
        for (const auto &row : rows) {
            const int index = list.addRow(QString::fromUtf16(row[0]), QString::fromUtf16(row[1]));
            list.setCell(index, 1, QString::fromUtf16(row[2]));
            list.setCell(index, 2, QString::fromUtf16(row[3]));
        }
        QCoreApplication::processEvents();   // the views learn of the rows
    }
    QTreeView *view() { return list.findChild<QTreeView *>(); }
    QAbstractItemModel *model() { return view()->model(); }

    // Where the user clicks to change the mark of a row.
    QPoint checkBoxCenter(int row)
    {
        QTreeView *tree = view();
        const QModelIndex index = model()->index(row, 0);
        QStyleOptionViewItem option;
        option.initFrom(tree->viewport());
        option.rect = tree->visualRect(index);
        option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = index.data().toString();
        option.checkState = Qt::Unchecked;
        option.showDecorationSelected = true;
        return tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree).center();
    }

    CheckList list;
};

TEST_F(CheckListTest, DuplicateKeysAreRefusedAndLeaveTheListAsItWas)
{
    try {
        list.addRow(QStringLiteral("K3"), QStringLiteral("otra"));
        FAIL() << "duplicate accepted";
    } catch (const Error &error) {
        EXPECT_EQ(error.description(), QStringLiteral("La clave ya existe en la colección"));
    }
    EXPECT_EQ(list.count(), 5);
    EXPECT_EQ(list.rowOfKey(QStringLiteral("K3")), 2);
    EXPECT_EQ(list.text(2), QStringLiteral("N-005"));
    EXPECT_EQ(list.rowOfKey(QStringLiteral("K9")), -1);
    EXPECT_THROW(list.cell(5, 0), Error);
    EXPECT_THROW(list.setCell(-1, 0, QString()), Error);
    EXPECT_THROW(list.setChecked(7, true), Error);
}

TEST_F(CheckListTest, SortingFollowsCellTextBothWaysStablyAndKeepsKeysMarksAndSelection)
{
    list.setChecked(list.rowOfKey(QStringLiteral("K4")), true);
    list.selectRows({list.rowOfKey(QStringLiteral("K5"))});
    struct Case
    {
        int column;
        bool ascending;
        QStringList keys;
    };
    const Case cases[] = {
        {0, true, {QStringLiteral("K2"), QStringLiteral("K4"), QStringLiteral("K1"), QStringLiteral("K5"), QStringLiteral("K3")}},
        {0, false, {QStringLiteral("K3"), QStringLiteral("K5"), QStringLiteral("K1"), QStringLiteral("K4"), QStringLiteral("K2")}},
        // Case does not count; equal texts keep the order they had (the previous sort's).
        {1, true, {QStringLiteral("K3"), QStringLiteral("K2"), QStringLiteral("K5"), QStringLiteral("K1"), QStringLiteral("K4")}},
        {2, false, {QStringLiteral("K3"), QStringLiteral("K5"), QStringLiteral("K1"), QStringLiteral("K4"), QStringLiteral("K2")}},
        {1, false, {QStringLiteral("K4"), QStringLiteral("K5"), QStringLiteral("K1"), QStringLiteral("K3"), QStringLiteral("K2")}},
    };
    list.setSorted(true);
    for (const Case &c : cases) {
        list.setSortKey(c.column);
        list.setSortAscending(c.ascending);
        EXPECT_EQ(keysInOrder(list), c.keys) << "column " << c.column << (c.ascending ? " asc" : " desc");
        for (int row = 0; row < list.count(); ++row) {
            const QString key = list.key(row);
            EXPECT_EQ(list.rowOfKey(key), row);
            EXPECT_EQ(list.isChecked(row), key == QStringLiteral("K4"));
        }
        EXPECT_EQ(list.text(list.rowOfKey(QStringLiteral("K1"))), QStringLiteral("N-003"));
        EXPECT_EQ(list.cell(list.rowOfKey(QStringLiteral("K1")), 2), QStringLiteral("30.00"));
        EXPECT_EQ(list.selectedItem(), list.rowOfKey(QStringLiteral("K5")));
        EXPECT_EQ(list.selectedRows(), QList<int>{list.rowOfKey(QStringLiteral("K5"))});
    }
    // A row added after sorting goes last until the screen sorts again.
    list.addRow(QStringLiteral("K0"), QStringLiteral("N-000"));
    EXPECT_EQ(list.key(5), QStringLiteral("K0"));
    list.setSortKey(0);
    list.setSortAscending(true);
    EXPECT_EQ(list.key(0), QStringLiteral("K0"));
    EXPECT_EQ(list.rowOfKey(QStringLiteral("K0")), 0);
}

TEST_F(CheckListTest, MarksSetByCodeRaiseNoEventWhileTheUsersChangeRaisesOne)
{
    QSignalSpy checks(&list, &CheckList::itemCheck);
    QSignalSpy changes(model(), &QAbstractItemModel::dataChanged);

    list.setChecked(1, true);
    list.setAllChecked(true);
    list.setAllChecked(false);
    EXPECT_EQ(checks.count(), 0);
    EXPECT_EQ(changes.count(), 3);
    EXPECT_FALSE(list.isChecked(1));

    list.scriptCheck(QStringLiteral("K2"), true);
    ASSERT_EQ(checks.count(), 1);
    EXPECT_EQ(checks.takeFirst().at(0).toInt(), 1);
    EXPECT_TRUE(list.isChecked(1));
    list.scriptCheck(QStringLiteral("K2"), true);   // no change, no event
    EXPECT_EQ(checks.count(), 0);
    EXPECT_THROW(list.scriptCheck(QStringLiteral("K9"), true), ScriptRefusal);

    // A real click on the check box of the fourth row.
    list.resize(400, 300);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, checkBoxCenter(3));
    ASSERT_EQ(checks.count(), 1);
    EXPECT_EQ(checks.takeFirst().at(0).toInt(), 3);
    EXPECT_TRUE(list.isChecked(3));

    // Not active: the user changes nothing, and neither does a script acting as the user.
    list.setContainerActive(false);
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, checkBoxCenter(3));
    EXPECT_TRUE(list.isChecked(3));
    EXPECT_THROW(list.scriptCheck(QStringLiteral("K4"), false), ScriptRefusal);
    list.setChecked(3, false);   // code still may
    EXPECT_FALSE(list.isChecked(3));
    EXPECT_EQ(checks.count(), 0);
}

TEST_F(CheckListTest, KeysReachKeyDownFirstAndASwallowedSpaceTogglesNothing)
{
    QSignalSpy checks(&list, &CheckList::itemCheck);
    QList<QPair<int, int>> seen;
    bool swallow = true;
    QObject::connect(&list, &CheckList::keyDown, &list, [&](int &code, int shift) {
        seen.append({code, shift});
        if (swallow && code == 32)
            code = 0;
    });
    list.selectRows({2});

    list.scriptKey(32, 0);
    QTest::keyClick(view(), Qt::Key_Space);
    EXPECT_FALSE(list.isChecked(2));
    EXPECT_EQ(checks.count(), 0);
    EXPECT_EQ(seen, (QList<QPair<int, int>>{{32, 0}, {32, 0}}));

    swallow = false;
    QTest::keyClick(view(), Qt::Key_Space);
    EXPECT_TRUE(list.isChecked(2));
    list.scriptKey(32, 0);
    EXPECT_FALSE(list.isChecked(2));
    EXPECT_EQ(checks.count(), 2);

    // Other keys keep working after keyDown: Down moves the selected item.
    seen.clear();
    QTest::keyClick(view(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(seen, (QList<QPair<int, int>>{{16, 1}, {40, 1}}));   // Shift itself is a key too
    EXPECT_EQ(list.selectedItem(), 3);
    list.scriptKey(113, 2);   // F2 with Ctrl
    EXPECT_EQ(seen.last(), (QPair<int, int>{113, 2}));
}

TEST_F(CheckListTest, ModelStaysConsistentThroughLoadingSortingAndClearing)
{
    QAbstractItemModelTester tester(model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.reserve(2000);
    for (int i = 0; i < 2000; ++i) {
        const int row = list.addRow(QStringLiteral("R%1").arg(i), QStringLiteral("T%1").arg(1999 - i));
        list.setCell(row, 2, QString::number(i % 7));
    }
    EXPECT_EQ(list.count(), 2005);
    QCoreApplication::processEvents();
    EXPECT_EQ(model()->rowCount(), 2005);
    list.setCell(0, 1, QStringLiteral("cambiado"));
    EXPECT_EQ(model()->index(0, 1).data().toString(), QStringLiteral("cambiado"));
    list.setSorted(true);
    list.setSortKey(2);
    list.setSortAscending(false);
    list.addColumn(QStringLiteral("Extra"), 0);
    EXPECT_EQ(model()->columnCount(), 4);
    list.setAllChecked(true);
    list.clearContent();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(list.columnCount(), 4);   // columns stay
    list.addRow(QStringLiteral("K1"), QStringLiteral("de nuevo"));   // keys are free again
    EXPECT_EQ(list.rowOfKey(QStringLiteral("K1")), 0);
}

TEST_F(CheckListTest, RewrittenCellsKeepTheirLatestText)
{
    // Longer texts move to the end of the column's store; enough of them compact it.
    for (int round = 0; round < 40; ++round) {
        for (int row = 0; row < list.count(); ++row)
            list.setCell(row, 1, QString(200 + round, QChar(u'a' + row)));
    }
    for (int row = 0; row < list.count(); ++row) {
        EXPECT_EQ(list.cell(row, 1), QString(239, QChar(u'a' + row)));
        EXPECT_EQ(list.cell(row, 2).isEmpty(), false);
    }
    list.setCell(0, 1, QStringLiteral("x"));
    list.setCell(0, 1, QString());
    EXPECT_EQ(list.cell(0, 1), QString());
    EXPECT_EQ(list.cell(0, 7), QString());   // a column nobody wrote

    // Texts beyond Latin-1, in cells and keys, keep the texts and keys written before them.
    list.setCell(1, 1, QStringLiteral("Ωmega ñandú €"));
    list.addRow(QStringLiteral("K€"), QStringLiteral("N-€"));
    EXPECT_EQ(list.cell(1, 1), QStringLiteral("Ωmega ñandú €"));
    EXPECT_EQ(list.cell(2, 1), QString(239, QChar(u'c')));
    EXPECT_EQ(list.rowOfKey(QStringLiteral("K€")), 5);
    EXPECT_EQ(list.rowOfKey(QStringLiteral("K3")), 2);
    EXPECT_EQ(list.text(5), QStringLiteral("N-€"));
}

TEST_F(CheckListTest, WidthsHideAndShowColumnsAndHeaderClicksCountFromOne)
{
    EXPECT_EQ(list.columnWidth(2), 90);
    list.setColumnWidth(1, 0);
    EXPECT_TRUE(view()->isColumnHidden(1));
    EXPECT_EQ(list.columnWidth(1), 0);
    list.setColumnWidth(1, 150);
    EXPECT_FALSE(view()->isColumnHidden(1));
    EXPECT_EQ(view()->columnWidth(1), 150);
    EXPECT_THROW(list.setColumnWidth(3, 10), Error);
    EXPECT_EQ(model()->index(0, 2).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    QSignalSpy clicks(&list, &CheckList::columnClick);
    list.resize(500, 300);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QHeaderView *header = view()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 10, header->height() / 2));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.first().at(0).toInt(), 3);
    EXPECT_EQ(keysInOrder(list).first(), QStringLiteral("K1"));   // the screen sorts, not the header
}

TEST_F(CheckListTest, ScriptsSelectByKeyAndSeeTheWholeList)
{
    list.setChecked(1, true);
    list.scriptSelect({QStringLiteral("K4"), QStringLiteral("K1")});
    EXPECT_EQ(list.selectedItem(), 3);
    EXPECT_EQ(list.selectedRows(), (QList<int>{0, 3}));
    EXPECT_THROW(list.scriptSelect({QStringLiteral("K1"), QStringLiteral("nadie")}), ScriptRefusal);
    EXPECT_EQ(list.selectedRows(), (QList<int>{0, 3}));   // a refused command changes nothing

    list.setColumnWidth(2, 0);
    EXPECT_EQ(list.scriptListState().serialize(),
              QByteArray(R"({"rows":[)"
                         R"({"key":"K1","checked":false,"selected":true,"cells":["N-003","beta","30.00"]},)"
                         R"({"key":"K2","checked":true,"selected":false,"cells":["N-001","Alfa","10.00"]},)"
                         R"({"key":"K3","checked":false,"selected":false,"cells":["N-005","alfa","50.00"]},)"
                         R"({"key":"K4","checked":false,"selected":true,"cells":["N-002","Gama","20.00"]},)"
                         R"({"key":"K5","checked":false,"selected":false,"cells":["N-004","Beta","40.00"]}],)"
                         R"("hidden":[3],"sorted":false})"));
    list.scriptSelect({});
    EXPECT_EQ(list.selectedItem(), -1);
    EXPECT_TRUE(list.selectedRows().isEmpty());
}

TEST_F(CheckListTest, GroupBehaviour)
{
    list.setEnabled(false);
    EXPECT_THROW(list.scriptKey(32, 0), ScriptRefusal);
    list.unlock();
    EXPECT_TRUE(list.isEnabled());
    list.clearContent();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.scriptListState().serialize(), QByteArray(R"({"rows":[],"hidden":[],"sorted":false})"));
}

// The running sum of the checked rows must equal adding them up, whatever changed the marks,
// the cells or the order; a checked cell that is not a number leaves it without a value.
TEST_F(CheckListTest, RunningSumsEqualAddingUpTheCheckedRowsAfterAnyChange)
{
    list.setSummedColumns({2});
    const QStringList amounts {QStringLiteral("$1,160.00"), QStringLiteral("0.10"), QStringLiteral("-3.5"),
                               QStringLiteral("0.2"), QStringLiteral(""), QStringLiteral("x")};
    std::mt19937 random(20);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    for (int step = 0; step < 400; ++step) {
        const int row = pick(list.count());
        switch (pick(6)) {
        case 0: list.setChecked(row, pick(2) == 0); break;
        case 1: list.scriptCheck(list.key(row), pick(2) == 0); break;
        case 2: if (pick(8) == 0) list.setAllChecked(pick(2) == 0); break;
        case 3: list.setCell(row, 2, amounts[pick(int(amounts.size()))]); break;
        case 4: list.setSortKey(pick(3)); list.setSortAscending(pick(2) == 0); list.setSorted(true); break;
        default:
            if (pick(20) == 0) {
                list.clear();
                for (int i = 0; i < 5; ++i)
                    list.setCell(list.addRow(QStringLiteral("K%1").arg(i), QStringLiteral("N-%1").arg(i)), 2,
                                 QStringLiteral("%1.25").arg(i));
            }
        }
        Decimal sum;
        bool readable = true;
        for (int r = 0; r < list.count(); ++r) {
            if (!list.isChecked(r))
                continue;
            try {
                sum += list.amount(r, 2);
            } catch (const Error &) {
                readable = false;
            }
        }
        const std::optional<Decimal> running = list.checkedSum(2);
        ASSERT_EQ(running.has_value(), readable) << "step " << step;
        if (readable) {
            ASSERT_EQ(running->units(), sum.units()) << "step " << step;
        }
    }
    EXPECT_FALSE(list.checkedSum(1).has_value());   // not a summed column
}

// At full size: keys stay with their rows through a sort. How fast is measured by
// bench/checklist_bench, not here.
TEST(CheckListLoad, HundredThousandRowsKeepTheirKeysThroughASort)
{
    CheckList list;
    for (int column = 0; column < 14; ++column)
        list.addColumn(QStringLiteral("C%1").arg(column), 60);
    list.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        const int row = list.addRow(QString::number(i), QStringLiteral("F%1").arg((i * 7919) % 100000, 6, 10, QChar(u'0')));
        for (int column = 1; column < 14; ++column)
            list.setCell(row, column, QString::number((i + column) % 977));
    }
    QCoreApplication::processEvents();
    list.setAllChecked(true);
    list.setSortKey(0);
    list.setSorted(true);
    list.setSortAscending(false);
    EXPECT_EQ(list.text(0), QStringLiteral("F099999"));
    EXPECT_EQ(list.rowOfKey(list.key(54321)), 54321);
}

} // namespace

namespace {

TEST(CheckListEvents, AHandlerFailureStaysInsideTheEvent)
{
    CheckList list;
    list.addColumn(QStringLiteral("Folio"), 80);
    list.addRow(QStringLiteral("K1"), QStringLiteral("N-1"));
    int calls = 0;
    QObject::connect(&list, &CheckList::itemCheck, &list, [&](int) {
        ++calls;
        throw Error(QStringLiteral("falla del manejador"));
    });
    EXPECT_NO_THROW(list.scriptCheck(QStringLiteral("K1"), true));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(list.isChecked(0));
}

} // namespace
