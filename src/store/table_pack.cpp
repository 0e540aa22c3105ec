// Pack: the live records copied into new table and memo files (through
// MemoWriter), committed by renames; and the roll-forward or clean-up of a
// pack a crash interrupted.
#include "store/table_pack.h"

#include "store/db_error.h"
#include "store/table_file.h"
#include "store/work_area_internal.h"

#include <QDate>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace orv {
using namespace detail;

namespace {

// Buffered sequential writer for pack: writes in pieces of 1 MiB, and a
// smaller table in one piece of its own size (a buffer of 1 MiB for a table
// of a few kilobytes is mostly never touched).
class SequentialWriter {
public:
    SequentialWriter(FileHandle& f, qint64 expected) : f_(f) { buf_.reserve(size_t(std::clamp<qint64>(expected, 0, 1 << 20))); }
    void write(const char* p, size_t n) {
        buf_.insert(buf_.end(), p, p + n);
        if (buf_.size() >= (1 << 20)) flush();
    }
    void flush() {
        if (buf_.empty()) return;
        f_.writeAt(pos_, buf_.data(), qint64(buf_.size()));
        pos_ += qint64(buf_.size());
        buf_.clear();
    }
    qint64 position() const { return pos_ + qint64(buf_.size()); }

private:
    FileHandle& f_;
    std::vector<char> buf_;
    qint64 pos_ = 0;
};

}  // namespace

void PackTable(TableFile& table, int progressEnd) {
    FileSystem& fs = table.fs();
    const DbfHeader& header = table.header();
    const MemoFile& memo = table.memo();
    const QString& path = table.path();
    const QString& memoPath = table.memoPath();
    const int packEnd = progressEnd;
    const QString tmpDbf = path + ".tmp";
    const QString newDbf = path + ".new";
    const QString newFpt = memoPath.isEmpty() ? QString() : memoPath + ".new";

    try {
        FileHandle out;
        if (!out.create(fs, tmpDbf)) ThrowIoError(QStringLiteral("cannot create"), tmpDbf);
        std::unique_ptr<MemoWriter> memoWriter;
        if (memo.isOpen()) memoWriter = std::make_unique<MemoWriter>(fs, newFpt, memo.blockSize(), memo.fileSize());
        DbfHeader h = header;
        h.transaction = 1;  // the index is rebuilt before this is cleared
        h.changeCounter = nextCounter(h.changeCounter);
        StampUpdateDate(h, QDate::currentDate());
        const QByteArray head = BuildDbfHeader(h);
        SequentialWriter w(out, qint64(header.headerLength) + qint64(header.recordCount) * header.recordLength + 1);
        w.write(head.constData(), size_t(head.size()));
        // Keep whatever a foreign writer put between the descriptors and the first record.
        if (header.headerLength > head.size()) {
            std::vector<char> rest(size_t(header.headerLength - head.size()));
            if (!table.dbf().readAt(head.size(), rest.data(), qint64(rest.size()))) ThrowIoError(QStringLiteral("cannot read"), path);
            w.write(rest.data(), rest.size());
        }
        uint32_t kept = 0;
        const uint32_t n = header.recordCount;
        std::vector<char> rec(size_t(header.recordLength));
        int last = -1;
        for (uint32_t r = 1; r <= n; ++r) {
            const char* src = table.recordAt(r);
            if (src[0] != kDbfDeleted) {
                std::memcpy(rec.data(), src, rec.size());
                if (memoWriter) {
                    for (size_t fi = 0; fi < header.fields.size(); ++fi) {
                        const DbfField& f = header.fields[fi];
                        if (!f.isMemo()) continue;
                        const uint32_t block = table.memoBlock(src, int(fi));
                        QByteArray pointer(f.width, ' ');
                        if (block != 0) {
                            const uint32_t newBlock = memoWriter->add(memo.read(block));
                            if (f.binaryMemo) {
                                for (int b = 0; b < 4; ++b) pointer[b] = char((newBlock >> (8 * b)) & 0xFF);
                            } else {
                                pointer = QByteArray::number(newBlock).rightJustified(f.width, ' ');
                            }
                        } else if (f.binaryMemo) {
                            pointer = QByteArray(4, '\0');
                        }
                        std::memcpy(rec.data() + f.offset, pointer.constData(), size_t(f.width));
                    }
                }
                w.write(rec.data(), rec.size());
                ++kept;
            }
            if ((r & 1023) == 0) {
                const int pct = int(qint64(packEnd) * r / n);
                if (pct != last) table.report(last = pct);
            }
        }
        const char eof = char(kDbfEof);
        w.write(&eof, 1);
        w.flush();
        h.recordCount = kept;
        const QByteArray fixed = BuildDbfFixedHeader(h);
        out.writeAt(0, fixed.constData(), fixed.size());
        out.sync();
        if (memoWriter) memoWriter->finish();
        out.close();
        // The new memo file's name must be on the disk before the commit
        // point, or a power cut could leave a finished pack without it.
        syncFolderOf(fs, tmpDbf);
        // Commit point: the complete new table under its ".new" name.
        renameOver(fs, tmpDbf, newDbf);
        syncFolderOf(fs, newDbf);
    } catch (...) {
        fs.remove(tmpDbf);
        if (!newFpt.isEmpty()) fs.remove(newFpt);
        throw;
    }
    if (!newFpt.isEmpty()) renameOver(fs, newFpt, memoPath);
    renameOver(fs, newDbf, path);
    syncFolderOf(fs, path);

    // Reopen the new files; the caller rebuilds every tag for the new record numbers.
    table.reopenAfterPack();
}

bool PackLeftovers(const FileSystem& fs, const QString& path) {
    const QString fpt = SiblingPath(path, QStringLiteral("FPT"), fs);
    const QString cdx = SiblingPath(path, QStringLiteral("CDX"), fs);
    return fs.exists(path + ".new") || fs.exists(path + ".tmp") || fs.exists(fpt + ".new") || fs.exists(TemporaryOf(cdx)) ||
           fs.exists(TemporaryOf(fpt)) || fs.exists(TemporaryOf(path));
}

bool RecoverInterruptedPack(FileSystem& fs, const QString& path) {
    const QString dbfNew = path + ".new";
    const QString fpt = SiblingPath(path, QStringLiteral("FPT"), fs);
    const QString fptNew = fpt + ".new";
    bool replaced = false;
    if (fs.exists(dbfNew)) {
        if (fs.exists(fptNew)) renameOver(fs, fptNew, fpt);
        renameOver(fs, dbfNew, path);
        replaced = true;
    } else {
        fs.remove(fptNew);
    }
    fs.remove(path + ".tmp");
    // Half-written replacements of the index or of a new table's files.
    for (const QString& f : {path, fpt, SiblingPath(path, QStringLiteral("CDX"), fs)}) fs.remove(TemporaryOf(f));
    syncFolderOf(fs, path);
    return replaced;
}

}  // namespace orv
