#include "store/memory_file_system.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orv {

struct MemoryFileSystem::Inode {
    uint64_t id = 0;
    uint64_t generation = 0;
    std::vector<char> data;  // what the program sees
    // What the disk holds; while nothing has changed since the last flush it
    // is data itself (durableIsData), copied out only before the next change.
    std::vector<char> durable;
    bool durableIsData = false;
    struct Write {
        qint64 offset;  // -1: a resize to size
        qint64 size;
        std::vector<char> bytes;
    };
    std::vector<Write> pending;
    // A view handed out by map() must stay readable while the file grows:
    // a buffer the data outgrew is kept until the view goes.
    std::vector<std::vector<char>> retired;
    int views = 0;

    const std::vector<char>& disk() const { return durableIsData ? data : durable; }
    // Called before every change to data.
    void keepDisk() {
        if (!durableIsData) return;
        durable = data;
        durableIsData = false;
    }
    void flushed() {
        durableIsData = true;
        durable.clear();
        durable.shrink_to_fit();
        pending.clear();
    }

    void ensureCapacity(size_t n) {
        if (n <= data.capacity()) return;
        std::vector<char> bigger;
        bigger.reserve(std::max(n, data.capacity() * 2));
        bigger.assign(data.begin(), data.end());
        if (views > 0) retired.push_back(std::move(data));
        data = std::move(bigger);
    }
};

namespace {

QString clean(const QString& path) { return QDir::cleanPath(path); }

void writeInto(std::vector<char>& v, qint64 offset, const char* p, size_t n) {
    const size_t end = size_t(offset) + n;
    if (v.size() < end) v.resize(end, '\0');
    std::copy(p, p + n, v.begin() + offset);
}

void applyWrite(std::vector<char>& v, const MemoryFileSystem::Inode::Write& w) {
    if (w.offset < 0) v.resize(size_t(w.size), '\0');
    else writeInto(v, w.offset, w.bytes.data(), w.bytes.size());
}

// A name directly inside a folder (both cleaned paths).
bool inFolder(const QString& name, const QString& dir) {
    if (dir == QLatin1String("/")) return name.size() > 1 && name.startsWith('/') && name.indexOf('/', 1) < 0;
    if (dir == QLatin1String(".")) return !name.contains('/');
    return name.size() > dir.size() + 1 && name.startsWith(dir) && name[dir.size()] == '/' && name.indexOf('/', dir.size() + 1) < 0;
}

}  // namespace

class MemoryFile final : public OpenFile {
public:
    MemoryFile(MemoryFileSystem* fs, std::shared_ptr<MemoryFileSystem::Inode> inode, bool writable)
        : fs_(fs), inode_(std::move(inode)), writable_(writable) {}
    ~MemoryFile() override { unmap(); }
    qint64 size() const override { return qint64(inode_->data.size()); }
    bool readAt(qint64 offset, void* data, qint64 n) const override {
        if (offset < 0 || n < 0 || offset + n > qint64(inode_->data.size())) return false;
        std::memcpy(data, inode_->data.data() + offset, size_t(n));
        fs_->bytesRead_ += uint64_t(n);
        return true;
    }
    bool writeAt(qint64 offset, const void* data, qint64 n) override {
        if (!writable_) return errno = EBADF, false;
        if (offset < 0 || n < 0) return errno = EINVAL, false;
        const auto* p = static_cast<const char*>(data);
        inode_->keepDisk();
        inode_->ensureCapacity(size_t(offset + n));
        writeInto(inode_->data, offset, p, size_t(n));
        ++inode_->generation;
        // The write is recorded (for a power cut to replay or drop) only
        // while the disk still takes changes.
        if (fs_->spend()) inode_->pending.push_back({offset, n, std::vector<char>(p, p + n)});
        return true;
    }
    bool truncate(qint64 size) override {
        if (!writable_) return errno = EBADF, false;
        if (size < 0) return errno = EINVAL, false;
        inode_->keepDisk();
        inode_->ensureCapacity(size_t(size));
        MemoryFileSystem::Inode::Write w{-1, size, {}};
        applyWrite(inode_->data, w);
        ++inode_->generation;
        if (fs_->spend()) inode_->pending.push_back(std::move(w));
        return true;
    }
    bool sync() override {
        if (fs_->spend()) inode_->flushed();
        return true;
    }
    bool lock(bool) override { return true; }
    bool lockByte(qint64, bool) override { return true; }
    const char* map(size_t length) override {
        unmap();
        inode_->ensureCapacity(length);
        ++inode_->views;
        mapped_ = true;
        return inode_->data.data();
    }
    void unmap() override {
        if (!mapped_) return;
        mapped_ = false;
        if (--inode_->views == 0) inode_->retired.clear();
    }

private:
    MemoryFileSystem* fs_;
    std::shared_ptr<MemoryFileSystem::Inode> inode_;
    bool writable_;
    bool mapped_ = false;
};

MemoryFileSystem::MemoryFileSystem() = default;
MemoryFileSystem::~MemoryFileSystem() = default;

MemoryFileSystem::MemoryFileSystem(const MemoryFileSystem& other)
    : changes_(other.changes_), budget_(other.budget_), frozen_(other.frozen_), nextId_(other.nextId_) {
    std::map<const Inode*, std::shared_ptr<Inode>> copies;
    auto copyOf = [&](const std::shared_ptr<Inode>& in) {
        auto& c = copies[in.get()];
        if (!c) {
            c = std::make_shared<Inode>();
            c->id = in->id;
            c->generation = in->generation;
            c->data = in->data;
            c->durable = in->durable;
            c->durableIsData = in->durableIsData;
            c->pending = in->pending;
        }
        return c;
    };
    for (const auto& [n, i] : other.names_) names_[n] = copyOf(i);
    for (const auto& [n, i] : other.durableNames_) durableNames_[n] = copyOf(i);
    for (const NameOp& op : other.pendingNames_) pendingNames_.push_back({op.kind, op.name, op.inode ? copyOf(op.inode) : nullptr, op.from});
}

bool MemoryFileSystem::spend() {
    ++changes_;
    if (frozen_) return false;
    if (budget_ == 0) {
        frozen_ = true;
        return false;
    }
    if (budget_ > 0) --budget_;
    return true;
}

std::unique_ptr<OpenFile> MemoryFileSystem::open(const QString& path, bool writable) {
    const auto it = names_.find(clean(path));
    if (it == names_.end()) return errno = ENOENT, nullptr;
    return std::make_unique<MemoryFile>(this, it->second, writable);
}

std::unique_ptr<OpenFile> MemoryFileSystem::create(const QString& path) {
    const QString name = clean(path);
    auto it = names_.find(name);
    if (it != names_.end()) {
        auto f = std::make_unique<MemoryFile>(this, it->second, true);
        f->truncate(0);
        return f;
    }
    auto inode = std::make_shared<Inode>();
    inode->id = nextId_++;
    names_[name] = inode;
    if (spend()) pendingNames_.push_back({NameOp::Link, name, inode, {}});
    return std::make_unique<MemoryFile>(this, inode, true);
}

bool MemoryFileSystem::exists(const QString& path) const { return names_.count(clean(path)) != 0; }

bool MemoryFileSystem::remove(const QString& path) {
    const QString name = clean(path);
    if (!names_.erase(name)) return errno = ENOENT, false;
    if (spend()) pendingNames_.push_back({NameOp::Unlink, name, nullptr, {}});
    return true;
}

bool MemoryFileSystem::rename(const QString& from, const QString& to) {
    const QString a = clean(from), b = clean(to);
    const auto it = names_.find(a);
    if (it == names_.end()) return errno = ENOENT, false;
    if (a == b) return true;
    const auto inode = it->second;
    names_.erase(it);
    names_[b] = inode;
    // A rename reaches the disk whole or not at all.
    if (spend()) {
        pendingNames_.push_back({NameOp::Rename, b, inode, a});
    }
    return true;
}

bool MemoryFileSystem::syncFolder(const QString& folder) {
    if (!spend()) return true;
    const QString dir = clean(folder);
    auto inDir = [&](const QString& name) { return inFolder(name, dir); };
    for (auto it = durableNames_.begin(); it != durableNames_.end();)
        it = inDir(it->first) ? durableNames_.erase(it) : std::next(it);
    for (const auto& [n, i] : names_)
        if (inDir(n)) durableNames_[n] = i;
    pendingNames_.erase(std::remove_if(pendingNames_.begin(), pendingNames_.end(), [&](const NameOp& op) { return inDir(op.name) || (!op.from.isEmpty() && inDir(op.from)); }),
                        pendingNames_.end());
    return true;
}

qint64 MemoryFileSystem::stamp(const QString& path) const {
    const auto it = names_.find(clean(path));
    if (it == names_.end()) return 0;
    return qint64(it->second->id * 1000003u + it->second->generation);
}

void MemoryFileSystem::put(const QString& path, const QByteArray& bytes) {
    auto inode = std::make_shared<Inode>();
    inode->id = nextId_++;
    inode->data.assign(bytes.constBegin(), bytes.constEnd());
    inode->durableIsData = true;
    const QString name = clean(path);
    names_[name] = inode;
    durableNames_[name] = inode;
}

std::optional<QByteArray> MemoryFileSystem::contents(const QString& path) const {
    const auto it = names_.find(clean(path));
    if (it == names_.end()) return std::nullopt;
    return QByteArray(it->second->data.data(), qsizetype(it->second->data.size()));
}

std::vector<QString> MemoryFileSystem::list(const QString& folder) const {
    std::vector<QString> out;
    const QString dir = clean(folder);
    for (const auto& [n, i] : names_)
        if (inFolder(n, dir)) out.push_back(n.mid(n.lastIndexOf('/') + 1));
    return out;
}

void MemoryFileSystem::powerLoss(std::mt19937* keepSome) {
    auto coin = [&] { return keepSome && ((*keepSome)() & 1); };
    // Folder entries reach the disk in the order they were made (the file
    // system's journal keeps that order), so some first part of them survives.
    std::map<QString, std::shared_ptr<Inode>> names = durableNames_;
    const size_t kept = keepSome ? size_t((*keepSome)() % (pendingNames_.size() + 1)) : 0;
    for (size_t k = 0; k < kept; ++k) {
        const NameOp& op = pendingNames_[k];
        if (op.kind == NameOp::Link) names[op.name] = op.inode;
        else if (op.kind == NameOp::Unlink) names.erase(op.name);
        else {
            names[op.name] = op.inode;
            names.erase(op.from);
        }
    }
    std::map<const Inode*, bool> done;
    for (auto& [n, inode] : names) {
        if (done[inode.get()]) continue;
        done[inode.get()] = true;
        std::vector<char> disk = inode->disk();
        for (const Inode::Write& w : inode->pending)
            if (coin()) applyWrite(disk, w);
        inode->data = std::move(disk);
        inode->flushed();
        inode->retired.clear();
        inode->views = 0;
        ++inode->generation;
    }
    names_ = names;
    durableNames_ = std::move(names);
    pendingNames_.clear();
    frozen_ = false;
    budget_ = -1;
}

void MemoryFileSystem::saveTo(const QString& folder, const QString& realFolder) const {
    for (const QString& name : list(folder)) {
        QFile f(realFolder + '/' + name);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(*contents(folder + '/' + name));
    }
}

void MemoryFileSystem::loadFrom(const QString& realFolder, const QString& folder) {
    const QDir d(realFolder);
    for (const QString& name : d.entryList(QDir::Files)) {
        QFile f(d.filePath(name));
        if (f.open(QIODevice::ReadOnly)) put(folder + '/' + name, f.readAll());
    }
}

}  // namespace orv
