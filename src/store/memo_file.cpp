#include "store/memo_file.h"

#include "store/byte_order.h"
#include "store/db_error.h"

#include <QFileInfo>

#include <algorithm>

namespace orv {
namespace {

QString shortName(const QString& path) { return QFileInfo(path).fileName(); }

}  // namespace

int MemoBlockSizeFromSetting(int value) {
    if (value >= 1 && value <= 32) return value * 512;
    if (value >= 33 && value <= 65535) return value;
    return 64;
}

QByteArray MemoFile::emptyFile(int blockSize) {
    const uint32_t first = uint32_t((512 + blockSize - 1) / blockSize);
    QByteArray b(qsizetype(first) * blockSize, '\0');
    WriteBe32(b.data(), first);
    b[6] = char((blockSize >> 8) & 0xFF);
    b[7] = char(blockSize & 0xFF);
    return b;
}

void MemoFile::create(FileSystem& fs, const QString& path, int blockSize) {
    FileHandle f;
    if (!f.create(fs, path)) ThrowIoError(QStringLiteral("cannot create"), path);
    const QByteArray b = emptyFile(blockSize);
    f.writeAt(0, b.constData(), b.size());
}

void MemoFile::open(FileSystem& fs, const QString& path, bool writable) {
    if (!file_.open(fs, path, writable)) ThrowIoError(QStringLiteral("cannot open"), path);
    size_ = file_.size();
    char h[8];
    if (size_ < 512 || !file_.readAt(0, h, 8))
        ThrowDbError(ecDbDamagedMemo, shortName(path) + QStringLiteral(": shorter than a memo file header"));
    nextFree_ = ReadBe32(h);
    blockSize_ = uint8_t(h[6]) << 8 | uint8_t(h[7]);
    if (blockSize_ == 0) blockSize_ = int(ReadBe32(h + 4));  // some writers put a 32-bit size at 4
    if (blockSize_ < 33 || blockSize_ > 65535)
        ThrowDbError(ecDbDamagedMemo, shortName(path) + QStringLiteral(": block size %1").arg(blockSize_));
    if (nextFree_ < firstBlock())
        ThrowDbError(ecDbDamagedMemo, shortName(path) + QStringLiteral(": next free block %1").arg(nextFree_));
    // A next-free block past the end (a file cut short) is left alone: the
    // memos still inside the file stay readable, the others report damage
    // when read, and new memos simply go after the gap.
}

// Where the memo at block lies: its length, or why it cannot be read (the
// words only when asked for, since a scan over a damaged file asks often).
bool MemoFile::locate(uint32_t block, uint32_t& length, QString* why) const {
    const qint64 start = qint64(block) * blockSize_;
    char h[8];
    if (block < firstBlock() || start + 8 > size_ || !file_.readAt(start, h, 8)) {
        if (why) *why = shortName(file_.path()) + QStringLiteral(": memo block %1 lies outside the file").arg(block);
        return false;
    }
    length = ReadBe32(h + 4);
    if (qint64(length) > size_ - start - 8) {
        if (why) *why = shortName(file_.path()) + QStringLiteral(": memo at block %1 claims %2 bytes").arg(block).arg(length);
        return false;
    }
    return true;
}

bool MemoFile::canRead(uint32_t block) const {
    uint32_t length = 0;
    return locate(block, length, nullptr);
}

QString MemoFile::problem(uint32_t block) const {
    uint32_t length = 0;
    QString why;
    return locate(block, length, &why) ? QString() : DbErrorText(ecDbDamagedMemo, why);
}

QByteArray MemoFile::read(uint32_t block) const {
    uint32_t length = 0;
    QString why;
    if (!locate(block, length, &why)) ThrowDbError(ecDbDamagedMemo, why);
    QByteArray data(qsizetype(length), Qt::Uninitialized);
    if (length > 0 && !file_.readAt(qint64(block) * blockSize_ + 8, data.data(), length))
        ThrowDbError(ecDbDamagedMemo, shortName(file_.path()) + QStringLiteral(": memo at block %1 cannot be read").arg(block));
    return data;
}

uint32_t MemoFile::append(const QByteArray& data, uint32_t type) {
    // A damaged header may point its next free block far beyond the end of
    // the file; the new memo then goes at the end instead of opening a hole
    // of gigabytes in the file.
    const qint64 endBlock = std::max<qint64>((size_ + blockSize_ - 1) / blockSize_, firstBlock());
    const uint32_t block = qint64(nextFree_) > endBlock ? uint32_t(endBlock) : nextFree_;
    const qint64 total = 8 + data.size();
    const qint64 blocks = (total + blockSize_ - 1) / blockSize_;
    if (qint64(block) + blocks > 0xFFFFFFFFLL)
        ThrowDbError(ecDbDamagedMemo, shortName(file_.path()) + QStringLiteral(": memo file full"));
    QByteArray out(qsizetype(blocks * blockSize_), '\0');
    WriteBe32(out.data(), type);
    WriteBe32(out.data() + 4, uint32_t(data.size()));
    std::copy(data.constBegin(), data.constEnd(), out.begin() + 8);
    const qint64 start = qint64(block) * blockSize_;
    file_.writeAt(start, out.constData(), out.size());
    nextFree_ = uint32_t(block + blocks);
    char h[4];
    WriteBe32(h, nextFree_);
    file_.writeAt(0, h, 4);
    size_ = std::max(size_, start + out.size());
    return block;
}

MemoWriter::MemoWriter(FileSystem& fs, const QString& path, int blockSize, qint64 sizeHint) : blockSize_(blockSize) {
    if (!file_.create(fs, path)) ThrowIoError(QStringLiteral("cannot create"), path);
    const QByteArray empty = MemoFile::emptyFile(blockSize);
    buffer_.assign(empty.constBegin(), empty.constEnd());
    buffer_.reserve(size_t(std::clamp<qint64>(sizeHint, empty.size(), 1 << 20)));
    nextFree_ = uint32_t(empty.size() / blockSize);
}

uint32_t MemoWriter::add(const QByteArray& data, uint32_t type) {
    const uint32_t block = nextFree_;
    const qint64 blocks = (8 + qint64(data.size()) + blockSize_ - 1) / blockSize_;
    if (qint64(block) + blocks > 0xFFFFFFFFLL)
        ThrowDbError(ecDbDamagedMemo, shortName(file_.path()) + QStringLiteral(": memo file full"));
    const size_t at = buffer_.size();
    buffer_.resize(at + size_t(blocks * blockSize_), '\0');
    WriteBe32(buffer_.data() + at, type);
    WriteBe32(buffer_.data() + at + 4, uint32_t(data.size()));
    std::copy(data.constBegin(), data.constEnd(), buffer_.begin() + qsizetype(at) + 8);
    nextFree_ = uint32_t(block + blocks);
    if (buffer_.size() >= (1 << 20)) drain();
    return block;
}

void MemoWriter::drain() {
    if (buffer_.empty()) return;
    file_.writeAt(written_, buffer_.data(), qint64(buffer_.size()));
    written_ += qint64(buffer_.size());
    buffer_.clear();
}

void MemoWriter::finish() {
    drain();
    char h[4];
    WriteBe32(h, nextFree_);
    file_.writeAt(0, h, 4);
    file_.sync();
    file_.close();
}

}  // namespace orv
