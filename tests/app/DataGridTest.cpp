// The result grid's model over an in-memory dataset: titles and texts, the record indicator,
// reading only the rows shown, discovering rows when the dataset cannot count them, and
// following the dataset's open and close.

#include <gtest/gtest.h>
#include <QApplication>
#include <QScrollBar>

#include "app/shell/DataGrid.h"
#include "tests/data/MemoryDataSet.h"
#include "tests/support/ShellTestSupport.h"

namespace parvell {
namespace {

using namespace parvell::testing;

// A dataset that cannot tell its record count, as a cursor that only walks.
class UncountedDataSet : public MemoryDataSet {
public:
    int32_t NumRecords() override { return -1; }
};

void Fill(MemoryDataSet& ds, int rows) {
    ds.columns = {{"N", ftInteger}, {"Name", ftString, 10}};
    for (int i = 0; i < rows; ++i) {
        ds.rows.push_back({I32(i + 1), i % 2 ? Null : Str("row" + std::to_string(i + 1))});
    }
}

class DataGridTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApplication(); }
};

TEST_F(DataGridTest, ShowsTitlesTextsAndFollowsOpenAndClose) {
    MemoryDataSet ds;
    Fill(ds, 3);
    TDataSource source;
    source.SetDataSet(&ds);
    TDataSetTableModel model;
    model.SetDataSource(&source);
    EXPECT_EQ(model.columnCount(), 0);

    ds.Open();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("row3"));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QString());
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("1"));
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("\u25B6"));
    model.SetCurrentRow(2);
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), QString());
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("\u25B6"));

    ds.Close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
}

TEST_F(DataGridTest, LargeResultReadsOnlyRowsShown) {
    MemoryDataSet ds;
    Fill(ds, 200000);
    TDataSource source;
    source.SetDataSet(&ds);
    ds.Open();
    TDBGrid grid;
    grid.SetDataSource(&source);
    grid.resize(700, 400);
    grid.show();
    QApplication::processEvents();
    EXPECT_EQ(grid.Model().rowCount(), 200000);
    EXPECT_GT(grid.Model().RowsRendered(), 0);
    EXPECT_LT(grid.Model().RowsRendered(), 100);

    grid.scrollToBottom();
    QApplication::processEvents();
    EXPECT_LT(grid.Model().RowsRendered(), 200);
    EXPECT_EQ(grid.Model().data(grid.Model().index(199998, 1)).toString(),
              QStringLiteral("row199999"));
    EXPECT_LE(ds.buffersLive, 2);  // the dataset's window stays one record
}

TEST_F(DataGridTest, RowsOfAnUncountedResultAreDiscoveredInSteps) {
    UncountedDataSet ds;
    Fill(ds, 1000);
    TDataSource source;
    source.SetDataSet(&ds);
    ds.Open();
    TDataSetTableModel model;
    model.SetDataSource(&source);
    EXPECT_EQ(model.rowCount(), 0);
    int steps = 0;
    while (model.canFetchMore() && steps < 100) {
        model.fetchMore();
        ++steps;
    }
    EXPECT_EQ(model.rowCount(), 1000);
    EXPECT_GT(steps, 1);
    EXPECT_EQ(model.data(model.index(999, 0)).toString(), QStringLiteral("1000"));
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("row1"));

    UncountedDataSet empty;
    Fill(empty, 0);
    TDataSource emptySource;
    emptySource.SetDataSet(&empty);
    empty.Open();
    model.SetDataSource(&emptySource);
    model.fetchMore();
    EXPECT_FALSE(model.canFetchMore());
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(DataGridTest, NumericColumnsAreRightAlignedOthersLeft) {
    struct Case {
        TFieldType type;
        Qt::Alignment horizontal;
    };
    const Case cases[] = {
        {ftInteger, Qt::AlignRight},  {ftSmallint, Qt::AlignRight}, {ftWord, Qt::AlignRight},
        {ftAutoInc, Qt::AlignRight},  {ftLargeint, Qt::AlignRight}, {ftFloat, Qt::AlignRight},
        {ftCurrency, Qt::AlignRight}, {ftBCD, Qt::AlignRight},      {ftString, Qt::AlignLeft},
        {ftDate, Qt::AlignLeft},      {ftBoolean, Qt::AlignLeft},   {ftMemo, Qt::AlignLeft},
    };
    MemoryDataSet ds;
    std::vector<MemValue> row;
    for (size_t i = 0; i < std::size(cases); ++i) {
        ds.columns.push_back(
            {"C" + std::to_string(i), cases[i].type, cases[i].type == ftString ? 10 : 0});
        row.push_back(Null);
    }
    ds.rows.push_back(row);
    TDataSource source;
    source.SetDataSet(&ds);
    TDataSetTableModel model;
    model.SetDataSource(&source);
    ds.Open();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int column = static_cast<int>(i);
        const auto alignment =
            Qt::Alignment(model.data(model.index(0, column), Qt::TextAlignmentRole).toInt());
        EXPECT_EQ(alignment & Qt::AlignHorizontal_Mask, cases[i].horizontal) << "column " << i;
    }
}

}  // namespace
}  // namespace parvell
