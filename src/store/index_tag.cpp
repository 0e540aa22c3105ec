#include "store/index_tag.h"

#include "store/db_error.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace orv {

IndexTag::IndexTag(const CdxTagInfo& info, const DbfHeader& table) : info_(info) {
    key_ = Expression::shared(info.keyExpr, table);
    if (!info.forExpr.trimmed().isEmpty()) {
        for_ = Expression::shared(info.forExpr, table);
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
    entries_ = SortedKeys(info_.keyLength);
}

void IndexTag::makeKey(const char* record, uint32_t recno, char* out) const {
    const ExprValue v = key_->evaluateInPlace(ExprContext{record, recno, false});
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

size_t IndexTag::lowerBound(const char* key, uint32_t recno) const { return entries_.lowerBound(key, recno); }

size_t IndexTag::lowerBoundPrefix(const char* key, int n) const { return entries_.lowerBoundPrefix(key, size_t(std::max(n, 0))); }

size_t IndexTag::find(const char* key, uint32_t recno) const {
    const size_t i = lowerBound(key, recno);
    if (i < size() && recnoAt(i) == recno && std::memcmp(keyAt(i), key, size_t(info_.keyLength)) == 0) return i;
    return size();
}

size_t IndexTag::insert(const char* key, uint32_t recno) {
    const size_t kl = size_t(info_.keyLength);
    const size_t i = lowerBound(key, recno);
    if (unique()) {
        // Only the first record of a key value is indexed.
        if (i > 0 && std::memcmp(keyAt(i - 1), key, kl) == 0) return npos;
        if (i < size() && std::memcmp(keyAt(i), key, kl) == 0) return npos;
    }
    entries_.insert(i, key, recno);
    return i;
}

size_t IndexTag::remove(const char* key, uint32_t recno) {
    const size_t i = find(key, recno);
    if (i == size()) return npos;
    entries_.erase(i);
    return i;
}

void IndexTag::clear() {
    entries_.clear();
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
    SortedKeys sorted(info_.keyLength);
    sorted.reserve(n);
    for (size_t j = 0; j < n; ++j) {
        const char* key = k + order[j] * kl;
        if (unique() && !sorted.empty() && std::memcmp(sorted.last(), key, kl) == 0) continue;
        std::memcpy(sorted.next(), key, kl);
        sorted.push(recnos[order[j]]);
    }
    entries_ = std::move(sorted);
}

}  // namespace orv
