// The open tags and their index files: loading (and the stale-index check),
// building, the key updates of a change, and writing the files.
#include "store/index_set.h"

#include "store/byte_order.h"
#include "store/cdx_page_log.h"
#include "store/db_error.h"
#include "store/work_area_internal.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace orv {
using namespace detail;

const QString& IndexSet::structuralPath() const {
    if (structuralPath_.isEmpty()) structuralPath_ = SiblingPath(table_.path(), QStringLiteral("CDX"), table_.fs());
    return structuralPath_;
}

int IndexSet::tagArea(const QByteArray& name) const {
    const QByteArray upper = name.trimmed().toUpper();
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i]->name() == upper) return int(i + 1);
    return 0;
}

QByteArray IndexSet::tagName(int order) const {
    if (order < 1 || order > int(tags_.size())) return {};
    return tags_[size_t(order - 1)]->name();
}

void IndexSet::loadStructural() {
    FileSystem& fs = table_.fs();
    const QString cdx = structuralPath();
    if (fs.exists(cdx)) {
        try {
            loadFile(cdx);
            return;
        } catch (const EDatabase&) {
            // Not even the tag definitions can be read: set the file aside so
            // the table opens, and let the caller build its tag anew.
            if (!table_.readOnly()) {
                fs.remove(cdx + ".bad");
                fs.rename(cdx, cdx + ".bad");
            }
        }
    }
    DbfHeader& header = table_.header();
    if ((header.flags & kDbfFlagStructuralCdx) && !table_.readOnly()) {
        header.flags &= uint8_t(~kDbfFlagStructuralCdx);
        table_.writeFixedHeader();
    }
}

void IndexSet::openFile(const QString& indexFile) {
    const QString abs = QFileInfo(indexFile).absoluteFilePath();
    for (const QString& p : indexPaths_)
        if (QFileInfo(p).absoluteFilePath() == abs) return;
    loadFile(abs);
}

void IndexSet::addFile(size_t at, const QString& path, const QByteArray& image, qint64 stamp) {
    indexPaths_.insert(indexPaths_.begin() + qsizetype(at), path);
    indexDirty_.insert(indexDirty_.begin() + qsizetype(at), false);
    indexStamp_.insert(indexStamp_.begin() + qsizetype(at), stamp);
    indexImage_.insert(indexImage_.begin() + qsizetype(at), image);
    indexDirtyPages_.insert(indexDirtyPages_.begin() + qsizetype(at), std::set<uint32_t>());
}

bool IndexSet::loadFile(const QString& path) {
    const DbfHeader& header = table_.header();
    FileSystem& fs = table_.fs();
    const QByteArray bytes = ReadWholeFile(fs, path);
    const std::vector<CdxTagInfo> dir = ReadCdxDirectory(bytes, fileName(path));
    // An index that missed a change of the table (its counter differs from
    // the table's) cannot be trusted, whatever its record numbers say.
    const bool missedChange = header.changeCounter != 0 && ReadCdxChangeCounter(bytes) != header.changeCounter;
    const int fileIdx = int(indexPaths_.size());
    addFile(indexPaths_.size(), path, bytes, fs.stamp(path));
    bool anyStale = false;
    for (const CdxTagInfo& info : dir) {
        std::unique_ptr<IndexTag> t;
        try {
            t = std::make_unique<IndexTag>(info, header);
        } catch (const EDatabase& e) {
            unusable_.push_back({info, e.message()});
            continue;
        }
        t->fileIndex = fileIdx;
        bool stale = header.transaction != 0 || missedChange;
        if (!stale) {
            try {
                SortedKeys keys(t->keyLength());
                ReadCdxKeys(bytes, t->info(), t->fill(), keys, fileName(path));
                stale = !RecordNumbersWithin(keys, header.recordCount);
                if (!stale) {
                    t->assignSorted(std::move(keys));
                    attachPages(*t, bytes, info);
                }
            } catch (const EDatabase&) {
                stale = true;
            }
        }
        anyStale = anyStale || stale;
        tags_.push_back(std::move(t));
        tagStale_.push_back(stale);
    }
    if (!anyStale) {
        checkFreeList(size_t(fileIdx));
        return false;
    }
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tagStale_[i]) rebuildTag(*tags_[i], 0, 100), tagStale_[i] = false;
    indexDirty_[size_t(fileIdx)] = true;
    indexImage_[size_t(fileIdx)].clear();
    if (!table_.readOnly() && table_.mode() == OpenMode::Exclusive) {
        table_.assumeChanging();
        commit_();
    }
    return true;
}

void IndexSet::attachPages(IndexTag& t, const QByteArray& image, const CdxTagInfo& info) {
    t.pages = CdxTagPages::read(image, info);
    if (t.pages && t.pages->keyCount() != t.size()) t.pages.reset();
}

void IndexSet::checkFreeList(size_t f) {
    // Pages are taken from the free list only while every tag of the file
    // is changed in place; the list must not name a page still in use. One
    // that cannot be checked is dropped (its pages are left unused).
    QByteArray& image = indexImage_[f];
    if (image.size() < 1024) return;
    const uint32_t head = ReadLe32(image.constData() + 4);
    if (head == 0 || head == 0xFFFFFFFFu) return;  // no free pages
    std::set<uint32_t> used{0, 512};
    CdxTagInfo directory;
    directory.root = ReadLe32(image.constData());
    directory.keyLength = 10;
    bool known = true;
    if (const auto dirPages = CdxTagPages::read(image, directory)) dirPages->usedPages(used);
    else known = false;
    for (const auto& t : tags_)
        if (t->fileIndex == int(f)) {
            if (t->pages) t->pages->usedPages(used);
            else known = false;
        }
    if (known) CdxTagPages::checkFreeList(image, used);
    else WriteLe32(image.data() + 4, 0);
}

bool IndexSet::reloadIfChanged() {
    FileSystem& fs = table_.fs();
    bool changed = false, caughtUp = true;
    for (size_t i = 0; i < indexPaths_.size(); ++i)
        if (fs.stamp(indexPaths_[i]) != indexStamp_[i]) {
            changed = true;
            // Another writer's changes in place: only the pages it wrote are read.
            caughtUp = caughtUp && catchUp(i);
        }
    if (!changed) return false;
    ++version_;
    if (caughtUp) return true;
    const std::vector<QString> paths = indexPaths_;
    forget();
    for (size_t i = 0; i < paths.size(); ++i)
        if (fs.exists(paths[i])) loadFile(paths[i]);
    return true;
}

void IndexSet::forget() {
    tags_.clear();
    tagStale_.clear();
    unusable_.clear();
    indexPaths_.clear();
    indexDirty_.clear();
    indexStamp_.clear();
    indexImage_.clear();
    indexDirtyPages_.clear();
    ++version_;
}

IndexSet::NewTag IndexSet::defineTag(const QString& indexFile, const QByteArray& tagName, const QByteArray& keyExpr, bool unique,
                                     bool descending, const QByteArray& forExpr) const {
    const QByteArray name = tagName.trimmed().toUpper();
    bool nameOk = !name.isEmpty() && name.size() <= 10 && std::isalpha(static_cast<unsigned char>(name[0]));
    for (char c : name) nameOk = nameOk && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!nameOk) ThrowDbError(ecDbBadDefinition, QStringLiteral("tag name \"%1\"").arg(QString::fromLatin1(tagName)));
    CdxTagInfo info;
    info.name = name;
    info.keyExpr = keyExpr.trimmed();
    info.forExpr = forExpr.trimmed();
    info.descending = descending;
    info.options = kCdxCompact | kCdxCompound | (unique ? kCdxUnique : 0) | (info.forExpr.isEmpty() ? 0 : kCdxHasFor);
    NewTag def;
    def.tag = std::make_unique<IndexTag>(info, table_.header());
    def.file = indexFile.trimmed().isEmpty() ? structuralPath() : QFileInfo(indexFile).absoluteFilePath();
    return def;
}

int IndexSet::addTag(NewTag&& def) {
    const QString& file = def.file;
    int fileIdx = -1;
    for (size_t i = 0; i < indexPaths_.size(); ++i)
        if (QFileInfo(indexPaths_[i]).absoluteFilePath() == QFileInfo(file).absoluteFilePath()) fileIdx = int(i);
    if (fileIdx < 0) {
        if (file == structuralPath() && !indexPaths_.empty()) {
            // The structural file comes first.
            addFile(0, file, QByteArray(), 0);
            for (auto& t : tags_) ++t->fileIndex;
            fileIdx = 0;
        } else {
            fileIdx = int(indexPaths_.size());
            addFile(indexPaths_.size(), file, QByteArray(), 0);
        }
    }
    std::unique_ptr<IndexTag> tag = std::move(def.tag);
    const QByteArray name = tag->name();
    tag->fileIndex = fileIdx;
    rebuildTag(*tag, 0, 100);
    int order = 0;
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i]->fileIndex == fileIdx && tags_[i]->name() == name) order = int(i + 1);
    if (order > 0) {
        tags_[size_t(order - 1)] = std::move(tag);
        tagStale_[size_t(order - 1)] = false;
    } else {
        tags_.push_back(std::move(tag));
        tagStale_.push_back(false);
        order = int(tags_.size());
    }
    indexDirty_[size_t(fileIdx)] = true;
    ++version_;
    return order;
}

void IndexSet::rebuildTag(IndexTag& tag, int from, int to) {
    const uint32_t n = table_.header().recordCount;
    const size_t kl = size_t(tag.keyLength());
    KeyBytes keys;
    std::vector<uint32_t> recnos;
    keys.reserve(size_t(n) * kl);
    recnos.reserve(n);
    std::vector<char> key(kl);
    int last = -1;
    for (uint32_t r = 1; r <= n; ++r) {
        const char* rec = table_.recordAt(r);
        if (tag.admits(rec, r)) {
            tag.makeKey(rec, r, key.data());
            keys.insert(keys.end(), key.begin(), key.end());
            recnos.push_back(r);
        }
        if ((r & 1023) == 0) {
            const int pct = from + int(qint64(to - from) * r / n * 9 / 10);
            if (pct != last) table_.report(last = pct);
        }
    }
    tag.assign(std::move(keys), std::move(recnos));
    table_.report(to);
    ++version_;
}

void IndexSet::rebuildAll(int from, int to) {
    const int n = int(tags_.size());
    for (int i = 0; i < n; ++i) {
        rebuildTag(*tags_[size_t(i)], from + (to - from) * i / n, from + (to - from) * (i + 1) / n);
        tagStale_[size_t(i)] = false;
        indexDirty_[size_t(tags_[size_t(i)]->fileIndex)] = true;
    }
}

void IndexSet::ensureFresh(int order) {
    if (order > 0 && tagStale_[size_t(order - 1)]) {
        rebuildTag(*tags_[size_t(order - 1)], 0, 100);
        tagStale_[size_t(order - 1)] = false;
        indexDirty_[size_t(tags_[size_t(order - 1)]->fileIndex)] = true;
    }
}

void IndexSet::updateKeys(uint32_t recno, const char* oldRecord, const char* newRecord, bool inBatch) {
    std::vector<char> ko, kn;
    for (size_t i = 0; i < tags_.size(); ++i) {
        if (tagStale_[i]) continue;
        IndexTag& t = *tags_[i];
        const bool oldIn = oldRecord && t.admits(oldRecord, recno);
        const bool newIn = t.admits(newRecord, recno);
        ko.resize(size_t(t.keyLength()));
        kn.resize(size_t(t.keyLength()));
        if (oldIn) t.makeKey(oldRecord, recno, ko.data());
        if (newIn) t.makeKey(newRecord, recno, kn.data());
        if (oldIn == newIn && (!oldIn || ko == kn)) continue;
        indexDirty_[size_t(t.fileIndex)] = true;
        ++version_;
        // Inside a long batch, sorting once at the end beats many inserts.
        if (inBatch && ++batchChanges_ > std::max<size_t>(2000, t.size() / 16)) {
            tagStale_[i] = true;
            continue;
        }
        if (oldIn) {
            const size_t at = t.remove(ko.data(), recno);
            if (at != IndexTag::npos) keyChanged(t, at, false);
        }
        if (newIn) {
            const size_t at = t.insert(kn.data(), recno);
            if (at != IndexTag::npos) keyChanged(t, at, true);
        }
    }
}

void IndexSet::keyChanged(IndexTag& t, size_t pos, bool inserted) {
    const size_t f = size_t(t.fileIndex);
    QByteArray& image = indexImage_[f];
    if (t.pages && !image.isEmpty()) {
        const bool fitted = inserted ? t.pages->inserted(image, t.sortedKeys(), pos, indexDirtyPages_[f])
                                     : t.pages->removed(image, t.sortedKeys(), pos, indexDirtyPages_[f]);
        if (fitted) return;
    }
    // The pages no longer match: the whole file is written at the end of the change.
    image.clear();
    indexDirtyPages_[f].clear();
    for (auto& other : tags_)
        if (other->fileIndex == int(f)) other->pages.reset();
}

bool IndexSet::anyDirty() const {
    for (bool d : indexDirty_)
        if (d) return true;
    return false;
}

void IndexSet::markAllDirty() { std::fill(indexDirty_.begin(), indexDirty_.end(), true); }

void IndexSet::writeFiles() {
    for (size_t f = 0; f < indexPaths_.size(); ++f) {
        if (!indexDirty_[f]) continue;
        bool inPlace = !indexImage_[f].isEmpty();
        for (size_t i = 0; i < tags_.size(); ++i)
            if (tags_[i]->fileIndex == int(f) && (tagStale_[i] || !tags_[i]->pages)) inPlace = false;
        if (inPlace) writePages(f);
        else writeWholeFile(f);
        indexDirty_[f] = false;
        indexStamp_[f] = table_.fs().stamp(indexPaths_[f]);
        DbfHeader& header = table_.header();
        if (f == 0 && indexPaths_[f] == structuralPath() && !(header.flags & kDbfFlagStructuralCdx)) {
            header.flags |= kDbfFlagStructuralCdx;
            table_.writeFixedHeader();
        }
    }
    batchChanges_ = 0;
}

void IndexSet::writePages(size_t f) {
    // The table's transaction byte is on the disk while these pages are
    // written, so a crash between them leaves a table that is reindexed on
    // open; they are flushed before that byte is cleared.
    QByteArray& image = indexImage_[f];
    std::set<uint32_t>& dirty = indexDirtyPages_[f];
    const uint32_t counter = table_.header().changeCounter;
    // The header lists the pages written, for readers in other programs.
    WriteCdxPageLog(image.data(), NextCdxPageLog(image.constData(), ReadCdxChangeCounter(image), counter, dirty));
    WriteBe32(image.data() + 8, counter);
    dirty.erase(0);
    std::unique_ptr<OpenFile> file = table_.fs().open(indexPaths_[f], true);
    if (!file) ThrowIoError(QStringLiteral("cannot open"), indexPaths_[f]);
    // The header (with the new count and the list of pages) goes last, so a
    // reader in another program that finds it finds the pages it names.
    for (uint32_t page : dirty)
        if (!file->writeAt(page, image.constData() + page, 512)) ThrowIoError(QStringLiteral("cannot write"), indexPaths_[f]);
    if (!file->writeAt(0, image.constData(), 512)) ThrowIoError(QStringLiteral("cannot write"), indexPaths_[f]);
    if (!file->sync()) ThrowIoError(QStringLiteral("cannot flush"), indexPaths_[f]);
    dirty.clear();
}

void IndexSet::writeWholeFile(size_t f) {
    std::vector<CdxTagContent> contents;
    std::vector<IndexTag*> written;
    // The file is written from flat copies of the keys (a tag keeps them in chunks).
    std::vector<KeyBytes> flatKeys;
    std::vector<std::vector<uint32_t>> flatRecnos;
    for (size_t i = 0; i < tags_.size(); ++i) {
        IndexTag& t = *tags_[i];
        if (t.fileIndex != int(f)) continue;
        if (tagStale_[i]) {
            rebuildTag(t, 0, 100);
            tagStale_[i] = false;
        }
        written.push_back(&t);
    }
    flatKeys.resize(written.size());
    flatRecnos.resize(written.size());
    for (size_t w = 0; w < written.size(); ++w) {
        const IndexTag& t = *written[w];
        flatKeys[w].resize(t.size() * size_t(t.keyLength()));
        flatRecnos[w].resize(t.size());
        t.entries().copy(0, t.size(), flatKeys[w].data(), flatRecnos[w].data());
        CdxTagContent c;
        c.info = t.info();
        c.fill = t.fill();
        c.keys = flatKeys[w].data();
        c.recnos = flatRecnos[w].data();
        c.count = t.size();
        contents.push_back(c);
    }
    const DbfHeader& header = table_.header();
    const QByteArray bytes = BuildCdxFile(contents, std::max<uint32_t>(header.recordCount, 1), header.changeCounter);
    QString error;
    if (!ReplaceFileDurably(table_.fs(), indexPaths_[f], bytes, &error)) throw EInOutError(ecDiskWrite, error);
    // Later changes go to the pages of the file just written.
    indexImage_[f] = bytes;
    indexDirtyPages_[f].clear();
    const std::vector<CdxTagInfo> dir = ReadCdxDirectory(bytes, fileName(indexPaths_[f]));
    for (size_t i = 0; i < written.size() && i < dir.size(); ++i) attachPages(*written[i], bytes, dir[i]);
}

}  // namespace orv
