#pragma once
// The record-access layer the windows use: TTable is one table object (a
// FoxPro table opened in an engine work area) with named fields, a current
// record, the states browse/edit/insert, and navigation in the current index
// order under the engine's filter. TField is one field of it, typed by the
// field-kind rules (C string, D date, L boolean, N float or 16-bit integer,
// M/B/P memo as text); calculated fields are filled by OnCalcFields.
//
// Typical use (the sent-fax list):
//     TTable FaxTable; TDataSource FaxDataSource; TEngineLink FaxLink;
//     FaxDataSource.setDataSet(&FaxTable); FaxLink.setDataSource(&FaxDataSource);
//     OpenFaxDBF(FaxTable, FaxLink);                    // schemas.h
//     FaxTable.append(); FaxTable.fieldByName("SUBJECT").setAsString("Hi"); FaxTable.post();
#include "store/data_engine.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace orv {

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum class TFieldKind { fkString, fkDate, fkBoolean, fkFloat, fkSmallint, fkMemo };

class TTable;

// The kind a field of the given dBASE type gets; raises "Invalid Field Type X"
// (EDatabase, ecDbInvalidFieldType) for letters other than C D L N M B P.
TFieldKind FieldKindFor(char type, int width, int decimals);

class TField {
public:
    const QString& FieldName() const { return name_; }
    TFieldKind kind() const { return kind_; }
    char dbfType() const { return type_; }
    int Size() const { return size_; }  // characters of a string field
    int decimals() const { return decimals_; }
    bool Calculated() const { return fieldNo_ < 0; }
    QString DisplayLabel() const { return label_.isEmpty() ? name_ : label_; }
    void setDisplayLabel(const QString& label) { label_ = label; }
    int DisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : defaultDisplayWidth(); }
    void setDisplayWidth(int width) { displayWidth_ = width; }
    bool Visible() const { return visible_; }
    void setVisible(bool visible) { visible_ = visible; }
    // Index of the field in the table file, -1 for a calculated field.
    int fieldNo() const { return fieldNo_; }

    // Values of the current record (or of the record being edited).
    // Strings lose their trailing blanks; memos are read whole.
    QString asString() const;
    void setAsString(const QString& value);
    int asInteger() const;
    void setAsInteger(int value);
    double asFloat() const;
    void setAsFloat(double value);
    bool asBoolean() const;
    void setAsBoolean(bool value);
    QDate asDate() const;  // invalid for an empty date
    void setAsDate(const QDate& value);
    // Memo bytes as stored (Windows-1252 text such as RTF).
    QByteArray asBytes() const;
    void setAsBytes(const QByteArray& value);
    bool isNull() const;
    void clear();
    QVariant value() const;
    // The text a grid shows (dates in the short date format).
    QString displayText() const;

private:
    friend class TTable;
    TField(TTable* table, QString name, TFieldKind kind, char type, int size, int decimals, int fieldNo)
        : table_(table), name_(std::move(name)), kind_(kind), type_(type), size_(size), decimals_(decimals), fieldNo_(fieldNo) {}
    int defaultDisplayWidth() const;
    QByteArray raw() const;
    void setRaw(const QByteArray& bytes);

    TTable* table_;
    QString name_;
    TFieldKind kind_;
    char type_;
    int size_;
    int decimals_;
    int fieldNo_;
    QString label_;
    int displayWidth_ = 0;
    bool visible_ = true;
};

class TTable : public QObject {
    Q_OBJECT
public:
    explicit TTable(QObject* parent = nullptr, DataEngine* engine = nullptr);
    ~TTable() override;

    // ---- properties ------------------------------------------------------------------
    const QString& DatabaseName() const { return databaseName_; }
    void setDatabaseName(const QString& folder) { databaseName_ = folder; }
    const QString& TableName() const { return tableName_; }
    void setTableName(const QString& name) { tableName_ = name; }
    bool Exclusive() const { return exclusive_; }
    void setExclusive(bool exclusive) { exclusive_ = exclusive; }
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    // The current tag by name; empty for natural order. Setting it on an
    // active table selects that order (ecDbNoSuchTag for an unknown tag).
    const QString& IndexName() const { return indexName_; }
    void setIndexName(const QString& name);
    QString fullPath() const;
    DataEngine& engine() const { return *engine_; }

    // ---- field definitions (before or after opening) --------------------------------
    // Display label, width and visibility of a table field. Fields appear in
    // the order of these calls, then the remaining fields of the file.
    void defineField(const QString& name, const QString& label, int displayWidth = 0, bool visible = true);
    // A calculated string field of the given size, filled by OnCalcFields.
    void addCalculatedField(const QString& name, int size, const QString& label, int displayWidth = 0);
    // Called whenever a record is loaded, with the table positioned on it.
    std::function<void(TTable&)> OnCalcFields;

    // ---- state ----------------------------------------------------------------------
    void open();
    void close();
    void setActive(bool active) { active ? open() : close(); }
    bool active() const { return area_ != 0; }
    TDataSetState state() const { return state_; }
    // The engine work area of the open table (0 when closed).
    int workAreaNumber() const { return area_; }
    WorkArea* workArea() const;

    // ---- navigation -------------------------------------------------------------------
    void first();
    void last();
    void next();
    void prior();
    void moveBy(int distance);
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    // No current record (an empty list).
    bool isEmpty() const { return recno_ == 0; }
    // The current record's number; record count + 1 when there is none.
    uint32_t recNo() const;
    // All records of the file, deleted ones included.
    uint32_t recordCount() const;
    // Positions on a record number (what a grid row or a bookmark names).
    void gotoRecord(uint32_t recno);

    // ---- editing ----------------------------------------------------------------------
    void append();
    void insert() { append(); }
    void edit();
    // Writes the record being edited or inserted (a new record is appended
    // to the file) and returns to browse state.
    void post();
    void cancel();
    // Marks the current record deleted and moves to the next one (or the
    // previous one at the end).
    void deleteRecord();
    // Re-reads the current record and tells the views.
    void refresh();
    // Suspends and resumes the views' updates (nested); resuming refreshes them.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disabled_ > 0; }

    // ---- fields ----------------------------------------------------------------------
    int fieldCount() const { return int(fields_.size()); }
    TField& field(int i) const { return *fields_[size_t(i)]; }
    TField* findField(const QString& name) const;
    // Raises ecDbNoSuchField naming the field and the table.
    TField& fieldByName(const QString& name) const;

    // The text a grid shows for a field of any record (loads the record for
    // calculated fields without moving the table).
    QString displayTextFor(uint32_t recno, int fieldIndex);

    // ---- for TEngineLink ------------------------------------------------------------------
    // Takes the engine's current position as the table's current record.
    void syncFromEngine();
    // The current record's bytes (the edit buffer while editing).
    const QByteArray& recordBuffer() const { return buffer_; }

signals:
    void afterOpen();
    void afterClose();
    // Records, order, filter or position changed: views re-read.
    void dataSetChanged();
    // The current record changed (navigation or its values).
    void currentChanged();
    void stateChanged();

private:
    friend class TField;
    void buildFields();
    void load();
    void calculate();
    void checkBrowse();
    void requireActive() const;
    void notifyData();
    void notifyCurrent();
    WorkArea& area() const;
    void positionEngine();

    DataEngine* engine_;
    QString databaseName_, tableName_, indexName_;
    bool exclusive_ = true;
    bool readOnly_ = false;
    int area_ = 0;
    TDataSetState state_ = TDataSetState::dsInactive;
    std::vector<std::unique_ptr<TField>> fields_;
    struct Definition {
        QString name, label;
        int displayWidth = 0;
        bool visible = true;
        bool calculated = false;
        int size = 0;
    };
    std::vector<Definition> definitions_;
    uint32_t recno_ = 0;
    bool eof_ = true, bof_ = true;
    QByteArray buffer_;
    std::map<int, QByteArray> memoEdits_;
    std::map<QString, QString> calcValues_;
    int disabled_ = 0;
    bool pendingData_ = false;
};

}  // namespace orv
