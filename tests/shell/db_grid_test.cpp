// The data grid with 100,000 records: it shows the list without reading it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QScrollBar>

#include <set>

#include "shell/db_grid.h"
#include "shell/main_screen.h"
#include "store/data_engine.h"
#include "store/schemas.h"
#include "store/table_model.h"
#include "support/temp_home.h"

using namespace orv;
using orv::test::TempHome;

namespace {

constexpr int kRecords = 100000;

// ORV.DBF with kRecords sent faxes (no memos), one a day from 1 Jan 1900,
// written straight through a work area of its own engine.
void makeLargeFaxTable(const QString& folder) {
    TEngineLink maker;
    ASSERT_TRUE(MakeFaxDBF(maker, folder));
    DataEngine engine;
    engine.use(folder + "ORV.DBF", "ORV");
    WorkArea& a = engine.cur();
    a.indexTag("", "DATESENT", "DTOS(DATESENT)+TIMESENT", false, true, ".not. deleted()");
    const int subject = a.fieldIndex("SUBJECT"), sent = a.fieldIndex("SENT"), date = a.fieldIndex("DATESENT"),
              time = a.fieldIndex("TIMESENT");
    QByteArray rec(a.recSize(), ' ');
    auto put = [&](int field, const QByteArray& value) {
        const DbfField& f = a.fields()[size_t(field)];
        rec.replace(f.offset, f.width, value.leftJustified(f.width, ' ', true));
    };
    const QDate start(1900, 1, 1);
    a.beginUpdate();
    for (int i = 0; i < kRecords; ++i) {
        a.appendBlank();
        rec.fill(' ');
        put(subject, "Fax number " + QByteArray::number(i));
        put(sent, "T");
        put(date, start.addDays(i).toString("yyyyMMdd").toLatin1());
        put(time, "12:00");
        a.putRecord(rec);
    }
    a.endUpdate();
    engine.closeAll();
}

// A TableModel that notes every row whose cells were read.
class CountingModel : public TableModel {
public:
    using TableModel::TableModel;
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole) rowsRead.insert(index.row());
        return TableModel::data(index, role);
    }
    mutable std::set<int> rowsRead;
};

}  // namespace

TEST(DBGrid, AHundredThousandRecordsAreShownWithoutReadingThem) {
    TempHome home;
    home.write("ORV.INI", "[Modem]\nComPort=0\n");
    makeLargeFaxTable(home.path());

    // The main window opens on the whole list; its newest fax is current.
    {
        TMainScreen w;
        w.show();
        QApplication::processEvents();
        auto* grid = w.findChild<TDBGrid*>("FaxGrid");
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(grid->tableModel()->rowCount(), kRecords);
        EXPECT_FALSE(grid->tableModel()->canFetchMore(QModelIndex()));
        EXPECT_EQ(grid->currentRow(), 0);
        EXPECT_EQ(w.faxTable().fieldByName("SUBJECT").asString(), QString("Fax number %1").arg(kRecords - 1));
        EXPECT_TRUE(grid->isEnabled());
        w.close();
    }

    // The same grid over a counting model: painting, scrolling to the end and
    // choosing the last row read only the rows on the screen.
    DataEngine::instance().settings().deleted = true;
    TTable table;
    TDataSource source;
    TEngineLink link;
    source.setDataSet(&table);
    link.setDataSource(&source);
    ASSERT_TRUE(OpenFaxDBF(table, link));
    link.setOrder(link.tagNumber("DATESENT"));
    table.first();
    CountingModel model(&source);
    TDBGrid grid("FaxGrid", &source, nullptr, &model);
    grid.resize(600, 400);
    grid.show();
    QApplication::processEvents();
    EXPECT_FALSE(grid.grab().isNull());
    EXPECT_EQ(model.rowCount(), kRecords);
    EXPECT_GT(model.rowsRead.size(), 5u);
    EXPECT_LT(model.rowsRead.size(), 100u);
    EXPECT_EQ(model.rowsRead.count(0), 1u);

    model.rowsRead.clear();
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    QApplication::processEvents();
    EXPECT_FALSE(grid.grab().isNull());
    EXPECT_LT(model.rowsRead.size(), 100u);
    EXPECT_EQ(model.rowsRead.count(kRecords - 1), 1u);
    EXPECT_EQ(model.rowsRead.count(kRecords / 2), 0u);

    grid.setCurrentIndex(model.index(kRecords - 1, 0));
    EXPECT_EQ(table.fieldByName("SUBJECT").asString(), "Fax number 0");  // the oldest
    table.first();
    EXPECT_EQ(grid.currentRow(), 0);
    EXPECT_LT(model.rowsRead.size(), 200u);
}
