#include "store/tengine_link.h"

#include "store/db_error.h"

namespace orv {

// Selects the table's work area for one operation and the previous one after.
class TEngineLink::Selection {
public:
    explicit Selection(TEngineLink& link) : engine_(link.engine()) {
        TTable* t = link.table();
        previous_ = engine_.current();
        if (t && t->active()) engine_.select(t->workAreaNumber());
    }
    ~Selection() { engine_.select(previous_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    DataEngine& engine_;
    int previous_;
};

TEngineLink::TEngineLink(QObject* parent, DataEngine* engine) : QObject(parent), engine_(engine) {}

DataEngine& TEngineLink::engine() const {
    if (TTable* t = table()) return t->engine();
    return engine_ ? *engine_ : DataEngine::instance();
}

void TEngineLink::setDataSource(TDataSource* source) {
    if (openConnection_) disconnect(openConnection_);
    dataSource_ = source;
    if (!source) return;
    // The table is looked up on each open, so a later setDataSet works too.
    openConnection_ = connect(source, &TDataSource::stateChanged, this, [this] {
        TTable* t = table();
        if (t && t->active() && t->workAreaNumber() != openedArea_) {
            openedArea_ = t->workAreaNumber();
            tableOpened();
        } else if (t && !t->active()) {
            openedArea_ = 0;
        }
    });
    TTable* t = table();
    if (t && t->active()) {
        openedArea_ = t->workAreaNumber();
        tableOpened();
    }
}

void TEngineLink::tableOpened() {
    Selection keep(*this);
    WorkArea& a = area();
    if (!filter_.isEmpty()) a.setQuery(filter_.toLatin1());
    for (const QString& file : extraIndexes_) a.openIndex(file);
    recordBuffer_ = QByteArray(a.recSize(), ' ');
}

WorkArea& TEngineLink::area() { return engine().cur(); }

bool TEngineLink::createTable(const QString& path, int driver, int fieldCount) {
    Selection keep(*this);
    createdArea_ = engine().createNew(path, QStringLiteral("XXXXXXXXXX"), driver, fieldCount);
    return createdArea_ != 0;
}

void TEngineLink::createField(const QString& name, char type, int width, int decimals) {
    Selection keep(*this);
    engine().select(createdArea_);
    engine().createField(name.toLatin1(), type, width, decimals);
}

bool TEngineLink::executeCreation() {
    Selection keep(*this);
    engine().select(createdArea_);
    const bool ok = engine().createExec();
    engine().close(createdArea_);
    createdArea_ = 0;
    return ok;
}

bool TEngineLink::memoToFile(const QString& fieldName, const QString& filePath) {
    TTable* t = table();
    if (!t || !t->active() || t->isEmpty()) return false;
    Selection keep(*this);
    WorkArea& a = area();
    const int field = a.fieldIndex(fieldName.toLatin1());
    if (field < 0) return false;
    const uint32_t previous = a.eof() ? 0 : a.recNo();
    a.go(t->recNo());
    const bool ok = a.memoToFile(field, filePath);
    if (previous) a.go(previous);
    return ok;
}

void TEngineLink::replaceMemoFromFile(const QString& fieldName, const QString& filePath) {
    TTable* t = table();
    if (!t || !t->active()) ThrowDbError(ecDbNoWorkArea, QStringLiteral("no open table for ") + fieldName);
    Selection keep(*this);
    bool posted = false;
    if (t->state() == TDataSetState::dsEdit || t->state() == TDataSetState::dsInsert) {
        t->post();
        posted = true;
    }
    WorkArea& a = area();
    const int field = a.fieldIndex(fieldName.toLatin1());
    if (field < 0) ThrowDbError(ecDbNoSuchField, t->TableName() + QStringLiteral(": ") + fieldName);
    if (t->isEmpty()) ThrowDbError(ecDbNoRecord, t->TableName());
    uint32_t previous = 0;
    if (a.eof() || a.recNo() != t->recNo()) {
        previous = a.eof() ? 0 : a.recNo();
        a.go(t->recNo());
    }
    a.replaceMemoFromFile(field, filePath);
    if (previous) a.go(previous);
    t->refresh();
    if (posted) t->edit();
}

void TEngineLink::goToRecord(uint32_t recno) {
    Selection keep(*this);
    area().go(recno);
    if (TTable* t = table()) t->syncFromEngine();
}

int TEngineLink::currentIndexOrder() {
    Selection keep(*this);
    return area().indexOrder();
}

int TEngineLink::createIndexTag(const QString& indexFile, const QString& tagName, const QString& keyExpr, int option,
                                bool descending, const QString& condition) {
    Selection keep(*this);
    const int order = area().indexTag(indexFile, tagName.toLatin1(), keyExpr.toLatin1(), (option & 1) != 0, descending,
                                      condition.toLatin1());
    if (TTable* t = table()) {
        t->setIndexName(tagName);
        t->syncFromEngine();
    }
    return order;
}

int TEngineLink::setOrder(int order) {
    Selection keep(*this);
    WorkArea& a = area();
    const int previous = a.indexOrder();
    if (TTable* t = table(); t && t->active()) {
        t->setIndexName(QString::fromLatin1(a.tagName(order)));
    } else {
        a.setOrder(order);
    }
    return previous;
}

int TEngineLink::tagNumber(const QString& tagName) {
    Selection keep(*this);
    return area().tagArea(tagName.toLatin1());
}

QString TEngineLink::tagName(int order) {
    Selection keep(*this);
    return QString::fromLatin1(area().tagName(order));
}

void TEngineLink::closeIndexes() {
    Selection keep(*this);
    area().closeIndexes();
    if (TTable* t = table(); t && t->active()) t->setIndexName(QString());
}

void TEngineLink::pack() {
    Selection keep(*this);
    area().pack();
    if (TTable* t = table(); t && t->active()) t->syncFromEngine();
}

int TEngineLink::setFilter(const QString& expression) {
    filter_ = expression;
    TTable* t = table();
    if (!t || !t->active()) return 0;
    Selection keep(*this);
    area().setQuery(expression.toLatin1());
    t->refresh();
    return 0;
}

uint32_t TEngineLink::filteredRecordCount() {
    Selection keep(*this);
    return area().queryRecCount();
}

uint32_t TEngineLink::recordCount() {
    Selection keep(*this);
    return area().recCount();
}

uint32_t TEngineLink::currentRecordNumber() {
    TTable* t = table();
    if (t && t->active()) return t->recNo();
    Selection keep(*this);
    WorkArea& a = area();
    return a.eof() ? a.recCount() + 1 : a.recNo();
}

void TEngineLink::setGaugeHook(std::function<void(int)> hook) { engine().setGaugeHook(std::move(hook)); }

int TEngineLink::systemProperty(int code, int value) { return engine().sysProp(code, value); }

}  // namespace orv
