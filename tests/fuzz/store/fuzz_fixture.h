#pragma once
// Shared set-up of the store fuzz targets: a private folder with a small,
// valid table (T.DBF with memos in T.FPT and three tags in T.CDX) whose
// files the targets replace one at a time with fuzzed bytes.
#include <QByteArray>
#include <QString>

namespace orv::fuzz {

struct Fixture {
    QString dir;
    QString dbf, fpt, cdx;
    QByteArray goodDbf, goodFpt, goodCdx;
};

const Fixture& fixture();
void writeBytes(const QString& path, const uint8_t* data, size_t size);
void writeBytes(const QString& path, const QByteArray& bytes);
// Opens T.DBF read-only and reads every record, field, memo and tag; every
// error must be an EOrvException.
void exerciseTable();

}  // namespace orv::fuzz
