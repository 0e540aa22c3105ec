// The cursor: the current record, navigation in natural or tag order,
// seeks, the query filter and positional access for grids.
#include "store/record_cursor.h"

#include "store/db_error.h"
#include "store/work_area_internal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace orv {
using namespace detail;

bool RecordCursor::deleted() const { return !eof_ && table_.recordAt(recno_)[0] == kDbfDeleted; }

bool RecordCursor::isVisible(uint32_t recno) const {
    const char* r = table_.recordAt(recno);
    if (settings() && settings()->deleted && r[0] == kDbfDeleted) return false;
    if (query_ && !query_->isTrue(ExprContext{r, recno, settings() && settings()->exact})) return false;
    return true;
}

bool RecordCursor::visibilityImplied() const {
    const bool deletedOn = settings() && settings()->deleted;
    if (order_ == 0) return !deletedOn && !query_;
    const IndexTag& t = index_.tag(order_);
    const QByteArray tagFor = t.forCondition() ? t.forCondition()->canonical() : QByteArray();
    if (deletedOn && tagFor != kNotDeleted) return false;
    if (query_ && query_->canonical() != tagFor) return false;
    return true;
}

size_t RecordCursor::orderSize() const {
    if (order_ == 0) return table_.header().recordCount;
    index_.ensureFresh(order_);
    return index_.tag(order_).size();
}

uint32_t RecordCursor::recnoAtOrderPosition(size_t pos) const {
    if (order_ == 0) return uint32_t(pos + 1);
    const IndexTag& t = index_.tag(order_);
    return t.descending() ? t.recnoAt(t.size() - 1 - pos) : t.recnoAt(pos);
}

bool RecordCursor::locateInOrder(size_t& pos) const {
    if (posValid_ && posRecno_ == recno_ && posVersion_ == index_.version()) {
        pos = pos_;
        return posFound_;
    }
    bool found;
    if (order_ == 0) {
        pos = recno_ - 1;
        found = recno_ >= 1 && recno_ <= table_.header().recordCount;
    } else {
        const IndexTag& t = index_.tag(order_);
        const size_t n = t.size();
        std::vector<char> key(size_t(t.keyLength()));
        const char* rec = table_.recordAt(recno_);
        t.makeKey(rec, recno_, key.data());
        const size_t i = t.lowerBound(key.data(), recno_);
        found = i < n && t.recnoAt(i) == recno_ && std::memcmp(t.keyAt(i), key.data(), key.size()) == 0 && t.admits(rec, recno_);
        pos = t.descending() ? (found ? n - 1 - i : n - i) : i;
    }
    posValid_ = true;
    posRecno_ = recno_;
    posVersion_ = index_.version();
    pos_ = pos;
    posFound_ = found;
    return found;
}

size_t RecordCursor::orderPositionOf(uint32_t recno) const {
    if (recno < 1 || recno > table_.header().recordCount) return orderSize();
    if (order_ == 0) return recno - 1;
    index_.ensureFresh(order_);
    const IndexTag& t = index_.tag(order_);
    std::vector<char> key(size_t(t.keyLength()));
    t.makeKey(table_.recordAt(recno), recno, key.data());
    const size_t i = t.find(key.data(), recno);
    if (i == t.size()) return i;
    return t.descending() ? t.size() - 1 - i : i;
}

void RecordCursor::setEof() {
    recno_ = table_.header().recordCount + 1;
    eof_ = true;
    posValid_ = false;
}

bool RecordCursor::walk(size_t begin, bool forward, long count) {
    const size_t size = orderSize();
    const bool all = visibilityImplied();
    auto take = [&](size_t q) {
        const uint32_t r = recnoAtOrderPosition(q);
        if (!(all || isVisible(r)) || --count > 0) return false;
        setCurrent(r);
        pos_ = q, posFound_ = true, posRecno_ = r, posVersion_ = index_.version(), posValid_ = true;
        return true;
    };
    if (forward) {
        for (size_t q = begin; q < size; ++q)
            if (take(q)) return true;
    } else {
        for (size_t q = std::min(begin, size); q-- > 0;)
            if (take(q)) return true;
    }
    return false;
}

void RecordCursor::goTop() {
    refresh();
    index_.ensureFresh(order_);
    bof_ = false;
    if (!walk(0, true, 1)) {
        setEof();
        bof_ = true;
    }
}

void RecordCursor::goBottom() {
    refresh();
    index_.ensureFresh(order_);
    bof_ = false;
    if (!walk(orderSize(), false, 1)) {
        setEof();
        bof_ = true;
    }
}

void RecordCursor::skip(long n) {
    index_.ensureFresh(order_);
    if (n == 0) return;
    if (n > 0) {
        if (eof_) return;
        size_t p;
        const bool found = locateInOrder(p);
        bof_ = false;
        if (!walk(found ? p + 1 : p, true, n)) setEof();
        return;
    }
    size_t p = orderSize();
    if (!eof_) locateInOrder(p);
    if (!walk(p, false, -n)) {
        goTop();
        bof_ = true;
    }
}

void RecordCursor::go(uint32_t recno) {
    if (recno >= 1 && recno <= table_.header().recordCount) {
        setCurrent(recno);
        posValid_ = false;
    } else {
        setEof();
        bof_ = false;
    }
}

bool RecordCursor::seek(const QByteArray& keyBytes) {
    if (order_ == 0) ThrowDbError(ecDbNoSuchTag, table_.name() + QStringLiteral(": seek needs an index order"));
    index_.ensureFresh(order_);
    const IndexTag& t = index_.tag(order_);
    const int n = std::min<int>(int(keyBytes.size()), t.keyLength());
    QByteArray wanted = keyBytes.left(n);
    if (settings() && settings()->exact && t.fill() == ' ') wanted.append(QByteArray(t.keyLength() - n, ' '));
    const int len = int(wanted.size());
    const size_t lo = t.lowerBoundPrefix(wanted.constData(), len);
    size_t hi = lo;
    while (hi < t.size() && std::memcmp(t.keyAt(hi), wanted.constData(), size_t(len)) == 0) ++hi;
    const size_t size = t.size();
    // Walk the matching block in presented order.
    for (size_t k = 0; k < hi - lo; ++k) {
        const size_t i = t.descending() ? hi - 1 - k : lo + k;
        if (isVisible(t.recnoAt(i))) {
            setCurrent(t.recnoAt(i));
            posValid_ = false;
            return true;
        }
    }
    if (settings() && settings()->softSeek) {
        // The first visible entry after where the key would stand.
        size_t q = t.descending() ? size - lo : hi;
        for (; q < size; ++q) {
            const uint32_t r = recnoAtOrderPosition(q);
            if (isVisible(r)) {
                setCurrent(r);
                posValid_ = false;
                return false;
            }
        }
    }
    setEof();
    return false;
}

void RecordCursor::setQuery(const QByteArray& expr) {
    if (expr.trimmed().isEmpty()) {
        query_.reset();
        queryText_.clear();
        return;
    }
    auto q = Expression::compile(expr, table_.header());
    if (q->type() != ExprType::Logical)
        ThrowDbError(ecDbBadExpression, QStringLiteral("\"%1\" is not a condition").arg(QString::fromLatin1(expr)));
    query_ = std::move(q);
    queryText_ = expr;
}

uint32_t RecordCursor::queryRecCount() const {
    const bool deletedOn = settings() && settings()->deleted;
    // A tag whose FOR condition is the filter already holds exactly the passing records.
    for (int order = 1; order <= index_.count(); ++order) {
        const IndexTag& t = index_.tag(order);
        if (t.unique() || index_.stale(size_t(order - 1)) || !t.forCondition()) continue;
        const QByteArray tagFor = t.forCondition()->canonical();
        if (deletedOn && tagFor != kNotDeleted) continue;
        if ((query_ && query_->canonical() == tagFor) || (!query_ && tagFor == kNotDeleted && deletedOn))
            return uint32_t(t.size());
    }
    uint32_t count = 0;
    for (uint32_t r = 1; r <= table_.header().recordCount; ++r)
        if (isVisible(r)) ++count;
    return count;
}

void RecordCursor::requireRecord() const {
    if (eof_ || recno_ < 1 || recno_ > table_.header().recordCount) ThrowDbError(ecDbNoRecord, table_.name());
}

int RecordCursor::setOrder(int order) {
    const int previous = order_;
    if (order < 0 || order > index_.count()) order = 0;
    order_ = order;
    index_.ensureFresh(order_);
    posValid_ = false;
    return previous;
}

void RecordCursor::refresh() {
    if (!table_.refreshHeader()) return;
    const QByteArray current = index_.tagName(order_);
    if (index_.reloadIfChanged()) {
        order_ = current.isEmpty() ? 0 : index_.tagArea(current);
        posValid_ = false;
    }
}

}  // namespace orv
