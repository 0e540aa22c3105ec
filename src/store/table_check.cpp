#include "store/table_check.h"

#include "store/cdx_format.h"
#include "store/db_error.h"
#include "store/index_tag.h"
#include "store/memo_file.h"
#include "store/work_area.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <map>

namespace orv {
namespace {

bool validDate(const char* p) {
    bool blank = true;
    for (int i = 0; i < 8; ++i) blank = blank && p[i] == ' ';
    return blank || JulianDayFromDbf(p) != 0;
}

bool validNumber(const char* p, int width) {
    int i = 0;
    while (i < width && p[i] == ' ') ++i;
    if (i == width) return true;
    if (p[i] == '-' || p[i] == '+') ++i;
    bool digits = false, dot = false;
    for (; i < width; ++i) {
        if (p[i] >= '0' && p[i] <= '9') digits = true;
        else if (p[i] == '.' && !dot) dot = true;
        else if (p[i] == ' ') break;
        else return false;
    }
    for (; i < width; ++i)
        if (p[i] != ' ') return false;
    return digits;
}

}  // namespace

TableCheckResult CheckTable(const QString& path, FileSystem& fs) {
    TableCheckResult out;
    auto problem = [&](const QString& s) { out.problems << s; };
    const QString name = QFileInfo(path).fileName();

    QByteArray bytes;
    try {
        bytes = ReadWholeFile(fs, path);
    } catch (const EOrvException&) {
        problem(QStringLiteral("%1: cannot be opened").arg(path));
        return out;
    }
    DbfHeader h;
    try {
        h = ParseDbfHeader(bytes.constData(), bytes.size(), bytes.size(), name);
    } catch (const EOrvException& e) {
        problem(e.message());
        return out;
    }
    const qint64 dataEnd = h.recordOffset(h.recordCount + 1);
    if (bytes.size() == dataEnd) out.notes << QStringLiteral("%1: no end-of-file byte after the last record").arg(name);
    else if (uint8_t(bytes[dataEnd]) != kDbfEof) problem(QStringLiteral("%1: %2 bytes follow the last record").arg(name).arg(bytes.size() - dataEnd));
    else if (bytes.size() > dataEnd + 1) out.notes << QStringLiteral("%1: %2 bytes after the end-of-file byte").arg(name).arg(bytes.size() - dataEnd - 1);
    if (h.transaction) problem(QStringLiteral("%1: an update was interrupted (transaction byte set); the index may be stale").arg(name));
    for (const DbfField& fld : h.fields) {
        const int pos = int(&fld - h.fields.data());
        const char* d = bytes.constData() + 32 + 32 * pos;
        const uint32_t stored = uint32_t(uint8_t(d[12])) | uint32_t(uint8_t(d[13])) << 8 | uint32_t(uint8_t(d[14])) << 16 | uint32_t(uint8_t(d[15])) << 24;
        if (stored != 0 && int(stored) != fld.offset)
            out.notes << QStringLiteral("%1: field %2 says offset %3, the widths give %4").arg(name, QString::fromLatin1(fld.name)).arg(stored).arg(fld.offset);
    }

    // Memo file.
    MemoFile memo;
    bool memoOk = false;
    const QString memoPath = SiblingPath(path, QStringLiteral("FPT"), fs);
    if (h.hasMemoFields()) {
        if (!fs.exists(memoPath)) {
            problem(QStringLiteral("%1 is missing").arg(QFileInfo(memoPath).fileName()));
        } else {
            try {
                memo.open(fs, memoPath, false);
                memoOk = true;
            } catch (const EOrvException& e) {
                problem(e.message());
            }
        }
    }

    // Records.
    int shown = 0;
    // The message is made only for the problems that are shown: on a badly
    // damaged table most are counted, never read.
    auto recordProblem = [&](auto&& message) {
        if (++shown <= 50) problem(message());
    };
    std::map<uint32_t, uint32_t> memoOwners;
    for (uint32_t r = 1; r <= h.recordCount; ++r) {
        const char* rec = bytes.constData() + h.recordOffset(r);
        if (rec[0] != ' ' && rec[0] != '*') recordProblem([&] { return QStringLiteral("record %1: deletion flag 0x%2").arg(r).arg(uint8_t(rec[0]), 2, 16, QLatin1Char('0')); });
        for (size_t fi = 0; fi < h.fields.size(); ++fi) {
            const DbfField& fld = h.fields[fi];
            const char* p = rec + fld.offset;
            // Named only when something is wrong: a sound table is checked without formatting a line.
            auto where = [&] { return QStringLiteral("record %1, %2").arg(r).arg(QString::fromLatin1(fld.name)); };
            switch (fld.type) {
            case 'D':
                if (!validDate(p)) recordProblem([&] { return where() + QStringLiteral(": not a date"); });
                break;
            case 'N':
            case 'F':
                if (!validNumber(p, fld.width)) recordProblem([&] { return where() + QStringLiteral(": not a number"); });
                break;
            case 'L':
                if (!std::strchr("TtFfYyNn? ", p[0]) || p[0] == '\0') recordProblem([&] { return where() + QStringLiteral(": not a logical value"); });
                break;
            default: break;
            }
            if (!fld.isMemo()) continue;
            uint32_t block = 0;
            bool bad = false;
            if (fld.binaryMemo) {
                std::memcpy(&block, p, 4);
            } else {
                QByteArray digits = QByteArray(p, fld.width).trimmed();
                if (!digits.isEmpty()) block = digits.toUInt(&bad), bad = !bad;
            }
            if (bad) {
                recordProblem([&] { return where() + QStringLiteral(": memo pointer is not a number"); });
                continue;
            }
            if (block == 0) continue;
            if (!memoOk) continue;
            // A pointer outside the memo file is asked about (most damage is
            // that, and raising it for every record costs more than the rest
            // of the check); a memo that lies inside is read, so a file the
            // disk cannot read is still reported.
            QString why = memo.problem(block);
            if (why.isEmpty()) {
                try {
                    (void)memo.read(block);
                } catch (const EOrvException& e) {
                    why = e.message();
                }
            }
            if (!why.isEmpty()) {
                recordProblem([&] { return where() + QStringLiteral(": ") + why; });
                continue;
            }
            if (block >= memo.nextFree()) recordProblem([&] { return where() + QStringLiteral(": memo block %1 lies beyond the next free block %2").arg(block).arg(memo.nextFree()); });
            if (memoOwners.count(block)) recordProblem([&] { return where() + QStringLiteral(": memo block %1 is shared with record %2").arg(block).arg(memoOwners[block]); });
            memoOwners[block] = r;
        }
    }
    if (shown > 50) problem(QStringLiteral("... and %1 more record problems").arg(shown - 50));

    // Structural index.
    const QString cdxPath = SiblingPath(path, QStringLiteral("CDX"), fs);
    const bool flag = h.flags & kDbfFlagStructuralCdx;
    if (!fs.exists(cdxPath)) {
        if (flag) problem(QStringLiteral("%1: the table announces a structural index but %2 is missing").arg(name, QFileInfo(cdxPath).fileName()));
        return out;
    }
    if (!flag) out.notes << QStringLiteral("%1 exists but the table does not announce it").arg(QFileInfo(cdxPath).fileName());
    QByteArray cdx;
    try {
        cdx = ReadWholeFile(fs, cdxPath);
    } catch (const EOrvException&) {
        problem(QStringLiteral("%1: cannot be read").arg(cdxPath));
        return out;
    }
    const QString cdxName = QFileInfo(cdxPath).fileName();
    // Both files count the table's changes; an index with another count
    // missed some (the next writable open rebuilds it).
    if (h.changeCounter != 0 && h.transaction == 0 && ReadCdxChangeCounter(cdx) != h.changeCounter)
        problem(QStringLiteral("%1: index written at change %2, the table is at change %3")
                    .arg(cdxName).arg(ReadCdxChangeCounter(cdx)).arg(h.changeCounter));
    std::vector<CdxTagInfo> tags;
    try {
        tags = ReadCdxDirectory(cdx, cdxName);
    } catch (const EOrvException& e) {
        problem(e.message());
        return out;
    }
    for (const CdxTagInfo& info : tags) {
        const QString tagName = QString::fromLatin1(info.name);
        // The tag as the records call for it; its keys are filled in below.
        std::unique_ptr<IndexTag> expected;
        try {
            expected = std::make_unique<IndexTag>(info, h);
        } catch (const EOrvException& e) {
            problem(QStringLiteral("tag %1: %2").arg(tagName, e.message()));
            continue;
        }
        std::vector<char> keys;
        std::vector<uint32_t> recnos;
        try {
            ReadCdxKeys(cdx, info, expected->fill(), keys, recnos, cdxName);
        } catch (const EOrvException& e) {
            problem(QStringLiteral("tag %1: %2").arg(tagName, e.message()));
            continue;
        }
        // The keys the records call for.
        KeyBytes wantKeys;
        std::vector<uint32_t> wantRecs;
        const size_t kl = size_t(expected->keyLength());
        // Room for a small table's keys at once (a FOR condition may admit few of a large one).
        wantKeys.reserve(std::min<size_t>(h.recordCount, 4096) * kl);
        wantRecs.reserve(std::min<size_t>(h.recordCount, 4096));
        std::vector<char> key(kl);
        for (uint32_t r = 1; r <= h.recordCount; ++r) {
            const char* rec = bytes.constData() + h.recordOffset(r);
            if (!expected->admits(rec, r)) continue;
            expected->makeKey(rec, r, key.data());
            wantKeys.insert(wantKeys.end(), key.begin(), key.end());
            wantRecs.push_back(r);
        }
        expected->assign(std::move(wantKeys), std::move(wantRecs));
        int reported = 0;
        auto tagProblem = [&](auto&& message) {
            if (++reported <= 20) problem(QStringLiteral("tag %1: %2").arg(tagName, message()));
        };
        for (uint32_t r : recnos)
            if (r == 0 || r > h.recordCount) tagProblem([&] { return QStringLiteral("points at record %1, the table has %2").arg(r).arg(h.recordCount); });
        if (recnos.size() != expected->size())
            tagProblem([&] { return QStringLiteral("holds %1 keys, the records call for %2").arg(recnos.size()).arg(expected->size()); });
        const size_t n = std::min(recnos.size(), expected->size());
        for (size_t i = 0; i < n; ++i) {
            if (recnos[i] != expected->recnoAt(i) || std::memcmp(keys.data() + i * kl, expected->keyAt(i), kl) != 0) {
                tagProblem([&] { return QStringLiteral("entry %1 is record %2, expected record %3").arg(i + 1).arg(recnos[i]).arg(expected->recnoAt(i)); });
                break;
            }
        }
        if (reported > 20) problem(QStringLiteral("tag %1: ... and %2 more").arg(tagName).arg(reported - 20));
    }
    return out;
}

}  // namespace orv
