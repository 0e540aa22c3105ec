#include "store/db_error.h"
#include "store/expression.h"
#include "store_test_util.h"

#include <gtest/gtest.h>

using namespace orv;
using orv::test::field;

namespace {

DbfHeader faxLikeTable() {
    DbfHeader h;
    h.fields = {field("SUBJECT", 'C', 10), field("SENT", 'L', 1), field("DATESENT", 'D', 8), field("TIMESENT", 'C', 5),
                field("PAGES", 'N', 4, 1)};
    AssignFieldOffsets(h);
    return h;
}

// A record: deletion flag, SUBJECT, SENT, DATESENT, TIMESENT, PAGES.
QByteArray record(bool deleted, const char* subject, char sent, const char* date, const char* time, const char* pages) {
    QByteArray r(1, deleted ? '*' : ' ');
    r += QByteArray(subject).leftJustified(10, ' ', true);
    r += sent;
    r += QByteArray(date).leftJustified(8, ' ', true);
    r += QByteArray(time).leftJustified(5, ' ', true);
    r += QByteArray(pages).rightJustified(4, ' ', true);
    return r;
}

ExprValue eval(const char* text, const QByteArray& rec, bool exact = false) {
    const DbfHeader h = faxLikeTable();
    auto e = Expression::compile(text, h);
    return e->evaluate(ExprContext{rec.constData(), 7, exact});
}

}  // namespace

TEST(Expression, KeysAndConditionsOfTheTables) {
    const DbfHeader h = faxLikeTable();
    const QByteArray live = record(false, "hello", 'T', "20260105", "09:30", "2.5");
    const QByteArray gone = record(true, "hello", 'F', "", "", "");

    EXPECT_EQ(eval("DTOS(DATESENT)+TIMESENT", live).text, "2026010509:30");
    EXPECT_EQ(eval("dtos(datesent) + timesent", gone).text, QByteArray(13, ' '));  // empty date: blanks
    auto key = Expression::compile("DTOS(DATESENT)+TIMESENT", h);
    EXPECT_EQ(key->type(), ExprType::Character);
    EXPECT_EQ(key->width(), 13);

    auto notDeleted = Expression::compile(".not. deleted()", h);
    EXPECT_TRUE(notDeleted->isTrue(ExprContext{live.constData(), 1, false}));
    EXPECT_FALSE(notDeleted->isTrue(ExprContext{gone.constData(), 1, false}));
    EXPECT_TRUE(notDeleted->dependsOnlyOnDeleted());
    // Different spellings of one condition are recognised as the same.
    EXPECT_EQ(notDeleted->canonical(), Expression::compile(".NOT.DELETED()", h)->canonical());
    EXPECT_EQ(notDeleted->canonical(), Expression::compile("!deleted( )", h)->canonical());
    EXPECT_EQ(notDeleted->canonical(), Expression::compile("NOT DELETED()", h)->canonical());
    EXPECT_FALSE(Expression::compile("SENT .AND. .NOT. DELETED()", h)->dependsOnlyOnDeleted());

    // The date alone as a key is a date (Julian day).
    auto dateKey = Expression::compile("datesent", h);
    EXPECT_EQ(dateKey->type(), ExprType::Date);
    EXPECT_EQ(eval("datesent", live).number, double(JulianDay(2026, 1, 5)));
    EXPECT_EQ(eval("datesent", gone).number, 0);

    EXPECT_EQ(eval("UPPER(SUBJECT)", live).text, "HELLO     ");
    EXPECT_EQ(eval("TRIM(SUBJECT)+'!'", live).text, "hello!");
    EXPECT_TRUE(eval("SENT .AND. PAGES > 2 .OR. .F.", live).logical);
    EXPECT_FALSE(eval("SENT .AND. PAGES > 3", live).logical);
    EXPECT_DOUBLE_EQ(eval("PAGES * 2 - 1", live).number, 4.0);
    EXPECT_TRUE(eval("DATESENT + 1 > DATESENT", live).logical);
    EXPECT_EQ(eval("RECNO()", live).number, 7);
    EXPECT_TRUE(eval("'ell' $ SUBJECT", live).logical);
    EXPECT_EQ(eval("STR(PAGES, 5, 1)", live).text, "  2.5");
    EXPECT_EQ(eval("SUBSTR(TIMESENT, 4, 2)", live).text, "30");
    EXPECT_TRUE(eval("EMPTY(DATESENT)", gone).logical);
    // Absurd numbers as counts, widths or dates give limits or blanks, not garbage.
    EXPECT_EQ(eval("DTOS(DATESENT + 1000000000000)", live).text, QByteArray(8, ' '));
    EXPECT_EQ(eval("SUBSTR(SUBJECT, 2, 99999999999999999999999999)", live).text, "ello     ");
    EXPECT_EQ(eval("LEFT(SUBJECT, 0/0)", live).text, "");
    EXPECT_EQ(eval("STR(PAGES, 9999999999999999999999999999999999999)", live).text.size(), 20);
}

TEST(Expression, ResultsOutliveTheRecordAndACompiledTextIsShared) {
    const DbfHeader h = faxLikeTable();
    QByteArray rec = record(false, "hello", 'T', "20260105", "09:30", "2.5");
    const ExprContext ctx{rec.constData(), 1, false};
    const ExprValue subject = Expression::compile("SUBJECT", h)->evaluate(ctx);
    const ExprValue trimmed = Expression::compile("TRIM(SUBJECT)", h)->evaluate(ctx);
    auto inPlace = Expression::compile("SUBJECT", h);
    const ExprValue now = inPlace->evaluateInPlace(ctx);
    rec.replace(1, 5, "jelly");
    EXPECT_EQ(subject.text, "hello     ");  // its own bytes, not the record's
    EXPECT_EQ(trimmed.text, "hello");
    EXPECT_EQ(now.text, "jelly     ");  // the record's bytes, as documented

    // One compiled expression per text and field layout.
    const auto a = Expression::shared("UPPER(SUBJECT)", h);
    EXPECT_EQ(a.get(), Expression::shared("UPPER(SUBJECT)", h).get());
    EXPECT_NE(a.get(), Expression::shared("UPPER(TIMESENT)", h).get());
    DbfHeader wider = h;
    wider.fields[0].width = 12;
    AssignFieldOffsets(wider);
    const auto b = Expression::shared("UPPER(SUBJECT)", wider);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->width(), 10);
    EXPECT_EQ(b->width(), 12);
    const QByteArray wideRec = QByteArray(" ") + QByteArray("abcdefghijkl") + QByteArray(19, ' ');
    EXPECT_EQ(b->evaluate(ExprContext{wideRec.constData(), 1, false}).text, "ABCDEFGHIJKL");
    // A text that does not compile is refused every time.
    EXPECT_THROW(Expression::shared("UPPER(", h), EDatabase);
    EXPECT_THROW(Expression::shared("UPPER(", h), EDatabase);
}

TEST(Expression, StringComparisonFollowsExact) {
    const QByteArray live = record(false, "hello", 'T', "20260105", "09:30", "1");
    // SET EXACT OFF: the right side sets the length compared.
    EXPECT_TRUE(eval("SUBJECT = 'hel'", live).logical);
    EXPECT_FALSE(eval("'hel' = SUBJECT", live).logical);
    EXPECT_TRUE(eval("SUBJECT <> 'help'", live).logical);
    // SET EXACT ON: trailing blanks do not matter, the rest does.
    EXPECT_FALSE(eval("SUBJECT = 'hel'", live, true).logical);
    EXPECT_TRUE(eval("SUBJECT = 'hello'", live, true).logical);
    // == is exact whatever the setting.
    EXPECT_FALSE(eval("SUBJECT == 'hello'", live).logical);
    EXPECT_TRUE(eval("TRIM(SUBJECT) == 'hello'", live).logical);
    EXPECT_TRUE(eval("'abc' < 'abd' .AND. 'b' > 'abc'", live).logical);
}

TEST(Expression, AnythingElseIsAClearError) {
    const DbfHeader h = faxLikeTable();
    struct Case {
        const char* text;
        const char* mentions;
    } cases[] = {
        {"", "empty expression"},
        {"NOSUCH", "unknown field NOSUCH"},
        {"CTOD(SUBJECT)", "unknown function CTOD()"},
        {"DTOS(SUBJECT)", "character value where date is needed"},
        {"SUBJECT + 1", "cannot add character and numeric"},
        {"SUBJECT = 1", "cannot compare character with numeric"},
        {".NOT. SUBJECT", "character value where logical is needed"},
        {"DTOS(DATESENT", "')' expected"},
        {"'open", "unterminated string"},
        {"SUBJECT @ 1", "unexpected character '@'"},
        {"DELETED(1)", "DELETED() takes 0 argument(s)"},
        {".XOR. SENT", "unknown operator .XOR."},
        {"SUBJECT SENT", "unexpected text"},
    };
    for (const Case& c : cases) {
        try {
            Expression::compile(c.text, h);
            ADD_FAILURE() << c.text << " compiled";
        } catch (const EDatabase& e) {
            EXPECT_EQ(e.code(), ecDbBadExpression);
            EXPECT_TRUE(e.message().contains(QString::fromLatin1(c.mentions))) << c.text << " -> " << e.message().toStdString();
            EXPECT_TRUE(e.message().startsWith("Invalid expression")) << e.message().toStdString();
        }
    }
    // Deep nesting is refused, not a stack overflow.
    EXPECT_THROW(Expression::compile(QByteArray(500, '(') + "SENT" + QByteArray(500, ')'), h), EDatabase);
    EXPECT_THROW(Expression::compile(QByteArray(300, '-') + "PAGES", h), EDatabase);
}

TEST(Expression, DatesAndNumbersRoundTrip) {
    int y, m, d;
    for (int64_t jdn : {int64_t(2451545), int64_t(2440588), int64_t(2299161), int64_t(2488070)}) {
        CalendarDate(jdn, y, m, d);
        EXPECT_EQ(JulianDay(y, m, d), jdn);
    }
    EXPECT_EQ(JulianDay(2000, 1, 1), 2451545);
    EXPECT_EQ(JulianDayFromDbf("20000101"), 2451545);
    EXPECT_EQ(JulianDayFromDbf("        "), 0);
    EXPECT_EQ(JulianDayFromDbf("2000x101"), 0);
    EXPECT_EQ(JulianDayFromDbf("20001301"), 0);
    EXPECT_DOUBLE_EQ(NumberFromDbf(" -1.50", 6), -1.5);
    EXPECT_DOUBLE_EQ(NumberFromDbf("     ", 5), 0);
    EXPECT_DOUBLE_EQ(NumberFromDbf("  abc", 5), 0);
    EXPECT_EQ(UpperCp1252(char(0xE9)), char(0xC9));  // é -> É
    EXPECT_EQ(LowerCp1252(char(0x8A)), char(0x9A));  // Š -> š
}
