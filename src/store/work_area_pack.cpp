// Pack: the live records copied into new table and memo files (through
// MemoWriter), committed by renames that a crash either finishes or undoes
// on the next open, then every tag rebuilt.
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

namespace {

// Buffered sequential writer for pack.
class SequentialWriter {
public:
    explicit SequentialWriter(FileHandle& f) : f_(f) { buf_.reserve(1 << 20); }
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

void WorkArea::pack() {
    requireWritable();
    if (mode_ != OpenMode::Exclusive) ThrowDbError(ecDbTableInUse, fileName(path_) + QStringLiteral(": packing needs exclusive use"));
    flush();
    report(0);
    const QString tmpDbf = path_ + ".tmp";
    const QString newDbf = path_ + ".new";
    const QString newFpt = memoPath_.isEmpty() ? QString() : memoPath_ + ".new";
    const bool withTags = !tags_.empty();
    const int packEnd = withTags ? 80 : 100;

    try {
        FileHandle out;
        if (!out.create(*fs_, tmpDbf)) ThrowIoError(QStringLiteral("cannot create"), tmpDbf);
        std::unique_ptr<MemoWriter> memoWriter;
        if (memo_.isOpen()) memoWriter = std::make_unique<MemoWriter>(*fs_, newFpt, memo_.blockSize());
        DbfHeader h = header_;
        h.transaction = 1;  // the index is rebuilt before this is cleared
        h.changeCounter = nextCounter(h.changeCounter);
        StampUpdateDate(h, QDate::currentDate());
        const QByteArray head = BuildDbfHeader(h);
        SequentialWriter w(out);
        w.write(head.constData(), size_t(head.size()));
        // Keep whatever a foreign writer put between the descriptors and the first record.
        if (header_.headerLength > head.size()) {
            std::vector<char> rest(size_t(header_.headerLength - head.size()));
            if (!dbf_.readAt(head.size(), rest.data(), qint64(rest.size()))) ThrowIoError(QStringLiteral("cannot read"), path_);
            w.write(rest.data(), rest.size());
        }
        uint32_t kept = 0;
        const uint32_t n = header_.recordCount;
        std::vector<char> rec(size_t(header_.recordLength));
        int last = -1;
        for (uint32_t r = 1; r <= n; ++r) {
            const char* src = recordAt(r);
            if (src[0] != kDbfDeleted) {
                std::memcpy(rec.data(), src, rec.size());
                if (memoWriter) {
                    for (size_t fi = 0; fi < header_.fields.size(); ++fi) {
                        const DbfField& f = header_.fields[fi];
                        if (!f.isMemo()) continue;
                        const uint32_t block = memoBlock(src, int(fi));
                        QByteArray pointer(f.width, ' ');
                        if (block != 0) {
                            const uint32_t newBlock = memoWriter->add(memo_.read(block));
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
                if (pct != last) report(last = pct);
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
        syncFolderOf(*fs_, tmpDbf);
        // Commit point: the complete new table under its ".new" name.
        renameOver(*fs_, tmpDbf, newDbf);
        syncFolderOf(*fs_, newDbf);
    } catch (...) {
        fs_->remove(tmpDbf);
        if (!newFpt.isEmpty()) fs_->remove(newFpt);
        throw;
    }
    if (!newFpt.isEmpty()) renameOver(*fs_, newFpt, memoPath_);
    renameOver(*fs_, newDbf, path_);
    syncFolderOf(*fs_, path_);

    // Reopen the new files; every tag is rebuilt for the new record numbers.
    unlock(0);
    unmap();
    memo_.close();
    dbf_.close();
    if (!dbf_.open(*fs_, path_, true)) ThrowIoError(QStringLiteral("cannot open"), path_);
    dbf_.lock(true);
    fileSize_ = dbf_.size();
    QByteArray head(int(std::min<qint64>(fileSize_, header_.headerLength)), '\0');
    if (!dbf_.readAt(0, head.data(), head.size())) ThrowIoError(QStringLiteral("cannot read"), path_);
    header_ = ParseDbfHeader(head.constData(), head.size(), fileSize_, fileName(path_));
    if (!memoPath_.isEmpty()) memo_.open(*fs_, memoPath_, true);
    mapFile();
    flagOnDisk_ = true;
    const int n = int(tags_.size());
    for (int i = 0; i < n; ++i) {
        rebuildTag(*tags_[size_t(i)], packEnd + (100 - packEnd) * i / n, packEnd + (100 - packEnd) * (i + 1) / n);
        tagStale_[size_t(i)] = false;
        indexDirty_[size_t(tags_[size_t(i)]->fileIndex)] = true;
    }
    if (indexPaths_.empty() || indexPaths_[0] != structuralIndexPath()) header_.flags &= uint8_t(~kDbfFlagStructuralCdx);
    flush();
    ++indexVersion_;
    goTop();
    report(100);
}

}  // namespace orv
