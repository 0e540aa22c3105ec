#pragma once
// The dBASE expression language used by index keys, FOR conditions and query
// filters: field names, character/numeric/date/logical literals, + - * /,
// comparisons (= == <> != # < > <= >= $), .NOT. .AND. .OR. (also ! NOT AND
// OR), and the functions DTOS, UPPER, LOWER, TRIM, RTRIM, LTRIM, ALLTRIM,
// SUBSTR, LEFT, RIGHT, STR, VAL, EMPTY, DELETED and RECNO. Anything else is
// refused at compile time with ecDbBadExpression and the position.
//
// An expression is compiled once against a table's fields and then evaluated
// against raw record bytes (deletion flag first, fields at their offsets).
#include "store/dbf_format.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

namespace orv {

enum class ExprType { Character, Numeric, Date, Logical };

// One value. Character data are the table's raw bytes (Windows-1252);
// dates are Julian day numbers, 0 for an empty date.
struct ExprValue {
    ExprType type = ExprType::Logical;
    QByteArray text;
    double number = 0;
    bool logical = false;
};

struct ExprContext {
    const char* record = nullptr;  // recordLength bytes
    uint32_t recno = 0;
    bool exact = false;  // SET EXACT: "=" compares whole strings, not a prefix
};

class ExprNode;

class Expression {
public:
    // Raises EDatabase(ecDbBadExpression) for syntax errors, unknown names
    // or functions, and type mismatches.
    static std::unique_ptr<Expression> compile(const QByteArray& text, const DbfHeader& table);
    // The same, shared with earlier callers that compiled this text against
    // the same fields (an expression never changes once compiled): opening a
    // table again does not parse its tags' expressions again.
    static std::shared_ptr<const Expression> shared(const QByteArray& text, const DbfHeader& table);
    ~Expression();

    ExprType type() const;
    // The width of a character result (its longest value); 8 for numbers and
    // dates, 1 for logicals.
    int width() const;
    const QByteArray& text() const { return text_; }
    // A normalised spelling (upper case, no blanks, dotted operators), so two
    // spellings of one expression compare equal.
    const QByteArray& canonical() const { return canonical_; }
    // True when the expression reads the deletion flag and nothing else
    // changes with the record's data (e.g. ".NOT. DELETED()").
    bool dependsOnlyOnDeleted() const { return onlyDeleted_; }

    ExprValue evaluate(const ExprContext& ctx) const;
    // The same without copying a character result that is a field's bytes:
    // its text may point into the record, so it is to be used before the
    // record changes (a key being made).
    ExprValue evaluateInPlace(const ExprContext& ctx) const;
    // For logical expressions; false for any other type.
    bool isTrue(const ExprContext& ctx) const;

private:
    Expression() = default;
    std::unique_ptr<ExprNode> root_;
    QByteArray text_;
    QByteArray canonical_;
    bool onlyDeleted_ = false;
};

// Julian day numbers and calendar dates (proleptic Gregorian).
int64_t JulianDay(int year, int month, int day);
void CalendarDate(int64_t jdn, int& year, int& month, int& day);
// "YYYYMMDD" bytes to a Julian day; 0 for blanks or anything invalid.
int64_t JulianDayFromDbf(const char* eightBytes);
// Numeric field bytes to a number (blank = 0).
double NumberFromDbf(const char* bytes, int width);
// Upper/lower-case one Windows-1252 byte.
char UpperCp1252(char c);
char LowerCp1252(char c);

}  // namespace orv
