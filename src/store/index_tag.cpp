#include "store/index_tag.h"

#include "store/db_error.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace orv {

IndexTag::IndexTag(const CdxTagInfo& info, const DbfHeader& table) : info_(info) {
    key_ = Expression::compile(info.keyExpr, table);
    if (!info.forExpr.trimmed().isEmpty()) {
        for_ = Expression::compile(info.forExpr, table);
        if (for_->type() != ExprType::Logical)
            ThrowDbError(ecDbBadExpression, QStringLiteral("FOR condition \"%1\" is not logical").arg(QString::fromLatin1(info.forExpr)));
    }
    const int width = key_->width();
    if (key_->type() == ExprType::Character) {
        fill_ = ' ';
        if (width < 1 || width > 240)
            ThrowDbError(ecDbBadDefinition, QStringLiteral("key \"%1\" is %2 bytes wide (1 to 240 allowed)").arg(QString::fromLatin1(info.keyExpr)).arg(width));
    } else {
        fill_ = '\0';
    }
    const int wanted = key_->type() == ExprType::Character ? width : (key_->type() == ExprType::Logical ? 1 : 8);
    if (info_.keyLength == 0) info_.keyLength = wanted;
    if (info_.keyLength != wanted)
        ThrowDbError(ecDbDamagedIndex, QStringLiteral("tag %1: key length %2 does not match its expression (%3)")
                                           .arg(QString::fromLatin1(info.name))
                                           .arg(info_.keyLength)
                                           .arg(wanted));
}

void IndexTag::makeKey(const char* record, uint32_t recno, char* out) const {
    const ExprValue v = key_->evaluate(ExprContext{record, recno, false});
    const int kl = info_.keyLength;
    switch (v.type) {
    case ExprType::Character: {
        const int n = std::min<int>(kl, int(v.text.size()));
        std::memcpy(out, v.text.constData(), size_t(n));
        std::memset(out + n, ' ', size_t(kl - n));
        break;
    }
    case ExprType::Numeric:
    case ExprType::Date: EncodeNumericKey(v.number, out); break;
    case ExprType::Logical: out[0] = v.logical ? 'T' : 'F'; break;
    }
}

bool IndexTag::admits(const char* record, uint32_t recno) const {
    return !for_ || for_->isTrue(ExprContext{record, recno, false});
}

size_t IndexTag::lowerBound(const char* key, uint32_t recno) const {
    const size_t kl = size_t(info_.keyLength);
    size_t lo = 0, hi = recnos_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const int c = std::memcmp(keys_.data() + mid * kl, key, kl);
        if (c < 0 || (c == 0 && recnos_[mid] < recno)) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

size_t IndexTag::lowerBoundPrefix(const char* key, int n) const {
    const size_t kl = size_t(info_.keyLength);
    n = std::min(n, info_.keyLength);
    size_t lo = 0, hi = recnos_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (std::memcmp(keys_.data() + mid * kl, key, size_t(n)) < 0) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

size_t IndexTag::find(const char* key, uint32_t recno) const {
    const size_t i = lowerBound(key, recno);
    if (i < recnos_.size() && recnos_[i] == recno && std::memcmp(keyAt(i), key, size_t(info_.keyLength)) == 0) return i;
    return recnos_.size();
}

size_t IndexTag::insert(const char* key, uint32_t recno) {
    const size_t kl = size_t(info_.keyLength);
    const size_t i = lowerBound(key, recno);
    if (unique()) {
        // Only the first record of a key value is indexed.
        if (i > 0 && std::memcmp(keyAt(i - 1), key, kl) == 0) return npos;
        if (i < recnos_.size() && std::memcmp(keyAt(i), key, kl) == 0) return npos;
    }
    keys_.insert(keys_.begin() + std::ptrdiff_t(i * kl), key, key + kl);
    recnos_.insert(recnos_.begin() + std::ptrdiff_t(i), recno);
    return i;
}

size_t IndexTag::remove(const char* key, uint32_t recno) {
    const size_t i = find(key, recno);
    if (i == recnos_.size()) return npos;
    const size_t kl = size_t(info_.keyLength);
    keys_.erase(keys_.begin() + std::ptrdiff_t(i * kl), keys_.begin() + std::ptrdiff_t((i + 1) * kl));
    recnos_.erase(recnos_.begin() + std::ptrdiff_t(i));
    return i;
}

void IndexTag::clear() {
    keys_.clear();
    recnos_.clear();
    pages.reset();
}

void IndexTag::assign(KeyBytes&& keys, std::vector<uint32_t>&& recnos) {
    const size_t kl = size_t(info_.keyLength);
    pages.reset();
    const size_t n = recnos.size();
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    const char* k = keys.data();
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const int c = std::memcmp(k + a * kl, k + b * kl, kl);
        return c < 0 || (c == 0 && recnos[a] < recnos[b]);
    });
    keys_.resize(n * kl);
    recnos_.resize(n);
    size_t out = 0;
    for (size_t j = 0; j < n; ++j) {
        const uint32_t src = order[j];
        if (unique() && out > 0 && std::memcmp(keys_.data() + (out - 1) * kl, k + src * kl, kl) == 0) continue;
        std::memcpy(keys_.data() + out * kl, k + src * kl, kl);
        recnos_[out] = recnos[src];
        ++out;
    }
    keys_.resize(out * kl);
    recnos_.resize(out);
}

uint32_t IndexTag::maxRecno() const {
    uint32_t m = 0;
    for (uint32_t r : recnos_) m = std::max(m, r);
    return m;
}

}  // namespace orv
