#include "store/schemas.h"
#include "store/table_model.h"
#include "store_test_util.h"
#include "support/temp_home.h"


#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

TEST(TableModel, RowsInTagOrderUnderTheFilter) {
    TempHome home;
    DataEngine::instance().settings().deleted = true;
    Bound bound;
    TTable& table = bound.table;
    TDataSource& source = bound.source;
    TEngineLink& link = bound.link;
    ASSERT_TRUE(OpenRecFaxDBF(table, link));
    link.setOrder(link.tagNumber("DATETIME"));
    TableModel model(&source);
    EXPECT_EQ(model.rowCount(), 0);
    ASSERT_EQ(model.columnCount(), 5);
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c) headers << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"Date Rec'd", "Time Rec'd", "From", "Pages", "Notes"}));
    EXPECT_EQ(model.columnDisplayWidth(4), 60);

    table.disableControls();
    table.workArea()->beginUpdate();
    for (int i = 0; i < 600; ++i) {
        table.append();
        table.fieldByName("DATEREC").setAsDate(QDate(2026, 1, 1).addDays(i));
        table.fieldByName("TIMEREC").setAsString("12:00");
        table.fieldByName("FROM").setAsString(QString("station %1").arg(i));
        table.fieldByName("PAGES").setAsInteger(i % 10);
        table.post();
    }
    table.workArea()->endUpdate();
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    table.enableControls();
    EXPECT_EQ(resets, 1);
    // The tag's FOR condition is the filter: every entry is a row, at once.
    EXPECT_EQ(model.rowCount(), 600);
    EXPECT_FALSE(model.canFetchMore(QModelIndex()));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), "station 599");  // newest first
    EXPECT_EQ(model.data(model.index(599, 2)).toString(), "station 0");
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "9");
    EXPECT_EQ(model.recordNumber(0), 600u);
    EXPECT_EQ(model.rowOf(1), 599);

    // Deleting updates the view at once.
    model.selectRow(1);
    EXPECT_EQ(table.fieldByName("FROM").asString(), "station 598");
    table.deleteRecord();
    EXPECT_EQ(model.rowCount(), 599);
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), "station 597");
    EXPECT_EQ(table.fieldByName("FROM").asString(), "station 597");

    // A filter no tag holds: rows come in chunks as the view asks.
    link.setFilter("PAGES = 3 .AND. .NOT. DELETED()");
    EXPECT_EQ(model.rowCount(), 60);
    link.setFilter("PAGES < 9 .AND. .NOT. DELETED()");
    EXPECT_EQ(model.rowCount(), TableModel::kFetchChunk);
    EXPECT_TRUE(model.canFetchMore(QModelIndex()));
    while (model.canFetchMore(QModelIndex())) model.fetchMore(QModelIndex());
    EXPECT_EQ(model.rowCount(), 539);
    EXPECT_EQ(model.rowOf(model.recordNumber(300)), 300);
    link.setFilter(".not. deleted()");
    EXPECT_EQ(model.rowCount(), 599);

    // Natural order and a closed table.
    link.setOrder(0);
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), "station 0");
    table.close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
}

TEST(TableModel, SentListShowsTheCalculatedColumn) {
    TempHome home;
    Bound bound;
    TTable& table = bound.table;
    TDataSource& source = bound.source;
    TEngineLink& link = bound.link;
    ASSERT_TRUE(OpenFaxDBF(table, link));
    TableModel model(&source);
    table.append();
    table.fieldByName("SUBJECT").setAsString("s");
    table.fieldByName("SENT").setAsBoolean(true);
    table.fieldByName("DATESENT").setAsDate(QDate(2026, 7, 1));
    table.post();
    table.append();
    table.fieldByName("SUBJECT").setAsString("t");
    table.post();
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c) headers << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"Sent", "Date Sent", "Time Sent", "Recipient", "Phone", "Pages", "Subject", "Last Attempt"}));
    ASSERT_EQ(model.rowCount(), 2);
    const int sentRow = model.rowOf(1);
    EXPECT_EQ(model.data(model.index(sentRow, 0)).toString(), "Yes");
    EXPECT_EQ(model.data(model.index(1 - sentRow, 0)).toString(), "No ");
    EXPECT_FALSE(model.data(model.index(sentRow, 1)).toString().isEmpty());
    EXPECT_EQ(table.fieldByName("SUBJECT").asString(), "t");  // reading rows does not move the table
    EXPECT_EQ(model.columnDisplayWidth(3), 20);
}
