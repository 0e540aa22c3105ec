// A tag's keys in chunks, against a plain sorted array doing the same:
// positions, searches, inserts that split full chunks, removals that drop
// and merge them, building in order and copying out.
#include "store/sorted_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace orv;

namespace {

// Wide keys, so a chunk holds few and a few thousand entries span many chunks.
constexpr int kLength = 240;

struct Flat {
    std::vector<std::string> keys;
    std::vector<uint32_t> recnos;
    size_t lowerBound(const std::string& key, uint32_t rec) const {
        size_t i = 0;
        while (i < keys.size() && (keys[i] < key || (keys[i] == key && recnos[i] < rec))) ++i;
        return i;
    }
};

std::string keyOf(uint32_t v) {
    std::string k(kLength, ' ');
    const std::string digits = std::to_string(v % 997);  // many duplicates
    k.replace(0, digits.size(), digits);
    k[kLength - 1] = char('a' + v % 3);
    return k;
}

void expectSame(const SortedKeys& s, const Flat& f, size_t op) {
    ASSERT_EQ(s.size(), f.keys.size()) << "op " << op;
    for (size_t i = 0; i < f.keys.size(); ++i) {
        ASSERT_EQ(s.recnoAt(i), f.recnos[i]) << "op " << op << " entry " << i;
        ASSERT_EQ(std::string(s.keyAt(i), kLength), f.keys[i]) << "op " << op << " entry " << i;
    }
    size_t total = 0;
    s.forEachRun([&](const char* keys, const uint32_t* recnos, size_t n) {
        ASSERT_GT(n, 0u) << "an empty chunk is kept";
        for (size_t j = 0; j < n; ++j) ASSERT_EQ(recnos[j], f.recnos[total + j]);
        ASSERT_EQ(std::string(keys, kLength), f.keys[total]);
        total += n;
    });
    ASSERT_EQ(total, f.keys.size());
}

}  // namespace

TEST(SortedKeys, ChangesOneEntryAtATimeAcrossManyChunksAsAPlainArrayWould) {
    std::mt19937 rng(7);
    SortedKeys s(kLength);
    Flat f;
    uint32_t nextRec = 1;
    auto insertOne = [&] {
        const uint32_t rec = nextRec++;
        const std::string key = keyOf(rng());
        const size_t at = s.lowerBound(key.data(), rec);
        ASSERT_EQ(at, f.lowerBound(key, rec));
        s.insert(at, key.data(), rec);
        f.keys.insert(f.keys.begin() + std::ptrdiff_t(at), key);
        f.recnos.insert(f.recnos.begin() + std::ptrdiff_t(at), rec);
    };
    auto eraseOne = [&] {
        const size_t at = rng() % f.keys.size();
        s.erase(at);
        f.keys.erase(f.keys.begin() + std::ptrdiff_t(at));
        f.recnos.erase(f.recnos.begin() + std::ptrdiff_t(at));
    };
    // Grow to thousands (chunks split), with some removals on the way.
    for (size_t op = 0; op < 3000; ++op) {
        if (rng() % 5 == 0 && !f.keys.empty()) eraseOne();
        else insertOne();
        if (op % 250 == 0) expectSame(s, f, op);
    }
    expectSame(s, f, 3000);
    // Keys at both ends: the front of the first chunk, the back of the last.
    const std::string low(kLength, ' '), high(kLength, '~');
    s.insert(0, low.data(), 0);
    f.keys.insert(f.keys.begin(), low);
    f.recnos.insert(f.recnos.begin(), 0);
    s.insert(s.size(), high.data(), nextRec);
    f.keys.push_back(high);
    f.recnos.push_back(nextRec);
    expectSame(s, f, 3001);
    // Searches for a key prefix land on the first of its keys.
    for (uint32_t v = 0; v < 997; v += 37) {
        const std::string probe = std::to_string(v);
        size_t want = 0;
        while (want < f.keys.size() && std::memcmp(f.keys[want].data(), probe.data(), probe.size()) < 0) ++want;
        EXPECT_EQ(s.lowerBoundPrefix(probe.data(), probe.size()), want) << probe;
    }
    // Shrink to a handful (chunks empty out and merge), then to none.
    for (size_t op = 0; f.keys.size() > 3; ++op) {
        eraseOne();
        if (op % 300 == 0) expectSame(s, f, 4000 + op);
    }
    expectSame(s, f, 9000);
    while (!f.keys.empty()) eraseOne();
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(s.lowerBound(low.data(), 0), 0u);
    EXPECT_EQ(s.last(), nullptr);
    insertOne();
    expectSame(s, f, 9001);
}

TEST(SortedKeys, BuildsInOrderAppendsRangesAndCopiesOut) {
    // Built the way the index reader fills it: key bytes at next(), then push().
    SortedKeys s(kLength);
    Flat f;
    s.reserve(500);
    for (uint32_t r = 1; r <= 1000; ++r) {  // past what was reserved
        const std::string key = keyOf(r * 3).substr(0, 4) + std::string(kLength - 4, char('0' + r % 10));
        f.keys.push_back(key);
        f.recnos.push_back(r);
    }
    std::sort(f.keys.begin(), f.keys.end());
    for (uint32_t r = 0; r < 1000; ++r) {
        const char* before = s.last();
        const std::string kept = before ? std::string(before, kLength) : std::string();
        std::memcpy(s.next(), f.keys[r].data(), kLength);
        if (before) {
            EXPECT_EQ(std::string(before, kLength), kept) << "the key before moved while the next was written";
        }
        s.push(f.recnos[r]);
        EXPECT_EQ(s.lastRecno(), f.recnos[r]);
    }
    expectSame(s, f, 0);
    EXPECT_EQ(s.maxRecno(), 1000u);

    // A range across chunk seams, copied flat and appended to another.
    std::vector<char> keys(300 * kLength);
    std::vector<uint32_t> recnos(300);
    s.copy(123, 300, keys.data(), recnos.data());
    SortedKeys t(kLength);
    t.append(keys.data(), recnos.data(), 100);
    t.append(s, 223, 200);
    ASSERT_EQ(t.size(), 300u);
    for (size_t i = 0; i < 300; ++i) {
        EXPECT_EQ(t.recnoAt(i), f.recnos[123 + i]);
        EXPECT_EQ(std::string(t.keyAt(i), kLength), f.keys[123 + i]);
    }
    EXPECT_THROW(s.copy(900, 101, keys.data(), recnos.data()), std::out_of_range);
    EXPECT_THROW(s.keyAt(1000), std::out_of_range);

    // Moved, the keys go along and the source is empty and usable.
    SortedKeys moved = std::move(s);
    EXPECT_EQ(moved.size(), 1000u);
    EXPECT_FALSE(moved == t);
    EXPECT_EQ(s.size(), 0u);  // NOLINT(bugprone-use-after-move): a moved-from set is empty by contract
    s.insert(0, f.keys[0].data(), 5);
    EXPECT_EQ(s.recnoAt(0), 5u);
    SortedKeys same(kLength);
    same.append(moved, 0, moved.size());
    EXPECT_TRUE(same == moved);
}
