#include "store/expression.h"

#include "store/db_error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace orv {

// ---- helpers -------------------------------------------------------------------

int64_t JulianDay(int y, int m, int d) {
    const int64_t a = (14 - m) / 12;
    const int64_t yy = int64_t(y) + 4800 - a;
    const int64_t mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

void CalendarDate(int64_t jdn, int& year, int& month, int& day) {
    const int64_t a = jdn + 32044;
    const int64_t b = (4 * a + 3) / 146097;
    const int64_t c = a - 146097 * b / 4;
    const int64_t d = (4 * c + 3) / 1461;
    const int64_t e = c - 1461 * d / 4;
    const int64_t m = (5 * e + 2) / 153;
    day = int(e - (153 * m + 2) / 5 + 1);
    month = int(m + 3 - 12 * (m / 10));
    year = int(100 * b + d - 4800 + m / 10);
}

int64_t JulianDayFromDbf(const char* p) {
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9') return 0;
        v[i] = p[i] - '0';
    }
    const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    const int m = v[4] * 10 + v[5];
    const int d = v[6] * 10 + v[7];
    if (y == 0 || m < 1 || m > 12 || d < 1 || d > 31) return 0;
    return JulianDay(y, m, d);
}

double NumberFromDbf(const char* bytes, int width) {
    int b = 0, e = width;
    while (b < e && (bytes[b] == ' ' || bytes[b] == '\0')) ++b;
    while (e > b && (bytes[e - 1] == ' ' || bytes[e - 1] == '\0')) --e;
    if (b == e) return 0;
    const char* first = bytes + b;
    if (*first == '+') ++first;
    double v = 0;
    const auto r = std::from_chars(first, bytes + e, v);
    if (r.ec != std::errc()) return 0;
    return v;
}

char UpperCp1252(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') return char(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char(c - 32);
    if (c == 0x9A || c == 0x9C || c == 0x9E) return char(c - 16);
    if (c == 0xFF) return char(0x9F);
    return ch;
}

char LowerCp1252(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 'A' && c <= 'Z') return char(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return char(c + 16);
    if (c == 0x9F) return char(0xFF);
    return ch;
}

// ---- nodes ---------------------------------------------------------------------

class ExprNode {
public:
    ExprNode(ExprType t, int w) : type(t), width(w) {}
    virtual ~ExprNode() = default;
    virtual ExprValue eval(const ExprContext& ctx) const = 0;
    // Whether the node reads record data other than the deletion flag.
    virtual bool readsFields() const { return false; }
    virtual bool readsDeleted() const { return false; }
    ExprType type;
    int width;
};

namespace {

using NodePtr = std::unique_ptr<ExprNode>;

// A number used as a count or position: NaN and values beyond the range
// become the nearest limit instead of an undefined conversion.
long long clampedCount(double v) {
    if (!(v == v)) return 0;
    if (v > 1e9) return 1000000000;
    if (v < -1e9) return -1000000000;
    return static_cast<long long>(v);
}

ExprValue makeText(QByteArray t) {
    ExprValue v;
    v.type = ExprType::Character;
    v.text = std::move(t);
    return v;
}
ExprValue makeNumber(double n, ExprType t = ExprType::Numeric) {
    ExprValue v;
    v.type = t;
    v.number = n;
    return v;
}
ExprValue makeLogical(bool b) {
    ExprValue v;
    v.type = ExprType::Logical;
    v.logical = b;
    return v;
}

class Literal : public ExprNode {
public:
    explicit Literal(ExprValue v) : ExprNode(v.type, v.type == ExprType::Character ? int(v.text.size()) : 8), value_(std::move(v)) {
        if (type == ExprType::Logical) width = 1;
    }
    ExprValue eval(const ExprContext&) const override { return value_; }

private:
    ExprValue value_;
};

class FieldRef : public ExprNode {
public:
    FieldRef(const DbfField& f, ExprType t) : ExprNode(t, t == ExprType::Character ? f.width : (t == ExprType::Logical ? 1 : 8)), offset_(f.offset), fwidth_(f.width) {}
    ExprValue eval(const ExprContext& ctx) const override {
        const char* p = ctx.record + offset_;
        switch (type) {
        // The record's own bytes, not a copy: a function or operator that
        // changes them copies first, and evaluate() copies a result that
        // still points into the record.
        case ExprType::Character: return makeText(QByteArray::fromRawData(p, fwidth_));
        case ExprType::Numeric: return makeNumber(NumberFromDbf(p, fwidth_));
        case ExprType::Date: return makeNumber(double(JulianDayFromDbf(p)), ExprType::Date);
        case ExprType::Logical: return makeLogical(*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y');
        }
        return {};
    }
    bool readsFields() const override { return true; }

private:
    int offset_, fwidth_;
};

class Unary : public ExprNode {
public:
    enum Op { Not, Negate };
    Unary(Op op, NodePtr a) : ExprNode(a->type, a->width), op_(op), a_(std::move(a)) {}
    ExprValue eval(const ExprContext& ctx) const override {
        ExprValue v = a_->eval(ctx);
        if (op_ == Not) v.logical = !v.logical;
        else v.number = -v.number;
        return v;
    }
    bool readsFields() const override { return a_->readsFields(); }
    bool readsDeleted() const override { return a_->readsDeleted(); }

private:
    Op op_;
    NodePtr a_;
};

int compareText(const QByteArray& a, const QByteArray& b, bool padShorter) {
    const qsizetype n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.constData(), b.constData(), size_t(n)) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    if (a.size() == b.size()) return 0;
    if (!padShorter) return a.size() < b.size() ? -1 : 1;
    const QByteArray& longer = a.size() > b.size() ? a : b;
    for (qsizetype i = n; i < longer.size(); ++i) {
        const auto ch = static_cast<unsigned char>(longer[i]);
        if (ch != ' ') {
            const int sign = ch < ' ' ? -1 : 1;
            return &longer == &a ? sign : -sign;
        }
    }
    return 0;
}

class Binary : public ExprNode {
public:
    enum Op { Add, Sub, Mul, Div, Eq, ExactEq, Ne, Lt, Gt, Le, Ge, Contains, And, Or };
    Binary(Op op, ExprType t, int w, NodePtr a, NodePtr b) : ExprNode(t, w), op_(op), a_(std::move(a)), b_(std::move(b)) {}

    ExprValue eval(const ExprContext& ctx) const override {
        if (op_ == And) return makeLogical(a_->eval(ctx).logical && b_->eval(ctx).logical);
        if (op_ == Or) return makeLogical(a_->eval(ctx).logical || b_->eval(ctx).logical);
        ExprValue x = a_->eval(ctx);
        ExprValue y = b_->eval(ctx);
        switch (op_) {
        case Add:
            if (x.type == ExprType::Character) return makeText(x.text + y.text);
            if (x.type == ExprType::Date || y.type == ExprType::Date)
                return makeNumber(dateArith(x, y, 1), ExprType::Date);
            return makeNumber(x.number + y.number);
        case Sub:
            if (x.type == ExprType::Character) {
                qsizetype e = x.text.size();
                while (e > 0 && x.text[e - 1] == ' ') --e;
                return makeText(x.text.left(e) + y.text + QByteArray(x.text.size() - e, ' '));
            }
            if (x.type == ExprType::Date && y.type == ExprType::Date) return makeNumber(x.number - y.number);
            if (x.type == ExprType::Date) return makeNumber(dateArith(x, y, -1), ExprType::Date);
            return makeNumber(x.number - y.number);
        case Mul: return makeNumber(x.number * y.number);
        case Div: return makeNumber(y.number == 0 ? 0 : x.number / y.number);
        case Contains: return makeLogical(y.text.contains(x.text));
        default: break;
        }
        int c = 0;
        if (x.type == ExprType::Character) {
            if (op_ == ExactEq) return makeLogical(x.text == y.text);
            if ((op_ == Eq || op_ == Ne) && !ctx.exact) {
                // SET EXACT OFF: "abc" = "ab" holds; the right side decides the length.
                const bool eq = x.text.size() >= y.text.size() && std::memcmp(x.text.constData(), y.text.constData(), size_t(y.text.size())) == 0;
                return makeLogical(op_ == Eq ? eq : !eq);
            }
            c = compareText(x.text, y.text, true);
        } else if (x.type == ExprType::Logical) {
            c = int(x.logical) - int(y.logical);
        } else {
            c = x.number < y.number ? -1 : (x.number > y.number ? 1 : 0);
        }
        switch (op_) {
        case Eq:
        case ExactEq: return makeLogical(c == 0);
        case Ne: return makeLogical(c != 0);
        case Lt: return makeLogical(c < 0);
        case Gt: return makeLogical(c > 0);
        case Le: return makeLogical(c <= 0);
        case Ge: return makeLogical(c >= 0);
        default: return {};
        }
    }
    bool readsFields() const override { return a_->readsFields() || b_->readsFields(); }
    bool readsDeleted() const override { return a_->readsDeleted() || b_->readsDeleted(); }

private:
    static double dateArith(const ExprValue& x, const ExprValue& y, int sign) {
        const double date = x.type == ExprType::Date ? x.number : y.number;
        const double days = x.type == ExprType::Date ? y.number : x.number;
        if (date == 0) return 0;  // an empty date stays empty
        return date + sign * std::floor(days);
    }
    Op op_;
    NodePtr a_, b_;
};

enum class Fn { Dtos, Upper, Lower, Trim, Ltrim, Alltrim, Substr, Left, Right, Str, Val, Empty, Deleted, Recno };

class Call : public ExprNode {
public:
    Call(Fn fn, ExprType t, int w, std::vector<NodePtr> args) : ExprNode(t, w), fn_(fn), args_(std::move(args)) {}

    ExprValue eval(const ExprContext& ctx) const override {
        switch (fn_) {
        case Fn::Deleted: return makeLogical(ctx.record[0] == kDbfDeleted);
        case Fn::Recno: return makeNumber(ctx.recno);
        default: break;
        }
        ExprValue a = args_[0]->eval(ctx);
        switch (fn_) {
        case Fn::Dtos: {
            // Empty dates, and day numbers outside the years 1 to 9999, are blanks.
            if (!(a.number >= 1721426 && a.number <= 5373484)) return makeText(QByteArray(8, ' '));
            int y, m, d;
            CalendarDate(int64_t(a.number), y, m, d);
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", y % 10000, m, d);
            return makeText(QByteArray(buf, 8));
        }
        case Fn::Upper:
            for (char& c : a.text) c = UpperCp1252(c);
            return a;
        case Fn::Lower:
            for (char& c : a.text) c = LowerCp1252(c);
            return a;
        case Fn::Trim: {
            qsizetype e = a.text.size();
            while (e > 0 && a.text[e - 1] == ' ') --e;
            a.text.truncate(e);
            return a;
        }
        case Fn::Ltrim: {
            qsizetype b = 0;
            while (b < a.text.size() && a.text[b] == ' ') ++b;
            a.text.remove(0, b);
            return a;
        }
        case Fn::Alltrim: return makeText(a.text.trimmed());
        case Fn::Substr:
        case Fn::Left:
        case Fn::Right: {
            qsizetype start = 0, len = a.text.size();
            if (fn_ == Fn::Substr) {
                start = qsizetype(clampedCount(args_[1]->eval(ctx).number)) - 1;
                if (args_.size() > 2) len = qsizetype(clampedCount(args_[2]->eval(ctx).number));
            } else {
                len = qsizetype(clampedCount(args_[1]->eval(ctx).number));
                if (fn_ == Fn::Right) start = a.text.size() - std::max<qsizetype>(0, len);
            }
            if (start < 0) start = 0;
            if (len < 0 || start >= a.text.size()) return makeText(QByteArray());
            return makeText(a.text.mid(start, len));
        }
        case Fn::Str: {
            const long long len = args_.size() > 1 ? clampedCount(args_[1]->eval(ctx).number) : 10;
            const long long dec = args_.size() > 2 ? clampedCount(args_[2]->eval(ctx).number) : 0;
            return makeText(formatNumber(a.number, int(std::clamp(len, 1LL, 20LL)), int(std::clamp(dec, 0LL, 18LL))));
        }
        case Fn::Val: return makeNumber(NumberFromDbf(a.text.constData(), int(a.text.size())));
        case Fn::Empty:
            switch (a.type) {
            case ExprType::Character: return makeLogical(a.text.trimmed().isEmpty());
            case ExprType::Logical: return makeLogical(!a.logical);
            default: return makeLogical(a.number == 0);
            }
        default: return {};
        }
    }
    bool readsFields() const override {
        for (const auto& a : args_)
            if (a->readsFields()) return true;
        return fn_ == Fn::Recno;
    }
    bool readsDeleted() const override {
        if (fn_ == Fn::Deleted) return true;
        for (const auto& a : args_)
            if (a->readsDeleted()) return true;
        return false;
    }

    static QByteArray formatNumber(double v, int len, int dec) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%*.*f", len, dec, v);
        QByteArray s(buf);
        if (s.size() > len) return QByteArray(len, '*');
        return s;
    }

private:
    Fn fn_;
    std::vector<NodePtr> args_;
};

// ---- parser --------------------------------------------------------------------

enum class Tok { End, Ident, Number, String, LogicalLit, LParen, RParen, Comma, Plus, Minus, Star, Slash, Eq, ExactEq, Ne, Lt, Gt, Le, Ge, Dollar, And, Or, Not, Arrow };

struct Token {
    Tok kind = Tok::End;
    QByteArray text;  // identifier (upper case) or string contents
    double number = 0;
    bool logical = false;
    int pos = 0;
};

class Parser {
public:
    Parser(const QByteArray& text, const DbfHeader& table) : s_(text), table_(table) { next(); }

    NodePtr parseAll() {
        NodePtr n = parseOr();
        if (tok_.kind != Tok::End) fail(QStringLiteral("unexpected text"));
        return n;
    }
    QByteArray canonical;

private:
    [[noreturn]] void fail(const QString& why, int pos = -1) const {
        ThrowDbError(ecDbBadExpression, QStringLiteral("\"%1\": %2 at position %3")
                                            .arg(QString::fromLatin1(s_), why)
                                            .arg((pos < 0 ? tok_.pos : pos) + 1));
    }

    char peekChar(int i) const { return i < s_.size() ? s_[i] : '\0'; }

    static bool identStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool identChar(char c) { return identStart(c) || (c >= '0' && c <= '9'); }

    void next() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
        tok_ = Token();
        tok_.pos = i_;
        if (i_ >= s_.size()) return;
        const char c = s_[i_];
        if (c == '.') {
            // .T. .F. .Y. .N. .AND. .OR. .NOT. -- or a number like .5
            int j = i_ + 1;
            while (j < s_.size() && identStart(s_[j])) ++j;
            if (j > i_ + 1 && peekChar(j) == '.') {
                const QByteArray word = s_.mid(i_ + 1, j - i_ - 1).toUpper();
                i_ = j + 1;
                if (word == "T" || word == "Y") { tok_.kind = Tok::LogicalLit; tok_.logical = true; return; }
                if (word == "F" || word == "N") { tok_.kind = Tok::LogicalLit; tok_.logical = false; return; }
                if (word == "AND") { tok_.kind = Tok::And; return; }
                if (word == "OR") { tok_.kind = Tok::Or; return; }
                if (word == "NOT") { tok_.kind = Tok::Not; return; }
                fail(QStringLiteral("unknown operator .%1.").arg(QString::fromLatin1(word)), tok_.pos);
            }
        }
        if ((c >= '0' && c <= '9') || (c == '.' && peekChar(i_ + 1) >= '0' && peekChar(i_ + 1) <= '9')) {
            int j = i_;
            while (j < s_.size() && ((s_[j] >= '0' && s_[j] <= '9') || s_[j] == '.')) ++j;
            const QByteArray num = s_.mid(i_, j - i_);
            bool ok = false;
            tok_.number = num.toDouble(&ok);
            if (!ok) fail(QStringLiteral("bad number"), i_);
            tok_.kind = Tok::Number;
            tok_.text = num;
            i_ = j;
            return;
        }
        if (identStart(c)) {
            int j = i_;
            while (j < s_.size() && identChar(s_[j])) ++j;
            tok_.text = s_.mid(i_, j - i_).toUpper();
            i_ = j;
            tok_.kind = Tok::Ident;
            if (tok_.text == "AND") tok_.kind = Tok::And;
            else if (tok_.text == "OR") tok_.kind = Tok::Or;
            else if (tok_.text == "NOT") tok_.kind = Tok::Not;
            return;
        }
        if (c == '"' || c == '\'' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const int end = s_.indexOf(close, i_ + 1);
            if (end < 0) fail(QStringLiteral("unterminated string"), i_);
            tok_.kind = Tok::String;
            tok_.text = s_.mid(i_ + 1, end - i_ - 1);
            i_ = end + 1;
            return;
        }
        ++i_;
        switch (c) {
        case '(': tok_.kind = Tok::LParen; return;
        case ')': tok_.kind = Tok::RParen; return;
        case ',': tok_.kind = Tok::Comma; return;
        case '+': tok_.kind = Tok::Plus; return;
        case '-':
            if (peekChar(i_) == '>') { ++i_; tok_.kind = Tok::Arrow; return; }
            tok_.kind = Tok::Minus;
            return;
        case '*': tok_.kind = Tok::Star; return;
        case '/': tok_.kind = Tok::Slash; return;
        case '$': tok_.kind = Tok::Dollar; return;
        case '#': tok_.kind = Tok::Ne; return;
        case '=':
            if (peekChar(i_) == '=') { ++i_; tok_.kind = Tok::ExactEq; return; }
            tok_.kind = Tok::Eq;
            return;
        case '!':
            if (peekChar(i_) == '=') { ++i_; tok_.kind = Tok::Ne; return; }
            tok_.kind = Tok::Not;
            return;
        case '<':
            if (peekChar(i_) == '>') { ++i_; tok_.kind = Tok::Ne; return; }
            if (peekChar(i_) == '=') { ++i_; tok_.kind = Tok::Le; return; }
            tok_.kind = Tok::Lt;
            return;
        case '>':
            if (peekChar(i_) == '=') { ++i_; tok_.kind = Tok::Ge; return; }
            tok_.kind = Tok::Gt;
            return;
        default: break;
        }
        fail(QStringLiteral("unexpected character '%1'").arg(QChar::fromLatin1(c)), i_ - 1);
    }

    static const char* typeName(ExprType t) {
        switch (t) {
        case ExprType::Character: return "character";
        case ExprType::Numeric: return "numeric";
        case ExprType::Date: return "date";
        case ExprType::Logical: return "logical";
        }
        return "";
    }

    void expectType(const NodePtr& n, ExprType t, int pos) const {
        if (n->type != t)
            fail(QStringLiteral("%1 value where %2 is needed").arg(QLatin1String(typeName(n->type)), QLatin1String(typeName(t))), pos);
    }

    struct DepthGuard {
        explicit DepthGuard(Parser& p) : p_(p) {
            if (++p_.depth_ > 64) p_.fail(QStringLiteral("nested too deeply"));
        }
        ~DepthGuard() { --p_.depth_; }
        Parser& p_;
    };

    NodePtr parseOr() {
        DepthGuard guard(*this);
        NodePtr a = parseAnd();
        while (tok_.kind == Tok::Or) {
            const int pos = tok_.pos;
            canonical += ".OR.";
            next();
            NodePtr b = parseAnd();
            expectType(a, ExprType::Logical, pos);
            expectType(b, ExprType::Logical, pos);
            a = std::make_unique<Binary>(Binary::Or, ExprType::Logical, 1, std::move(a), std::move(b));
        }
        return a;
    }

    NodePtr parseAnd() {
        NodePtr a = parseNot();
        while (tok_.kind == Tok::And) {
            const int pos = tok_.pos;
            canonical += ".AND.";
            next();
            NodePtr b = parseNot();
            expectType(a, ExprType::Logical, pos);
            expectType(b, ExprType::Logical, pos);
            a = std::make_unique<Binary>(Binary::And, ExprType::Logical, 1, std::move(a), std::move(b));
        }
        return a;
    }

    NodePtr parseNot() {
        if (tok_.kind == Tok::Not) {
            DepthGuard guard(*this);
            const int pos = tok_.pos;
            canonical += ".NOT.";
            next();
            NodePtr a = parseNot();
            expectType(a, ExprType::Logical, pos);
            return std::make_unique<Unary>(Unary::Not, std::move(a));
        }
        return parseComparison();
    }

    NodePtr parseComparison() {
        NodePtr a = parseAdditive();
        Binary::Op op;
        const char* spelled;
        switch (tok_.kind) {
        case Tok::Eq: op = Binary::Eq; spelled = "="; break;
        case Tok::ExactEq: op = Binary::ExactEq; spelled = "=="; break;
        case Tok::Ne: op = Binary::Ne; spelled = "<>"; break;
        case Tok::Lt: op = Binary::Lt; spelled = "<"; break;
        case Tok::Gt: op = Binary::Gt; spelled = ">"; break;
        case Tok::Le: op = Binary::Le; spelled = "<="; break;
        case Tok::Ge: op = Binary::Ge; spelled = ">="; break;
        case Tok::Dollar: op = Binary::Contains; spelled = "$"; break;
        default: return a;
        }
        const int pos = tok_.pos;
        canonical += spelled;
        next();
        NodePtr b = parseAdditive();
        if (op == Binary::Contains) {
            expectType(a, ExprType::Character, pos);
            expectType(b, ExprType::Character, pos);
        } else if (a->type != b->type) {
            fail(QStringLiteral("cannot compare %1 with %2").arg(QLatin1String(typeName(a->type)), QLatin1String(typeName(b->type))), pos);
        }
        return std::make_unique<Binary>(op, ExprType::Logical, 1, std::move(a), std::move(b));
    }

    NodePtr parseAdditive() {
        NodePtr a = parseMultiplicative();
        while (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
            const bool plus = tok_.kind == Tok::Plus;
            const int pos = tok_.pos;
            canonical += plus ? "+" : "-";
            next();
            NodePtr b = parseMultiplicative();
            ExprType t;
            int w = 8;
            if (a->type == ExprType::Character && b->type == ExprType::Character) {
                t = ExprType::Character;
                w = a->width + b->width;
            } else if (a->type == ExprType::Numeric && b->type == ExprType::Numeric) {
                t = ExprType::Numeric;
            } else if (a->type == ExprType::Date && b->type == ExprType::Numeric) {
                t = ExprType::Date;
            } else if (plus && a->type == ExprType::Numeric && b->type == ExprType::Date) {
                t = ExprType::Date;
            } else if (!plus && a->type == ExprType::Date && b->type == ExprType::Date) {
                t = ExprType::Numeric;
            } else {
                fail(QStringLiteral("cannot %1 %2 and %3").arg(plus ? "add" : "subtract", QLatin1String(typeName(a->type)), QLatin1String(typeName(b->type))), pos);
            }
            a = std::make_unique<Binary>(plus ? Binary::Add : Binary::Sub, t, w, std::move(a), std::move(b));
        }
        return a;
    }

    NodePtr parseMultiplicative() {
        NodePtr a = parseUnary();
        while (tok_.kind == Tok::Star || tok_.kind == Tok::Slash) {
            const bool mul = tok_.kind == Tok::Star;
            const int pos = tok_.pos;
            canonical += mul ? "*" : "/";
            next();
            NodePtr b = parseUnary();
            expectType(a, ExprType::Numeric, pos);
            expectType(b, ExprType::Numeric, pos);
            a = std::make_unique<Binary>(mul ? Binary::Mul : Binary::Div, ExprType::Numeric, 8, std::move(a), std::move(b));
        }
        return a;
    }

    NodePtr parseUnary() {
        if (tok_.kind == Tok::Minus || tok_.kind == Tok::Plus) {
            DepthGuard guard(*this);
            const bool minus = tok_.kind == Tok::Minus;
            const int pos = tok_.pos;
            canonical += minus ? "-" : "+";
            next();
            NodePtr a = parseUnary();
            expectType(a, ExprType::Numeric, pos);
            if (!minus) return a;
            return std::make_unique<Unary>(Unary::Negate, std::move(a));
        }
        return parsePrimary();
    }

    NodePtr parsePrimary() {
        const Token t = tok_;
        switch (t.kind) {
        case Tok::Number:
            canonical += t.text;
            next();
            return std::make_unique<Literal>(makeNumber(t.number));
        case Tok::String:
            canonical += '"' + t.text + '"';
            next();
            return std::make_unique<Literal>(makeText(t.text));
        case Tok::LogicalLit:
            canonical += t.logical ? ".T." : ".F.";
            next();
            return std::make_unique<Literal>(makeLogical(t.logical));
        case Tok::LParen: {
            canonical += '(';
            next();
            NodePtr n = parseOr();
            if (tok_.kind != Tok::RParen) fail(QStringLiteral("')' expected"));
            canonical += ')';
            next();
            return n;
        }
        case Tok::Ident: {
            next();
            if (tok_.kind == Tok::LParen) return parseCall(t);
            QByteArray name = t.text;
            if (tok_.kind == Tok::Arrow) {  // alias->FIELD: the alias is the table itself
                next();
                if (tok_.kind != Tok::Ident) fail(QStringLiteral("field name expected after ->"));
                name = tok_.text;
                next();
            }
            return fieldRef(name, t.pos);
        }
        case Tok::End: fail(QStringLiteral("unexpected end"));
        default: fail(QStringLiteral("unexpected symbol"));
        }
    }

    NodePtr fieldRef(const QByteArray& name, int pos) {
        const int idx = table_.fieldIndex(name);
        if (idx < 0) fail(QStringLiteral("unknown field %1").arg(QString::fromLatin1(name)), pos);
        const DbfField& f = table_.fields[size_t(idx)];
        ExprType type;
        switch (f.type) {
        case 'C': type = ExprType::Character; break;
        case 'N':
        case 'F': type = ExprType::Numeric; break;
        case 'D': type = ExprType::Date; break;
        case 'L': type = ExprType::Logical; break;
        default: fail(QStringLiteral("field %1 of type %2 cannot be used in an expression").arg(QString::fromLatin1(name), QChar::fromLatin1(f.type)), pos);
        }
        canonical += name;
        return std::make_unique<FieldRef>(f, type);
    }

    NodePtr parseCall(const Token& nameTok) {
        struct FunctionInfo { const char* name; Fn fn; int minArgs, maxArgs; };
        static const FunctionInfo functions[] = {
            {"DTOS", Fn::Dtos, 1, 1},     {"UPPER", Fn::Upper, 1, 1},   {"LOWER", Fn::Lower, 1, 1},
            {"TRIM", Fn::Trim, 1, 1},     {"RTRIM", Fn::Trim, 1, 1},    {"LTRIM", Fn::Ltrim, 1, 1},
            {"ALLTRIM", Fn::Alltrim, 1, 1}, {"SUBSTR", Fn::Substr, 2, 3}, {"LEFT", Fn::Left, 2, 2},
            {"RIGHT", Fn::Right, 2, 2},   {"STR", Fn::Str, 1, 3},       {"VAL", Fn::Val, 1, 1},
            {"EMPTY", Fn::Empty, 1, 1},   {"DELETED", Fn::Deleted, 0, 0}, {"RECNO", Fn::Recno, 0, 0},
        };
        const FunctionInfo* info = nullptr;
        for (const FunctionInfo& s : functions)
            if (nameTok.text == s.name) info = &s;
        if (!info) fail(QStringLiteral("unknown function %1()").arg(QString::fromLatin1(nameTok.text)), nameTok.pos);
        canonical += QByteArray(info->name == std::string_view("RTRIM") ? "TRIM" : info->name) + '(';
        next();  // '('
        std::vector<NodePtr> args;
        std::vector<int> argPos;
        if (tok_.kind != Tok::RParen) {
            for (;;) {
                argPos.push_back(tok_.pos);
                args.push_back(parseOr());
                if (tok_.kind == Tok::Comma) {
                    canonical += ',';
                    next();
                    continue;
                }
                break;
            }
        }
        if (tok_.kind != Tok::RParen) fail(QStringLiteral("')' expected"));
        canonical += ')';
        next();
        if (int(args.size()) < info->minArgs || int(args.size()) > info->maxArgs)
            fail(QStringLiteral("%1() takes %2 argument(s)").arg(QLatin1String(info->name)).arg(info->minArgs == info->maxArgs ? QString::number(info->minArgs) : QStringLiteral("%1 to %2").arg(info->minArgs).arg(info->maxArgs)), nameTok.pos);

        ExprType type = ExprType::Character;
        int width = args.empty() ? 0 : args[0]->width;
        auto literalNumber = [&](size_t i, int fallback) {
            if (auto* lit = dynamic_cast<Literal*>(args[i].get()))
                return int(std::clamp(clampedCount(lit->eval(ExprContext{}).number), -100000LL, 100000LL));
            return fallback;
        };
        switch (info->fn) {
        case Fn::Dtos:
            expectType(args[0], ExprType::Date, argPos[0]);
            width = 8;
            break;
        case Fn::Upper:
        case Fn::Lower:
        case Fn::Trim:
        case Fn::Ltrim:
        case Fn::Alltrim: expectType(args[0], ExprType::Character, argPos[0]); break;
        case Fn::Substr:
        case Fn::Left:
        case Fn::Right:
            expectType(args[0], ExprType::Character, argPos[0]);
            for (size_t i = 1; i < args.size(); ++i) expectType(args[i], ExprType::Numeric, argPos[i]);
            if (info->fn == Fn::Substr && args.size() > 2) width = std::clamp(literalNumber(2, width), 0, width);
            else if (info->fn != Fn::Substr) width = std::clamp(literalNumber(1, width), 0, width);
            break;
        case Fn::Str:
            for (size_t i = 0; i < args.size(); ++i) expectType(args[i], ExprType::Numeric, argPos[i]);
            width = args.size() > 1 ? std::clamp(literalNumber(1, 20), 1, 20) : 10;
            break;
        case Fn::Val:
            expectType(args[0], ExprType::Character, argPos[0]);
            type = ExprType::Numeric;
            width = 8;
            break;
        case Fn::Empty:
        case Fn::Deleted:
            type = ExprType::Logical;
            width = 1;
            break;
        case Fn::Recno:
            type = ExprType::Numeric;
            width = 8;
            break;
        }
        return std::make_unique<Call>(info->fn, type, width, std::move(args));
    }

    QByteArray s_;
    const DbfHeader& table_;
    int i_ = 0;
    int depth_ = 0;
    Token tok_;
};

}  // namespace

// ---- Expression ------------------------------------------------------------------

Expression::~Expression() = default;

std::unique_ptr<Expression> Expression::compile(const QByteArray& text, const DbfHeader& table) {
    if (text.trimmed().isEmpty()) ThrowDbError(ecDbBadExpression, QStringLiteral("empty expression"));
    if (text.size() > 1024) ThrowDbError(ecDbBadExpression, QStringLiteral("expression longer than 1024 characters"));
    Parser p(text, table);
    std::unique_ptr<Expression> e(new Expression);
    e->root_ = p.parseAll();
    e->text_ = text;
    e->canonical_ = p.canonical;
    e->onlyDeleted_ = e->root_->readsDeleted() && !e->root_->readsFields();
    return e;
}

namespace {

// What compiling depends on besides the text: each field's name, type and place.
bool sameLayout(const std::vector<DbfField>& a, const std::vector<DbfField>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const DbfField& x, const DbfField& y) {
        return x.type == y.type && x.offset == y.offset && x.width == y.width && x.decimals == y.decimals &&
               x.binaryMemo == y.binaryMemo && x.name == y.name;
    });
}

}  // namespace

std::shared_ptr<const Expression> Expression::shared(const QByteArray& text, const DbfHeader& table) {
    struct Kept {
        QByteArray text;
        std::vector<DbfField> fields;
        std::shared_ptr<const Expression> expression;
    };
    // A few dozen entries cover the tags and filters of every table a
    // program has open; the oldest goes first.
    constexpr size_t kKept = 64;
    static std::mutex mutex;
    static std::deque<Kept> kept;
    {
        const std::lock_guard lock(mutex);
        for (const Kept& k : kept)
            if (k.text == text && sameLayout(k.fields, table.fields)) return k.expression;
    }
    std::shared_ptr<const Expression> e = compile(text, table);
    const std::lock_guard lock(mutex);
    kept.push_back({text, table.fields, e});
    if (kept.size() > kKept) kept.pop_front();
    return e;
}

ExprType Expression::type() const { return root_->type; }
int Expression::width() const { return root_->width; }

ExprValue Expression::evaluate(const ExprContext& ctx) const {
    ExprValue v = root_->eval(ctx);
    if (v.type == ExprType::Character && !v.text.data_ptr().d_ptr()) v.text = QByteArray(v.text.constData(), v.text.size());
    return v;
}

ExprValue Expression::evaluateInPlace(const ExprContext& ctx) const { return root_->eval(ctx); }

bool Expression::isTrue(const ExprContext& ctx) const {
    if (root_->type != ExprType::Logical) return false;
    return root_->eval(ctx).logical;
}

}  // namespace orv
