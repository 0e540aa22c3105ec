#pragma once
// Shared set-up of the store fuzz targets: a small, valid table (T.DBF with
// memos in T.FPT, some long, and four tags in T.CDX, one a tree of several
// levels) kept in memory; each input gets a fresh copy of those files with one
// of them replaced by the fuzzed bytes, so nothing touches the disk.
#include "store/memory_file_system.h"

#include <QByteArray>
#include <QString>

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
// A copy of the fixture's files with one file's bytes replaced (or removed
// when bytes is null).
std::unique_ptr<MemoryFileSystem> filesWith(const QString& path, const QByteArray& bytes);
// Opens T.DBF read-only and reads every record, field, memo and tag, then
// opens it for writing and changes, deletes, appends and packs; every error
// must be an EOrvException.
void exerciseTable(MemoryFileSystem& fs);

}  // namespace orv::fuzz
