#pragma once
// The open index tags of a table and their .CDX files. Keys are inserted and
// removed here (updateKeys), in memory through IndexTag::insert/remove and on
// the file's pages through CdxTagPages; at the end of a change writeFiles()
// writes each changed file: only the pages the change touched, rewritten in
// place, unless the file is to be written whole (after a rebuild or a new
// tag), which replaces it durably.
// A file that missed a change of the table (its change counter differs, or
// the table's transaction byte is set) or whose keys cannot be read is
// rebuilt from the records when it is loaded.
#include "store/index_tag.h"
#include "store/table_file.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace orv {

// A tag found in an index file that this program cannot evaluate (an
// unknown function, say): listed, never used, and the table refuses writes.
struct UnusableTag {
    CdxTagInfo info;
    QString reason;
};

class IndexSet {
public:
    // commit writes a change made while loading (tags rebuilt from the
    // records of an exclusive table) the way every change is written.
    IndexSet(TableFile& table, std::function<void()> commit) : table_(table), commit_(std::move(commit)) {}

    // ---- the tags ------------------------------------------------------------------------
    int count() const { return int(tags_.size()); }
    const IndexTag& tag(int order) const { return *tags_[size_t(order - 1)]; }
    // Whether tag i (0-based) waits to be rebuilt from the records.
    bool stale(size_t i) const { return tagStale_[i]; }
    const std::vector<UnusableTag>& unusable() const { return unusable_; }
    // 0 when there is no such tag.
    int tagArea(const QByteArray& name) const;
    QByteArray tagName(int order) const;
    const std::vector<QString>& paths() const { return indexPaths_; }
    // Found once: which spelling of the name is on disk does not change
    // while the table is open (the .CDX is only ever written under it).
    const QString& structuralPath() const;
    // Bumped on every change of the keys, for positions cached against them.
    uint64_t version() const { return version_; }

    // ---- opening and closing ----------------------------------------------------------------
    // The table's own .CDX, when there is one; one whose tag definitions
    // cannot be read is set aside as .bad and the table's flag cleared.
    void loadStructural();
    // Opens a further (non-structural) index file.
    void openFile(const QString& indexFile);
    // Shared: takes up what another writer changed in the index files
    // since they were read: the pages it wrote in place, or the whole files
    // when it replaced them (then the tags are new objects). True when
    // anything changed.
    bool reloadIfChanged();
    // Drops every tag and index file without writing anything.
    void forget();
    // Drops the tags (the table is closing).
    void releaseTags() { tags_.clear(); }

    // ---- building ------------------------------------------------------------------------------
    // A tag defined and checked, not yet built (see addTag).
    struct NewTag {
        std::unique_ptr<IndexTag> tag;
        QString file;
    };
    // Checks the name and compiles the expressions; an empty indexFile
    // means the structural .CDX.
    NewTag defineTag(const QString& indexFile, const QByteArray& tagName, const QByteArray& keyExpr, bool unique, bool descending,
                     const QByteArray& forExpr) const;
    // Builds the tag from the records (replacing one of the same name in the
    // same file) and returns its order number. Part of a change.
    int addTag(NewTag&& def);
    // Rebuilds every tag, with progress from..to, and marks their files to be written.
    void rebuildAll(int progressFrom, int progressTo);
    // Rebuilds the tag of an order if it waits for it (0: natural order).
    void ensureFresh(int order);

    // ---- keeping the keys up to date ----------------------------------------------------------
    // Moves record recno's keys from what oldRecord gives (nullptr: a new
    // record) to what newRecord gives, in every tag. Inside a long batch a
    // tag is marked to be rebuilt instead, since sorting once beats many inserts.
    void updateKeys(uint32_t recno, const char* oldRecord, const char* newRecord, bool inBatch);
    bool anyDirty() const;
    void markAllDirty();
    // Writes every changed index file, stamped with the table's change counter.
    void writeFiles();

private:
    bool loadFile(const QString& path);
    // The pages of a tag just read or written, kept when they hold its keys.
    static void attachPages(IndexTag& t, const QByteArray& image, const CdxTagInfo& info);
    void checkFreeList(size_t file);
    // Brings file f's image and tags up to date with the pages another
    // writer listed in the file header; false when that list does not
    // cover the change (the caller then reads every file again).
    bool catchUp(size_t file);
    bool catchUpTag(IndexTag& t, const CdxTagInfo& info, const QByteArray& image, const std::set<uint32_t>& changed);
    void addFile(size_t at, const QString& path, const QByteArray& image, qint64 stamp);
    void rebuildTag(IndexTag& tag, int progressFrom, int progressTo);
    // Carries a key change of tag t at pos into its index file's pages, or
    // marks the file to be written whole when they cannot take it.
    void keyChanged(IndexTag& t, size_t pos, bool inserted);
    void writeWholeFile(size_t file);
    void writePages(size_t file);

    TableFile& table_;
    std::function<void()> commit_;
    std::vector<std::unique_ptr<IndexTag>> tags_;
    std::vector<bool> tagStale_;
    std::vector<UnusableTag> unusable_;
    // Per index file: [0] is the structural file when open.
    std::vector<QString> indexPaths_;
    std::vector<bool> indexDirty_;
    std::vector<qint64> indexStamp_;
    // Each index file's bytes as last read or written, with the key changes
    // since applied; empty when the file is to be written whole.
    std::vector<QByteArray> indexImage_;
    std::vector<std::set<uint32_t>> indexDirtyPages_;
    uint64_t version_ = 0;
    size_t batchChanges_ = 0;
    mutable QString structuralPath_;
};

}  // namespace orv
