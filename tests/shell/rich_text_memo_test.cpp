// LoadRichText and SaveRichText: memo <-> "Eraseme.rtf" <-> control.
#include <gtest/gtest.h>

#include <QFile>

#include <stdexcept>

#include "shell/rich_text_memo.h"
#include "store/data_engine.h"
#include "store/schemas.h"
#include "support/temp_home.h"

using namespace orv;
using orv::test::TempHome;

namespace {

// A control that keeps the RTF file's bytes as its text, the way the
// rich-text component loads and saves its files.
struct FileControl {
    QByteArray text;
    bool failLoad = false;
    bool failSave = false;
    int clears = 0;
    void clear() {
        text.clear();
        ++clears;
    }
    void loadRtfFile(const QString& path) {
        QFile f(path);
        if (failLoad || !f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read");
        text = f.readAll();
    }
    void saveRtfFile(const QString& path) const {
        QFile f(path);
        if (failSave || !f.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write");
        f.write(text);
    }
};

struct SentTable {
    TTable table;
    TDataSource source;
    TEngineLink link;
    SentTable() {
        DataEngine::instance().settings().deleted = true;
        source.setDataSet(&table);
        link.setDataSource(&source);
    }
};

const QByteArray kCover = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 To whom it may concern\\par}";
const QByteArray kDoc = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 The document\\par}";

}  // namespace

TEST(RichTextMemo, LoadAndSaveGoThroughTheTransferFile) {
    TempHome home;
    SentTable t;
    ASSERT_TRUE(OpenFaxDBF(t.table, t.link));
    EXPECT_EQ(RichTextTransferFile(), home.file("Eraseme.rtf"));

    // No record: the control is cleared and stays empty.
    FileControl control;
    control.text = "left over";
    LoadRichText(control, "RTFCOVER", t.link);
    EXPECT_TRUE(control.text.isEmpty());
    EXPECT_FALSE(QFile::exists(RichTextTransferFile()));

    // A new fax as New stores it: append, both memos, then the fields, post.
    t.table.append();
    FileControl cover, doc;
    cover.text = kCover;
    doc.text = kDoc;
    SaveRichText(cover, "RTFCOVER", t.link);
    EXPECT_EQ(t.table.state(), TDataSetState::dsEdit);  // posted for the memo, editing again
    SaveRichText(doc, "RTFDOC", t.link);
    EXPECT_TRUE(QFile::exists(RichTextTransferFile()));  // stays until the next load
    t.table.fieldByName("SUBJECT").setAsString("Offer");
    t.table.post();
    EXPECT_EQ(t.table.fieldByName("RTFCOVER").asBytes(), kCover);
    EXPECT_EQ(t.table.fieldByName("RTFDOC").asBytes(), kDoc);

    // Loading brings each memo back and removes the file.
    FileControl back;
    LoadRichText(back, "RTFCOVER", t.link);
    EXPECT_EQ(back.text, kCover);
    EXPECT_FALSE(QFile::exists(RichTextTransferFile()));
    LoadRichText(back, "RTFDOC", t.link);
    EXPECT_EQ(back.text, kDoc);

    // A file the control cannot read leaves it empty, and the file goes.
    FileControl broken;
    broken.failLoad = true;
    LoadRichText(broken, "RTFDOC", t.link);
    EXPECT_TRUE(broken.text.isEmpty());
    EXPECT_FALSE(QFile::exists(RichTextTransferFile()));

    // A field that is not a memo of this table: nothing to load.
    FileControl none;
    none.text = "x";
    LoadRichText(none, "NOSUCHMEMO", t.link);
    EXPECT_TRUE(none.text.isEmpty());
}

TEST(RichTextMemo, AFailedSaveNeverStoresAnotherFaxsText) {
    TempHome home;
    SentTable t;
    ASSERT_TRUE(OpenFaxDBF(t.table, t.link));
    for (const char* subject : {"First", "Second"}) {
        t.table.append();
        t.table.fieldByName("SUBJECT").setAsString(subject);
        t.table.post();
    }
    // The first fax's cover is saved; its transfer file stays behind.
    t.table.first();
    const QString firstSubject = t.table.fieldByName("SUBJECT").asString();
    FileControl first;
    first.text = kCover;
    SaveRichText(first, "RTFCOVER", t.link);
    ASSERT_TRUE(QFile::exists(RichTextTransferFile()));

    // The second fax's control cannot write its file: the error reaches the
    // caller and the second memo keeps its (empty) text.
    t.table.next();
    ASSERT_NE(t.table.fieldByName("SUBJECT").asString(), firstSubject);
    FileControl second;
    second.text = kDoc;
    second.failSave = true;
    EXPECT_THROW(SaveRichText(second, "RTFCOVER", t.link), std::exception);
    EXPECT_TRUE(t.table.fieldByName("RTFCOVER").asBytes().isEmpty());
    t.table.first();
    EXPECT_EQ(t.table.fieldByName("RTFCOVER").asBytes(), kCover);
}
