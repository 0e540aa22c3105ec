#pragma once
// Files kept in memory, for tests and fuzz targets: the store runs on them as
// on disk (locks always succeed), at memory speed, and a power cut can be
// simulated. Each file remembers what has been flushed (sync) and each folder
// which entries have been flushed (syncFolder); powerLoss() keeps only that,
// plus, when asked, a random choice of the writes and renames not yet flushed
// (a disk that wrote some of its cache before the power went). A write budget
// freezes the "disk" after a number of writes, as if the power went there:
// later writes still reach the files the program sees, but never the disk.
#include "store/file_system.h"

#include <map>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace orv {

class MemoryFileSystem final : public FileSystem {
public:
    MemoryFileSystem();
    ~MemoryFileSystem() override;
    // Copies share nothing (a snapshot of every file, flushed state included).
    MemoryFileSystem(const MemoryFileSystem& other);
    MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

    std::unique_ptr<OpenFile> open(const QString& path, bool writable) override;
    std::unique_ptr<OpenFile> create(const QString& path) override;
    bool exists(const QString& path) const override;
    bool remove(const QString& path) override;
    bool rename(const QString& from, const QString& to) override;
    bool syncFolder(const QString& folder) override;
    qint64 stamp(const QString& path) const override;

    // A file with the given contents, already durable.
    void put(const QString& path, const QByteArray& bytes);
    // The contents the program sees; empty optional when there is no such file.
    std::optional<QByteArray> contents(const QString& path) const;
    // Names of the files in a folder, sorted.
    std::vector<QString> list(const QString& folder) const;

    // Bytes read so far (through readAt; a mapped view is not counted).
    uint64_t bytesRead() const { return bytesRead_; }
    // Changes (writes, resizes, creations, renames, removals, flushes) made so far.
    uint64_t changeCount() const { return changes_; }
    // After this many further changes the disk keeps nothing more; a negative
    // value lifts the limit.
    void setChangeBudget(long changes) { budget_ = changes; }
    bool frozen() const { return frozen_; }

    // The power goes: every open file becomes invalid (close them first),
    // and the files are what the disk held: flushed data and entries, plus
    // with keepSome a random part of what was still pending.
    void powerLoss(std::mt19937* keepSome = nullptr);

    // Copies the files of a folder to and from a real folder.
    void saveTo(const QString& folder, const QString& realFolder) const;
    void loadFrom(const QString& realFolder, const QString& folder);

    struct Inode;

private:
    friend class MemoryFile;
    bool spend();  // true while the disk still takes changes
    struct NameOp {
        enum Kind { Link, Unlink, Rename } kind;
        QString name;  // the new name of a rename
        std::shared_ptr<Inode> inode;
        QString from;
    };
    std::map<QString, std::shared_ptr<Inode>> names_, durableNames_;
    std::vector<NameOp> pendingNames_;
    uint64_t changes_ = 0;
    uint64_t bytesRead_ = 0;
    long budget_ = -1;
    bool frozen_ = false;
    uint64_t nextId_ = 1;
};

}  // namespace orv
