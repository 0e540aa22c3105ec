#pragma once
// Shared set-up of the store fuzz targets: a small, valid table (T.DBF with
// memos in T.FPT, some long, and four tags in T.CDX, one a tree of several
// levels) kept in memory; each input gets a fresh copy of those files with one
// of them replaced by the fuzzed bytes, so nothing touches the disk.
#include "store/memory_file_system.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orv::fuzz {

struct Fixture {
    QString dbf, fpt, cdx;
    QByteArray goodDbf, goodFpt, goodCdx;
    // The table cut to the records that have memos, without the deep tag
    // (made the same way, it has the same memo file, goodFpt): for the memo
    // target, so that each input does not pay for records and a tree that
    // the other targets cover.
    QByteArray shortDbf, shortCdx;
    MemoryFileSystem files;
};

const Fixture& fixture();

// What one input does with the table. An input's first byte picks the phase
// (its low two bits), the other bytes are the fuzzed file. Together the
// phases are the whole life of a table: checked, read, changed, packed; one
// input pays for one of them, so the cheap ones are not held back by pack.
// An input whose file does not open ends early in every phase but the check.
enum class Phase { Check, Read, Change, Pack };
inline constexpr Phase kPhases[] = {Phase::Check, Phase::Read, Phase::Change, Phase::Pack};
const char* phaseName(Phase phase);

struct Input {
    Phase phase;
    QByteArray bytes;
};
Input splitInput(const uint8_t* data, size_t size);

// What the reads walk: the records in the natural order (fields and memos),
// and every tag's order both ways with seeks. A target leaves out what its
// input cannot change (the index target's records are the fixture's).
struct Walk {
    bool records = true;
    bool tags = true;
};

// The table's three files (T.DBF, T.FPT, T.CDX) with these bytes; a null
// array leaves that file out.
std::unique_ptr<MemoryFileSystem> tableFiles(const QByteArray& dbf, const QByteArray& fpt, const QByteArray& cdx);
// Runs one phase on T.DBF:
//   Check:  the consistency check (table, memo pointers, every tag's keys).
//   Read:   opens read-only and walks the table.
//   Change: opens for writing, changes, deletes and appends a record and
//           writes a memo (the index kept up to date over damaged files),
//           then walks what that left.
//   Pack:   opens for writing, packs, walks the new files.
// Every error must be an EOrvException.
void exerciseTable(MemoryFileSystem& fs, Phase phase, Walk walk = {});

}  // namespace orv::fuzz
