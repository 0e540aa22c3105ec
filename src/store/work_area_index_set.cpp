// The work area's index set: loading the tags of the index files (and
// noticing a stale or damaged file), building tags, keeping their keys up to
// date as records change (updateIndexes: where a key is inserted or
// removed, through IndexTag::insert/remove in memory and CdxTagPages on the
// file's pages), and writing the index files: only the changed pages when
// the change fitted its leaves, the whole file otherwise.
#include "store/work_area.h"

#include "store/byte_order.h"
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

void WorkArea::loadStructuralIndex() {
    const QString cdx = SiblingPath(path_, QStringLiteral("CDX"), *fs_);
    if (fs_->exists(cdx)) {
        try {
            loadIndexFile(cdx, true);
            return;
        } catch (const EDatabase&) {
            // Not even the tag definitions can be read: set the file aside so
            // the table opens, and let the caller build its tag anew.
            if (!readOnly()) {
                fs_->remove(cdx + ".bad");
                fs_->rename(cdx, cdx + ".bad");
            }
        }
    }
    if ((header_.flags & kDbfFlagStructuralCdx) && !readOnly()) {
        header_.flags &= uint8_t(~kDbfFlagStructuralCdx);
        writeFixedHeader();
    }
}

void WorkArea::loadIndexFile(const QString& path, bool structural) {
    const QByteArray bytes = ReadWholeFile(*fs_, path);
    const std::vector<CdxTagInfo> dir = ReadCdxDirectory(bytes, fileName(path));
    // An index that missed a change of the table (its counter differs from
    // the table's) cannot be trusted, whatever its record numbers say.
    const bool missedChange = header_.changeCounter != 0 && ReadCdxChangeCounter(bytes) != header_.changeCounter;
    const int fileIdx = int(indexPaths_.size());
    indexPaths_.push_back(path);
    indexDirty_.push_back(false);
    indexStamp_.push_back(fs_->stamp(path));
    indexImage_.push_back(bytes);
    indexDirtyPages_.emplace_back();
    (void)structural;
    bool anyStale = false;
    for (const CdxTagInfo& info : dir) {
        std::unique_ptr<IndexTag> t;
        try {
            t = std::make_unique<IndexTag>(info, header_);
        } catch (const EDatabase& e) {
            unusable_.push_back({info, e.message()});
            continue;
        }
        t->fileIndex = fileIdx;
        bool stale = header_.transaction != 0 || missedChange;
        if (!stale) {
            try {
                std::vector<char> keys;
                std::vector<uint32_t> recnos;
                ReadCdxKeys(bytes, t->info(), t->fill(), keys, recnos, fileName(path));
                for (uint32_t r : recnos)
                    if (r == 0 || r > header_.recordCount) stale = true;
                if (!stale) {
                    t->assignSorted(std::move(keys), std::move(recnos));
                    t->pages = CdxTagPages::read(bytes, info.root, t->sortedKeys());
                }
            } catch (const EDatabase&) {
                stale = true;
            }
        }
        anyStale = anyStale || stale;
        tags_.push_back(std::move(t));
        tagStale_.push_back(stale);
    }
    if (anyStale) {
        for (size_t i = 0; i < tags_.size(); ++i)
            if (tagStale_[i]) rebuildTag(*tags_[i], 0, 100), tagStale_[i] = false;
        indexDirty_[size_t(fileIdx)] = true;
        indexImage_[size_t(fileIdx)].clear();
        if (!readOnly() && mode_ == OpenMode::Exclusive) {
            flagOnDisk_ = true;
            flush();
        }
    }
}

void WorkArea::rebuildTag(IndexTag& tag, int from, int to) {
    const uint32_t n = header_.recordCount;
    const size_t kl = size_t(tag.keyLength());
    std::vector<char> keys;
    std::vector<uint32_t> recnos;
    keys.reserve(size_t(n) * kl);
    recnos.reserve(n);
    std::vector<char> key(kl);
    int last = -1;
    for (uint32_t r = 1; r <= n; ++r) {
        const char* rec = recordAt(r);
        if (tag.admits(rec, r)) {
            tag.makeKey(rec, r, key.data());
            keys.insert(keys.end(), key.begin(), key.end());
            recnos.push_back(r);
        }
        if ((r & 1023) == 0) {
            const int pct = from + int(qint64(to - from) * r / n * 9 / 10);
            if (pct != last) report(last = pct);
        }
    }
    tag.assign(std::move(keys), std::move(recnos));
    report(to);
    ++indexVersion_;
}

void WorkArea::ensureFresh(int order) {
    if (order > 0 && tagStale_[size_t(order - 1)]) {
        rebuildTag(*tags_[size_t(order - 1)], 0, 100);
        tagStale_[size_t(order - 1)] = false;
        indexDirty_[size_t(tags_[size_t(order - 1)]->fileIndex)] = true;
    }
}

void WorkArea::updateIndexes(uint32_t recno, const char* oldRecord, const char* newRecord) {
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
        ++indexVersion_;
        // Inside a long batch, sorting once at the end beats many inserts.
        if (batch_ > 0 && ++batchChanges_ > std::max<size_t>(2000, t.size() / 16)) {
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

void WorkArea::keyChanged(IndexTag& t, size_t pos, bool inserted) {
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

void WorkArea::writeIndexFiles() {
    for (size_t f = 0; f < indexPaths_.size(); ++f) {
        if (!indexDirty_[f]) continue;
        bool inPlace = !indexImage_[f].isEmpty();
        for (size_t i = 0; i < tags_.size(); ++i)
            if (tags_[i]->fileIndex == int(f) && (tagStale_[i] || !tags_[i]->pages)) inPlace = false;
        if (inPlace) writeIndexPages(f);
        else writeWholeIndexFile(f);
        indexDirty_[f] = false;
        indexStamp_[f] = fs_->stamp(indexPaths_[f]);
        if (f == 0 && indexPaths_[f] == structuralIndexPath() && !(header_.flags & kDbfFlagStructuralCdx)) {
            header_.flags |= kDbfFlagStructuralCdx;
            writeFixedHeader();
        }
    }
}

void WorkArea::writeIndexPages(size_t f) {
    // The table's transaction byte is on the disk while these pages are
    // written, so a crash between them leaves a table that is reindexed on
    // open; they are flushed before that byte is cleared.
    QByteArray& image = indexImage_[f];
    WriteBe32(image.data() + 8, header_.changeCounter);
    std::set<uint32_t>& dirty = indexDirtyPages_[f];
    dirty.insert(0);
    std::unique_ptr<OpenFile> file = fs_->open(indexPaths_[f], true);
    if (!file) ThrowIoError(QStringLiteral("cannot open"), indexPaths_[f]);
    for (uint32_t page : dirty)
        if (!file->writeAt(page, image.constData() + page, 512)) ThrowIoError(QStringLiteral("cannot write"), indexPaths_[f]);
    if (!file->sync()) ThrowIoError(QStringLiteral("cannot flush"), indexPaths_[f]);
    dirty.clear();
}

void WorkArea::writeWholeIndexFile(size_t f) {
    std::vector<CdxTagContent> contents;
    std::vector<IndexTag*> written;
    for (size_t i = 0; i < tags_.size(); ++i) {
        IndexTag& t = *tags_[i];
        if (t.fileIndex != int(f)) continue;
        if (tagStale_[i]) {
            rebuildTag(t, 0, 100);
            tagStale_[i] = false;
        }
        CdxTagContent c;
        c.info = t.info();
        c.fill = t.fill();
        c.keys = t.keys().data();
        c.recnos = t.recnos().data();
        c.count = t.size();
        contents.push_back(c);
        written.push_back(&t);
    }
    const QByteArray bytes = BuildCdxFile(contents, std::max<uint32_t>(header_.recordCount, 1), header_.changeCounter);
    QString error;
    if (!ReplaceFileDurably(*fs_, indexPaths_[f], bytes, &error)) throw EInOutError(ecDiskWrite, error);
    // Later changes go to the pages of the file just written.
    indexImage_[f] = bytes;
    indexDirtyPages_[f].clear();
    const std::vector<CdxTagInfo> dir = ReadCdxDirectory(bytes, fileName(indexPaths_[f]));
    for (size_t i = 0; i < written.size() && i < dir.size(); ++i)
        written[i]->pages = CdxTagPages::read(bytes, dir[i].root, written[i]->sortedKeys());
}

QString WorkArea::structuralIndexPath() const { return SiblingPath(path_, QStringLiteral("CDX"), *fs_); }

int WorkArea::setOrder(int order) {
    const int previous = order_;
    if (order < 0 || order > int(tags_.size())) order = 0;
    order_ = order;
    ensureFresh(order_);
    ++indexVersion_;
    return previous;
}

int WorkArea::tagArea(const QByteArray& name) const {
    const QByteArray upper = name.trimmed().toUpper();
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i]->name() == upper) return int(i + 1);
    return 0;
}

QByteArray WorkArea::tagName(int order) const {
    if (order < 1 || order > int(tags_.size())) return {};
    return tags_[size_t(order - 1)]->name();
}

int WorkArea::indexTag(const QString& indexFile, const QByteArray& tagName, const QByteArray& keyExpr, bool unique,
                       bool descending, const QByteArray& forExpr) {
    requireWritable();
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
    auto tag = std::make_unique<IndexTag>(info, header_);

    const QString file = indexFile.trimmed().isEmpty() ? structuralIndexPath() : QFileInfo(indexFile).absoluteFilePath();
    int fileIdx = -1;
    for (size_t i = 0; i < indexPaths_.size(); ++i)
        if (QFileInfo(indexPaths_[i]).absoluteFilePath() == QFileInfo(file).absoluteFilePath()) fileIdx = int(i);
    int order = 0;
    change([&] {
        if (fileIdx < 0) {
            if (file == structuralIndexPath() && !indexPaths_.empty()) {
                // The structural file comes first.
                indexPaths_.insert(indexPaths_.begin(), file);
                indexDirty_.insert(indexDirty_.begin(), false);
                indexStamp_.insert(indexStamp_.begin(), 0);
                indexImage_.insert(indexImage_.begin(), QByteArray());
                indexDirtyPages_.insert(indexDirtyPages_.begin(), std::set<uint32_t>());
                for (auto& t : tags_) ++t->fileIndex;
                fileIdx = 0;
            } else {
                fileIdx = int(indexPaths_.size());
                indexPaths_.push_back(file);
                indexDirty_.push_back(false);
                indexStamp_.push_back(0);
                indexImage_.emplace_back();
                indexDirtyPages_.emplace_back();
            }
        }
        tag->fileIndex = fileIdx;
        rebuildTag(*tag, 0, 100);
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
        order_ = order;
        ++indexVersion_;
    });
    return order;
}

void WorkArea::openIndex(const QString& indexFile) {
    const QString abs = QFileInfo(indexFile).absoluteFilePath();
    for (const QString& p : indexPaths_)
        if (QFileInfo(p).absoluteFilePath() == abs) return;
    loadIndexFile(abs, false);
}

void WorkArea::forgetIndexes() {
    tags_.clear();
    tagStale_.clear();
    unusable_.clear();
    indexPaths_.clear();
    indexDirty_.clear();
    indexStamp_.clear();
    indexImage_.clear();
    indexDirtyPages_.clear();
    order_ = 0;
    ++indexVersion_;
}

void WorkArea::closeIndexes() {
    flush();
    forgetIndexes();
}

void WorkArea::reindex() {
    requireWritable();
    change([&] {
        const int n = int(tags_.size());
        for (int i = 0; i < n; ++i) {
            rebuildTag(*tags_[size_t(i)], 100 * i / n, 100 * (i + 1) / n);
            tagStale_[size_t(i)] = false;
            indexDirty_[size_t(tags_[size_t(i)]->fileIndex)] = true;
        }
        for (size_t f = 0; f < indexDirty_.size(); ++f) indexDirty_[f] = true;
    });
    report(100);
}

}  // namespace orv
