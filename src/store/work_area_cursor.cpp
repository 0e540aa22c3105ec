// The work area's cursor: the current record, navigation in natural or tag
// order, seeks, the query filter and positional access for grids.
#include "store/work_area.h"

#include "store/db_error.h"
#include "store/work_area_internal.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orv {
using namespace detail;

const char* WorkArea::recordData() const { return eof_ ? blank_.data() : recordAt(recno_); }

QByteArray WorkArea::getRecord() const { return QByteArray(recordData(), header_.recordLength); }

bool WorkArea::deleted() const { return !eof_ && recordAt(recno_)[0] == kDbfDeleted; }

bool WorkArea::isVisible(uint32_t recno) const {
    const char* r = recordAt(recno);
    if (settings_ && settings_->deleted && r[0] == kDbfDeleted) return false;
    if (query_ && !query_->isTrue(ExprContext{r, recno, settings_ && settings_->exact})) return false;
    return true;
}

bool WorkArea::visibilityImplied() const {
    const bool deletedOn = settings_ && settings_->deleted;
    if (order_ == 0) return !deletedOn && !query_;
    const IndexTag& t = *tags_[size_t(order_ - 1)];
    const QByteArray tagFor = t.forCondition() ? t.forCondition()->canonical() : QByteArray();
    if (deletedOn && tagFor != kNotDeleted) return false;
    if (query_ && query_->canonical() != tagFor) return false;
    return true;
}

bool WorkArea::orderIsAllVisible() const { return visibilityImplied(); }

size_t WorkArea::orderSize() const {
    if (order_ == 0) return header_.recordCount;
    const_cast<WorkArea*>(this)->ensureFresh(order_);
    return tags_[size_t(order_ - 1)]->size();
}

uint32_t WorkArea::recnoAtOrderPosition(size_t pos) const {
    if (order_ == 0) return uint32_t(pos + 1);
    const IndexTag& t = *tags_[size_t(order_ - 1)];
    return t.descending() ? t.recnoAt(t.size() - 1 - pos) : t.recnoAt(pos);
}

bool WorkArea::locateInOrder(size_t& pos) const {
    if (posValid_ && posRecno_ == recno_ && posVersion_ == indexVersion_) {
        pos = pos_;
        return posFound_;
    }
    bool found;
    if (order_ == 0) {
        pos = recno_ - 1;
        found = recno_ >= 1 && recno_ <= header_.recordCount;
    } else {
        const IndexTag& t = *tags_[size_t(order_ - 1)];
        const size_t n = t.size();
        std::vector<char> key(size_t(t.keyLength()));
        const char* rec = recordAt(recno_);
        t.makeKey(rec, recno_, key.data());
        const size_t i = t.lowerBound(key.data(), recno_);
        found = i < n && t.recnoAt(i) == recno_ && std::memcmp(t.keyAt(i), key.data(), key.size()) == 0 && t.admits(rec, recno_);
        pos = t.descending() ? (found ? n - 1 - i : n - i) : i;
    }
    posValid_ = true;
    posRecno_ = recno_;
    posVersion_ = indexVersion_;
    pos_ = pos;
    posFound_ = found;
    return found;
}

size_t WorkArea::orderPositionOf(uint32_t recno) const {
    if (recno < 1 || recno > header_.recordCount) return orderSize();
    if (order_ == 0) return recno - 1;
    const_cast<WorkArea*>(this)->ensureFresh(order_);
    const IndexTag& t = *tags_[size_t(order_ - 1)];
    std::vector<char> key(size_t(t.keyLength()));
    t.makeKey(recordAt(recno), recno, key.data());
    const size_t i = t.find(key.data(), recno);
    if (i == t.size()) return i;
    return t.descending() ? t.size() - 1 - i : i;
}

void WorkArea::setEof() {
    recno_ = header_.recordCount + 1;
    eof_ = true;
    posValid_ = false;
}

void WorkArea::setCurrent(uint32_t recno) {
    recno_ = recno;
    eof_ = bof_ = false;
}

bool WorkArea::walk(size_t begin, bool forward, long count) {
    const size_t size = orderSize();
    const bool all = visibilityImplied();
    auto take = [&](size_t q) {
        const uint32_t r = recnoAtOrderPosition(q);
        if (!(all || isVisible(r)) || --count > 0) return false;
        setCurrent(r);
        pos_ = q, posFound_ = true, posRecno_ = r, posVersion_ = indexVersion_, posValid_ = true;
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

void WorkArea::goTop() {
    refreshShared();
    ensureFresh(order_);
    bof_ = false;
    if (!walk(0, true, 1)) {
        setEof();
        bof_ = true;
    }
}

void WorkArea::goBottom() {
    refreshShared();
    ensureFresh(order_);
    bof_ = false;
    if (!walk(orderSize(), false, 1)) {
        setEof();
        bof_ = true;
    }
}

void WorkArea::skip(long n) {
    ensureFresh(order_);
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

void WorkArea::go(uint32_t recno) {
    if (recno >= 1 && recno <= header_.recordCount) {
        setCurrent(recno);
        posValid_ = false;
    } else {
        setEof();
        bof_ = false;
    }
}

bool WorkArea::seek(const QByteArray& keyBytes) {
    if (order_ == 0) ThrowDbError(ecDbNoSuchTag, fileName(path_) + QStringLiteral(": seek needs an index order"));
    ensureFresh(order_);
    const IndexTag& t = *tags_[size_t(order_ - 1)];
    const int n = std::min<int>(int(keyBytes.size()), t.keyLength());
    QByteArray wanted = keyBytes.left(n);
    if (settings_ && settings_->exact && t.fill() == ' ') wanted.append(QByteArray(t.keyLength() - n, ' '));
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
    if (settings_ && settings_->softSeek) {
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

void WorkArea::setQuery(const QByteArray& expr) {
    if (expr.trimmed().isEmpty()) {
        query_.reset();
        queryText_.clear();
        return;
    }
    auto q = Expression::compile(expr, header_);
    if (q->type() != ExprType::Logical)
        ThrowDbError(ecDbBadExpression, QStringLiteral("\"%1\" is not a condition").arg(QString::fromLatin1(expr)));
    query_ = std::move(q);
    queryText_ = expr;
}

uint32_t WorkArea::queryRecCount() const {
    const bool deletedOn = settings_ && settings_->deleted;
    // A tag whose FOR condition is the filter already holds exactly the passing records.
    for (size_t i = 0; i < tags_.size(); ++i) {
        const IndexTag& t = *tags_[i];
        if (t.unique() || tagStale_[i] || !t.forCondition()) continue;
        const QByteArray tagFor = t.forCondition()->canonical();
        if (deletedOn && tagFor != kNotDeleted) continue;
        if ((query_ && query_->canonical() == tagFor) || (!query_ && tagFor == kNotDeleted && deletedOn))
            return uint32_t(t.size());
    }
    uint32_t count = 0;
    for (uint32_t r = 1; r <= header_.recordCount; ++r)
        if (isVisible(r)) ++count;
    return count;
}

}  // namespace orv
