#pragma once
// The .FPT memo file of a FoxPro table: a 512-byte header (next free block and
// block size, big-endian) and memos of an 8-byte block header plus data.
// New memos are always appended (data first, then the header's next-free
// block), so a crash never leaves a table pointing at unwritten memo data.
#include "store/file_handle.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace orv {

class MemoFile {
public:
    // Writes an empty memo file (header only, padded to the first block).
    static void create(FileSystem& fs, const QString& path, int blockSize);
    // The bytes of an empty memo file (for writers that build files whole).
    static QByteArray emptyFile(int blockSize);

    // Opens and checks the header; raises EDatabase (ecDbDamagedMemo) or EInOutError.
    void open(FileSystem& fs, const QString& path, bool writable);
    void close() { file_.close(); }
    bool isOpen() const { return file_.isOpen(); }

    // The data of the memo at block; raises ecDbDamagedMemo when the block
    // number or length points outside the file.
    QByteArray read(uint32_t block) const;
    // What read() would raise for the memo at block, without reading it;
    // empty when it can be read.
    QString problem(uint32_t block) const;
    // The same question without the words.
    bool canRead(uint32_t block) const;
    // Appends a memo, returns its block number.
    uint32_t append(const QByteArray& data, uint32_t type = 1);
    void sync() { file_.sync(); }

    int blockSize() const { return blockSize_; }
    uint32_t nextFree() const { return nextFree_; }
    qint64 fileSize() const { return size_; }
    uint32_t firstBlock() const { return uint32_t((512 + blockSize_ - 1) / blockSize_); }
    const QString& path() const { return file_.path(); }

private:
    bool locate(uint32_t block, uint32_t& length, QString* why) const;
    FileHandle file_;
    int blockSize_ = 64;
    uint32_t nextFree_ = 8;
    qint64 size_ = 0;
};

// Writes a new memo file front to back in large pieces (pack copies the
// live memos into one): memos are added in order, and finish() writes the
// header's next free block and flushes the file to the disk.
class MemoWriter {
public:
    // sizeHint: about how many bytes the file will hold (the buffer is made
    // that large, up to the 1 MiB it writes at a time).
    MemoWriter(FileSystem& fs, const QString& path, int blockSize, qint64 sizeHint = 1 << 20);
    // Returns the memo's block number.
    uint32_t add(const QByteArray& data, uint32_t type = 1);
    void finish();

private:
    void drain();
    FileHandle file_;
    int blockSize_;
    std::vector<char> buffer_;
    qint64 written_ = 0;
    uint32_t nextFree_;
};

// Block size of a new memo file for a SET BLOCKSIZE-style value: 1..32 means
// that many 512-byte blocks, 33 and more means bytes; anything else gives 64.
int MemoBlockSizeFromSetting(int value);

}  // namespace orv
