#include "store/data_engine.h"

#include "store/db_error.h"

#include <QFileInfo>

namespace orv {

DataEngine& DataEngine::instance() {
    static DataEngine engine;
    return engine;
}

int DataEngine::freeSlot() const {
    int n = 1;
    while (areas_.count(n) || pending_.count(n)) ++n;
    return n;
}

int DataEngine::use(const QString& path, const QString& alias, OpenMode mode, int driver) {
    if (driver != kDriverFox) ThrowDbError(ecDbNotATable, QStringLiteral("only FoxPro tables (driver 2) are supported"));
    const QString name = alias.isEmpty() ? makeAlias(path) : alias;
    if (workArea(name) != 0) ThrowDbError(ecDbTableInUse, QStringLiteral("alias %1 is in use").arg(name));
    auto a = WorkArea::open(path, name, mode, &settings_, *fs_);
    const int n = freeSlot();
    areas_[n] = std::move(a);
    current_ = n;
    return n;
}

int DataEngine::select(int area) {
    const int previous = current_;
    current_ = area;
    return previous;
}

int DataEngine::workArea(const QString& alias) const {
    for (const auto& [n, a] : areas_)
        if (a->alias().compare(alias, Qt::CaseInsensitive) == 0) return n;
    return 0;
}

QString DataEngine::makeAlias(const QString& path) const {
    QString base = QFileInfo(path).completeBaseName();
    for (int i = 0; i < base.size() && i < 8; ++i)
        if (base[i] == '~' || base[i] == '-' || base[i] == ' ') base[i] = '_';
    if (workArea(base) == 0) return base;
    const QString stem = base.left(8);
    for (int k = 1;; ++k) {
        const QString candidate = stem + '_' + QString::number(k);
        if (workArea(candidate) == 0) return candidate;
    }
}

WorkArea* DataEngine::area(int number) const {
    const auto it = areas_.find(number);
    return it == areas_.end() ? nullptr : it->second.get();
}

WorkArea& DataEngine::cur() const {
    WorkArea* a = area(current_);
    if (!a) ThrowDbError(ecDbNoWorkArea, QStringLiteral("area %1").arg(current_));
    return *a;
}

void DataEngine::close(int number) {
    pending_.erase(number);
    const auto it = areas_.find(number);
    if (it == areas_.end()) return;
    std::unique_ptr<WorkArea> a = std::move(it->second);
    areas_.erase(it);
    if (current_ == number) current_ = 0;
    a->close();
}

void DataEngine::closeAll() {
    while (!areas_.empty()) close(areas_.begin()->first);
    pending_.clear();
}

int DataEngine::createNew(const QString& path, const QString& alias, int driver, int fieldCount) {
    Q_UNUSED(alias);
    if (driver != kDriverFox || fieldCount < 1 || fieldCount > 255 || path.isEmpty()) return 0;
    const int n = freeSlot();
    pending_[n] = Pending{path, fieldCount, {}};
    current_ = n;
    return n;
}

void DataEngine::createField(const QByteArray& name, char type, int width, int decimals) {
    const auto it = pending_.find(current_);
    if (it == pending_.end()) ThrowDbError(ecDbNoWorkArea, QStringLiteral("no table definition in area %1").arg(current_));
    DbfField f;
    f.name = name.trimmed().toUpper();
    f.type = type;
    f.width = width;
    f.decimals = decimals;
    it->second.fields.push_back(f);
}

bool DataEngine::createExec() {
    const auto it = pending_.find(current_);
    if (it == pending_.end()) {
        lastError_ = QStringLiteral("no table definition in area %1").arg(current_);
        return false;
    }
    Pending p = std::move(it->second);
    pending_.erase(it);
    current_ = 0;
    if (int(p.fields.size()) != p.fieldCount) {
        lastError_ = QStringLiteral("%1 fields defined, %2 announced").arg(p.fields.size()).arg(p.fieldCount);
        return false;
    }
    try {
        WorkArea::create(p.path, p.fields, settings_.memoBlockSize, *fs_);
    } catch (const EOrvException& e) {
        lastError_ = e.message();
        return false;
    }
    lastError_.clear();
    return true;
}

int DataEngine::sysProp(int code, int value) {
    int& slot = sysProps_[code];
    const int previous = slot;
    slot = value;
    return previous;
}

}  // namespace orv
