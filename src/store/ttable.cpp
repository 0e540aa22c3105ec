#include "store/ttable.h"

#include "common/cp1252.h"
#include "store/db_error.h"
#include "store/tengine_env.h"

#include <QFileInfo>

#include <cmath>
#include <cstring>

namespace orv {

TFieldKind FieldKindFor(char type, int width, int decimals) {
    switch (type) {
    case 'C': return TFieldKind::fkString;
    case 'D': return TFieldKind::fkDate;
    case 'L': return TFieldKind::fkBoolean;
    case 'N':
        if (decimals > 0) return TFieldKind::fkFloat;
        return width < 5 ? TFieldKind::fkSmallint : TFieldKind::fkFloat;
    case 'M':
    case 'B':
    case 'P': return TFieldKind::fkMemo;
    default: ThrowDbError(ecDbInvalidFieldType, QString(QChar::fromLatin1(type)));
    }
}

// ---- TField ---------------------------------------------------------------------------

int TField::defaultDisplayWidth() const {
    switch (kind_) {
    case TFieldKind::fkString: return size_;
    case TFieldKind::fkDate: return 10;
    case TFieldKind::fkBoolean: return 5;
    case TFieldKind::fkSmallint: return 6;
    case TFieldKind::fkFloat: return 10;
    case TFieldKind::fkMemo: return 10;
    }
    return 10;
}

QByteArray TField::raw() const {
    if (Calculated()) {
        const auto it = table_->calcValues_.find(name_);
        return it == table_->calcValues_.end() ? QByteArray() : toCp1252(it->second);
    }
    const WorkArea& a = table_->area();
    const DbfField& f = a.fields()[size_t(fieldNo_)];
    if (kind_ == TFieldKind::fkMemo) {
        const auto it = table_->memoEdits_.find(fieldNo_);
        if (it != table_->memoEdits_.end()) return it->second;
        if (table_->isEmpty() && table_->state_ != TDataSetState::dsInsert) return {};
        const uint32_t block = a.memoBlock(table_->buffer_.constData(), fieldNo_);
        if (block == 0) return {};
        return a.readMemo(block);
    }
    return table_->buffer_.mid(f.offset, f.width);
}

void TField::setRaw(const QByteArray& bytes) {
    TTable& t = *table_;
    if (Calculated()) {
        t.calcValues_[name_] = fromCp1252(bytes);
        return;
    }
    if (t.state_ != TDataSetState::dsEdit && t.state_ != TDataSetState::dsInsert)
        ThrowDbError(ecDbNotEditing, t.TableName() + QStringLiteral(": field ") + name_);
    if (kind_ == TFieldKind::fkMemo) {
        t.memoEdits_[fieldNo_] = bytes;
        return;
    }
    const DbfField& f = t.area().fields()[size_t(fieldNo_)];
    QByteArray v = bytes;
    if (v.size() > f.width) {
        if (kind_ != TFieldKind::fkString)
            ThrowDbError(ecDbValueDoesNotFit, QStringLiteral("%1: \"%2\"").arg(name_, QString::fromLatin1(bytes)));
        v.truncate(f.width);
    }
    if (v.size() < f.width) {
        const QByteArray pad(f.width - v.size(), ' ');
        v = (f.type == 'N' || f.type == 'F') ? pad + v : v + pad;
    }
    std::memcpy(t.buffer_.data() + f.offset, v.constData(), size_t(f.width));
    t.calculate();
}

QString TField::asString() const {
    switch (kind_) {
    case TFieldKind::fkString: {
        QByteArray b = raw();
        if (!Calculated()) {
            qsizetype e = b.size();
            while (e > 0 && (b[e - 1] == ' ' || b[e - 1] == '\0')) --e;
            b.truncate(e);
        }
        return fromCp1252(b);
    }
    case TFieldKind::fkMemo: return fromCp1252(raw());
    case TFieldKind::fkDate: {
        const QDate d = asDate();
        return d.isValid() ? FormatShortDate(d) : QString();
    }
    case TFieldKind::fkBoolean: return asBoolean() ? QStringLiteral("True") : QStringLiteral("False");
    case TFieldKind::fkSmallint: return isNull() ? QString() : QString::number(asInteger());
    case TFieldKind::fkFloat: return isNull() ? QString() : QString::number(asFloat(), 'f', decimals_);
    }
    return {};
}

void TField::setAsString(const QString& value) {
    switch (kind_) {
    case TFieldKind::fkString:
    case TFieldKind::fkMemo: setRaw(toCp1252(value)); return;
    case TFieldKind::fkDate: {
        if (value.trimmed().isEmpty()) return clear();
        QDate d = QDate::fromString(value, ShortDateFormat().isEmpty() ? QStringLiteral("yyyyMMdd") : ShortDateFormat());
        if (!d.isValid()) d = QDate::fromString(value, Qt::ISODate);
        if (!d.isValid()) ThrowDbError(ecDbValueDoesNotFit, QStringLiteral("%1: \"%2\" is not a date").arg(name_, value));
        return setAsDate(d);
    }
    case TFieldKind::fkBoolean: {
        const QString v = value.trimmed().toUpper();
        return setAsBoolean(v == "TRUE" || v == "T" || v == "Y" || v == "YES" || v == ".T.");
    }
    case TFieldKind::fkSmallint:
    case TFieldKind::fkFloat: {
        if (value.trimmed().isEmpty()) return clear();
        bool ok = false;
        const double d = value.trimmed().toDouble(&ok);
        if (!ok) ThrowDbError(ecDbValueDoesNotFit, QStringLiteral("%1: \"%2\" is not a number").arg(name_, value));
        return setAsFloat(d);
    }
    }
}

int TField::asInteger() const { return int(std::lround(asFloat())); }

void TField::setAsInteger(int value) { setAsFloat(value); }

double TField::asFloat() const {
    if (kind_ != TFieldKind::fkSmallint && kind_ != TFieldKind::fkFloat) return asString().toDouble();
    const QByteArray b = raw();
    return NumberFromDbf(b.constData(), int(b.size()));
}

void TField::setAsFloat(double value) {
    if (kind_ != TFieldKind::fkSmallint && kind_ != TFieldKind::fkFloat) return setAsString(QString::number(value));
    if (kind_ == TFieldKind::fkSmallint && (value < -32768 || value > 32767))
        ThrowDbError(ecDbValueDoesNotFit, QStringLiteral("%1: %2 is not a 16-bit integer").arg(name_).arg(value));
    const QByteArray text = QByteArray::number(value, 'f', decimals_);
    if (text.size() > size_ || !std::isfinite(value))
        ThrowDbError(ecDbValueDoesNotFit, QStringLiteral("%1: %2 needs more than %3 characters").arg(name_, QString::fromLatin1(text)).arg(size_));
    setRaw(text);
}

bool TField::asBoolean() const {
    const QByteArray b = raw();
    if (kind_ != TFieldKind::fkBoolean) return !b.trimmed().isEmpty();
    return !b.isEmpty() && (b[0] == 'T' || b[0] == 't' || b[0] == 'Y' || b[0] == 'y');
}

void TField::setAsBoolean(bool value) {
    if (kind_ != TFieldKind::fkBoolean) return setAsString(value ? QStringLiteral("T") : QStringLiteral("F"));
    setRaw(value ? "T" : "F");
}

QDate TField::asDate() const {
    if (kind_ != TFieldKind::fkDate) return {};
    const QByteArray b = raw();
    if (b.size() < 8) return {};
    const int64_t jdn = JulianDayFromDbf(b.constData());
    if (jdn == 0) return {};
    return QDate::fromJulianDay(jdn);
}

void TField::setAsDate(const QDate& value) {
    if (kind_ != TFieldKind::fkDate) return setAsString(FormatShortDate(value));
    if (!value.isValid()) return clear();
    if (value.year() < 1 || value.year() > 9999)
        ThrowDbError(ecDbValueDoesNotFit, QStringLiteral("%1: year %2").arg(name_).arg(value.year()));
    setRaw(value.toString(QStringLiteral("yyyyMMdd")).toLatin1());
}

QByteArray TField::asBytes() const { return raw(); }
void TField::setAsBytes(const QByteArray& value) { setRaw(value); }

bool TField::isNull() const { return raw().trimmed().isEmpty(); }

void TField::clear() {
    if (kind_ == TFieldKind::fkMemo) return setRaw(QByteArray());
    setRaw(QByteArray(Calculated() ? 0 : table_->area().fields()[size_t(fieldNo_)].width, ' '));
}

QVariant TField::value() const {
    if (isNull() && kind_ != TFieldKind::fkBoolean) return {};
    switch (kind_) {
    case TFieldKind::fkString:
    case TFieldKind::fkMemo: return asString();
    case TFieldKind::fkDate: return asDate();
    case TFieldKind::fkBoolean: return asBoolean();
    case TFieldKind::fkSmallint: return asInteger();
    case TFieldKind::fkFloat: return asFloat();
    }
    return {};
}

QString TField::displayText() const {
    if (kind_ == TFieldKind::fkMemo) return isNull() ? QStringLiteral("(memo)") : QStringLiteral("(MEMO)");
    if (kind_ == TFieldKind::fkString && Calculated()) return asString();
    return asString();
}

// ---- TTable ---------------------------------------------------------------------------

TTable::TTable(QObject* parent, DataEngine* engine) : QObject(parent), engine_(engine ? engine : &DataEngine::instance()) {}

TTable::~TTable() {
    try {
        close();
    } catch (...) {
    }
}

QString TTable::fullPath() const {
    if (databaseName_.isEmpty() || QFileInfo(tableName_).isAbsolute()) return tableName_;
    return databaseName_.endsWith('/') ? databaseName_ + tableName_ : databaseName_ + '/' + tableName_;
}

WorkArea* TTable::workArea() const { return area_ ? engine_->area(area_) : nullptr; }

WorkArea& TTable::area() const {
    WorkArea* a = workArea();
    if (!a) ThrowDbError(ecDbNoWorkArea, tableName_ + QStringLiteral(" is not open"));
    return *a;
}

void TTable::requireActive() const { (void)area(); }

void TTable::defineField(const QString& name, const QString& label, int displayWidth, bool visible) {
    for (Definition& d : definitions_)
        if (d.name.compare(name, Qt::CaseInsensitive) == 0) {
            d.label = label, d.displayWidth = displayWidth, d.visible = visible;
            if (TField* f = findField(name)) f->setDisplayLabel(label), f->setDisplayWidth(displayWidth), f->setVisible(visible);
            return;
        }
    definitions_.push_back({name.toUpper(), label, displayWidth, visible, false, 0});
}

void TTable::addCalculatedField(const QString& name, int size, const QString& label, int displayWidth) {
    for (const Definition& d : definitions_)
        if (d.name.compare(name, Qt::CaseInsensitive) == 0) return;
    definitions_.push_back({name, label, displayWidth, true, true, size});
}

void TTable::buildFields() {
    fields_.clear();
    const WorkArea& a = area();
    std::vector<bool> used(a.fields().size(), false);
    std::vector<std::unique_ptr<TField>> all;
    // Check every type first, so a table with an unknown type fails whole.
    for (const DbfField& f : a.fields()) (void)FieldKindFor(f.type, f.width, f.decimals);
    auto makeTableField = [&](int i) {
        const DbfField& f = a.fields()[size_t(i)];
        used[size_t(i)] = true;
        return std::unique_ptr<TField>(new TField(this, QString::fromLatin1(f.name), FieldKindFor(f.type, f.width, f.decimals), f.type, f.width, f.decimals, i));
    };
    for (const Definition& d : definitions_) {
        std::unique_ptr<TField> fld;
        if (d.calculated) {
            fld.reset(new TField(this, d.name, TFieldKind::fkString, 'C', d.size, 0, -1));
        } else {
            const int i = a.fieldIndex(d.name.toLatin1());
            if (i < 0 || used[size_t(i)]) continue;
            fld = makeTableField(i);
        }
        fld->setDisplayLabel(d.label);
        fld->setDisplayWidth(d.displayWidth);
        fld->setVisible(d.visible);
        fields_.push_back(std::move(fld));
    }
    for (size_t i = 0; i < a.fields().size(); ++i)
        if (!used[i]) fields_.push_back(makeTableField(int(i)));
}

TField* TTable::findField(const QString& name) const {
    for (const auto& f : fields_)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0) return f.get();
    return nullptr;
}

TField& TTable::fieldByName(const QString& name) const {
    TField* f = findField(name);
    if (!f) ThrowDbError(ecDbNoSuchField, tableName_ + QStringLiteral(": ") + name);
    return *f;
}

void TTable::open() {
    if (active()) return;
    const OpenMode mode = exclusive_ ? OpenMode::Exclusive : (readOnly_ ? OpenMode::ReadOnly : OpenMode::Shared);
    const QString path = fullPath();
    area_ = engine_->use(path, engine_->makeAlias(path), mode);
    try {
        buildFields();
        if (!indexName_.isEmpty()) {
            const int order = area().tagArea(indexName_.toLatin1());
            if (order == 0) ThrowDbError(ecDbNoSuchTag, tableName_ + QStringLiteral(": ") + indexName_);
            area().setOrder(order);
        }
        buffer_ = QByteArray(area().recSize(), ' ');
        state_ = TDataSetState::dsBrowse;
        area().goTop();
        load();
    } catch (...) {
        const int n = area_;
        area_ = 0;
        state_ = TDataSetState::dsInactive;
        fields_.clear();
        engine_->close(n);
        throw;
    }
    emit afterOpen();
    emit stateChanged();
    notifyData();
}

void TTable::close() {
    if (!active()) return;
    memoEdits_.clear();
    const int n = area_;
    area_ = 0;
    state_ = TDataSetState::dsInactive;
    recno_ = 0;
    eof_ = bof_ = true;
    engine_->close(n);
    emit afterClose();
    emit stateChanged();
    notifyData();
}

void TTable::setIndexName(const QString& name) {
    if (active()) {
        checkBrowse();
        const int order = name.isEmpty() ? 0 : area().tagArea(name.toLatin1());
        if (!name.isEmpty() && order == 0) ThrowDbError(ecDbNoSuchTag, tableName_ + QStringLiteral(": ") + name);
        area().setOrder(order);
    }
    indexName_ = name.toUpper();
    if (active()) notifyData();
}

void TTable::calculate() {
    if (OnCalcFields) {
        bool any = false;
        for (const auto& f : fields_) any = any || f->Calculated();
        if (any) OnCalcFields(*this);
    }
}

void TTable::load() {
    WorkArea& a = area();
    memoEdits_.clear();
    if (a.eof()) {
        recno_ = 0;
        buffer_ = a.getRecord();
    } else {
        recno_ = a.recNo();
        buffer_ = a.getRecord();
    }
    eof_ = a.eof();
    bof_ = a.bof();
    calculate();
}

void TTable::positionEngine() {
    WorkArea& a = area();
    if (recno_ == 0) {
        if (!a.eof()) a.go(a.recCount() + 1);
    } else if (a.recNo() != recno_ || a.eof()) {
        a.go(recno_);
    }
}

void TTable::checkBrowse() {
    if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) post();
}

void TTable::first() {
    requireActive();
    checkBrowse();
    area().goTop();
    load();
    bof_ = true;
    notifyCurrent();
}

void TTable::last() {
    requireActive();
    checkBrowse();
    area().goBottom();
    load();
    eof_ = true;
    notifyCurrent();
}

void TTable::moveBy(int distance) {
    requireActive();
    checkBrowse();
    if (distance == 0) return;
    WorkArea& a = area();
    positionEngine();
    if (recno_ == 0) {
        eof_ = bof_ = true;
        return;
    }
    a.skip(distance);
    if (a.eof() || a.bof()) {
        // Stay on the last (or first) record, as a grid expects.
        const bool atEnd = a.eof();
        a.go(recno_);
        eof_ = atEnd;
        bof_ = !atEnd;
        return;
    }
    load();
    eof_ = bof_ = false;
    notifyCurrent();
}

void TTable::next() { moveBy(1); }
void TTable::prior() { moveBy(-1); }

uint32_t TTable::recNo() const {
    if (!active()) return 1;
    return recno_ == 0 ? area().recCount() + 1 : recno_;
}

uint32_t TTable::recordCount() const { return active() ? area().recCount() : 0; }

void TTable::gotoRecord(uint32_t recno) {
    requireActive();
    checkBrowse();
    area().go(recno);
    load();
    notifyCurrent();
}

void TTable::syncFromEngine() {
    if (!active()) return;
    load();
    notifyData();
}

void TTable::append() {
    requireActive();
    checkBrowse();
    if (area().readOnly()) ThrowDbError(ecDbReadOnly, tableName_);
    buffer_ = QByteArray(area().recSize(), ' ');
    memoEdits_.clear();
    state_ = TDataSetState::dsInsert;
    calculate();
    emit stateChanged();
    notifyCurrent();
}

void TTable::edit() {
    requireActive();
    if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) return;
    if (recno_ == 0) ThrowDbError(ecDbNoRecord, tableName_);
    if (area().readOnly()) ThrowDbError(ecDbReadOnly, tableName_);
    area().go(recno_);
    buffer_ = area().getRecord();
    state_ = TDataSetState::dsEdit;
    emit stateChanged();
}

void TTable::post() {
    requireActive();
    if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
    WorkArea& a = area();
    a.beginUpdate();
    try {
        if (state_ == TDataSetState::dsInsert) {
            a.appendBlank();
        } else {
            a.go(recno_);
        }
        a.putRecord(buffer_);
        for (const auto& [field, bytes] : memoEdits_) a.replaceMemo(field, bytes);
        a.endUpdate();
    } catch (...) {
        // The record may be half written; its index is rebuilt when the
        // update cannot be finished (the table's transaction byte stays set).
        try {
            a.endUpdate();
        } catch (...) {
        }
        throw;
    }
    memoEdits_.clear();
    state_ = TDataSetState::dsBrowse;
    recno_ = a.recNo();
    load();
    emit stateChanged();
    notifyData();
}

void TTable::cancel() {
    if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
    state_ = TDataSetState::dsBrowse;
    memoEdits_.clear();
    positionEngine();
    load();
    emit stateChanged();
    notifyCurrent();
}

void TTable::deleteRecord() {
    requireActive();
    if (state_ == TDataSetState::dsInsert) return cancel();
    if (state_ == TDataSetState::dsEdit) cancel();
    if (recno_ == 0) ThrowDbError(ecDbNoRecord, tableName_);
    WorkArea& a = area();
    a.go(recno_);
    a.deleteRecord();
    a.skip(1);
    if (a.eof()) {
        a.go(recno_);
        a.skip(-1);
        if (a.bof() || !a.isVisible(a.recNo())) a.go(a.recCount() + 1);
    }
    load();
    notifyData();
}

void TTable::refresh() {
    requireActive();
    if (state_ == TDataSetState::dsBrowse) {
        positionEngine();
        load();
    }
    notifyData();
}

void TTable::disableControls() { ++disabled_; }

void TTable::enableControls() {
    if (disabled_ > 0 && --disabled_ == 0 && pendingData_) {
        pendingData_ = false;
        emit dataSetChanged();
        emit currentChanged();
    }
}

void TTable::notifyData() {
    if (disabled_ > 0) {
        pendingData_ = true;
        return;
    }
    emit dataSetChanged();
    emit currentChanged();
}

void TTable::notifyCurrent() {
    if (disabled_ > 0) {
        pendingData_ = true;
        return;
    }
    emit currentChanged();
}

QString TTable::displayTextFor(uint32_t recno, int fieldIndex) {
    WorkArea& a = area();
    if (recno < 1 || recno > a.recCount() || fieldIndex < 0 || fieldIndex >= fieldCount()) return {};
    TField& f = field(fieldIndex);
    // Borrow the buffer: the field code reads the current record from it.
    const QByteArray saved = buffer_;
    const uint32_t savedRecno = recno_;
    const auto savedCalc = calcValues_;
    const auto savedEdits = std::move(memoEdits_);
    memoEdits_.clear();
    buffer_ = QByteArray(a.recordAt(recno), a.recSize());
    recno_ = recno;
    if (f.Calculated()) calculate();
    QString text;
    try {
        text = f.displayText();
    } catch (const EOrvException&) {
        text = QStringLiteral("?");
    }
    buffer_ = saved;
    recno_ = savedRecno;
    calcValues_ = savedCalc;
    memoEdits_ = savedEdits;
    return text;
}

}  // namespace orv
