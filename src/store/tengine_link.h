#pragma once
// TEngineLink: the data-engine link beside a table object. It reaches the
// engine directly for what TTable cannot do: creating tables and tags,
// orders, filters, pack, memo transfer to and from files, raw positioning.
// It finds its table through DataSource; every operation selects the
// table's work area first (the engine's current area stays selected when the
// table is not active) and selects the previous area again afterwards.
//
// When the table becomes active the link re-applies its Filter and re-opens
// its ExtraIndexes. Errors raise EDatabase / EInOutError.
#include "store/tdatasource.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

namespace orv {

class TEngineLink : public QObject {
    Q_OBJECT
public:
    explicit TEngineLink(QObject* parent = nullptr, DataEngine* engine = nullptr);

    // ---- published properties -------------------------------------------------------
    TDataSource* DataSource() const { return dataSource_; }
    void setDataSource(TDataSource* source);
    const QStringList& ExtraIndexes() const { return extraIndexes_; }
    void setExtraIndexes(const QStringList& files) { extraIndexes_ = files; }
    const QString& Filter() const { return filter_; }
    bool TurboRead() const { return turboRead_; }
    void setTurboRead(bool on) { turboRead_ = on; }

    TTable* table() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }
    DataEngine& engine() const;

    // ---- creating a table -------------------------------------------------------------
    // Starts the definition of a new table (alias "XXXXXXXXXX"); true when the
    // engine gave a work area.
    bool createTable(const QString& path, int driver, int fieldCount);
    void createField(const QString& name, char type, int width, int decimals);
    // Writes the new table and closes its work area; true on success.
    bool executeCreation();

    // ---- memos ------------------------------------------------------------------------
    // The current record's memo into a file; true on success.
    bool memoToFile(const QString& fieldName, const QString& filePath);
    // Posts a pending edit or insert, stores the file into the memo of the
    // table's current record, refreshes the table, and puts it back into
    // edit state when it was posted.
    void replaceMemoFromFile(const QString& fieldName, const QString& filePath);

    // ---- positions, orders, tags ---------------------------------------------------------
    void goToRecord(uint32_t recno);
    int currentIndexOrder();
    // Builds a tag (in the structural .CDX for an empty indexFile; option 1
    // = unique); the table's IndexName becomes the tag. Returns its order.
    int createIndexTag(const QString& indexFile, const QString& tagName, const QString& keyExpr, int option,
                       bool descending, const QString& condition);
    // The table's IndexName follows; returns the previous order.
    int setOrder(int order);
    int tagNumber(const QString& tagName);
    QString tagName(int order);
    void closeIndexes();

    // ---- records ----------------------------------------------------------------------------
    // Removes records marked deleted and rebuilds the open indexes; the
    // table goes to its first record.
    void pack();
    // Remembers the expression and, when the table is active, applies it
    // as the engine's query. Returns 0 (errors raise).
    int setFilter(const QString& expression);
    uint32_t filteredRecordCount();
    uint32_t recordCount();
    // The table's current record number; record count + 1 when none.
    uint32_t currentRecordNumber();

    // ---- engine -------------------------------------------------------------------------------
    // Progress (0..100) of pack and index builds; an empty function stops it.
    void setGaugeHook(std::function<void(int)> hook);
    int systemProperty(int code, int value);

private:
    class Selection;
    void tableOpened();
    WorkArea& area();

    DataEngine* engine_;
    QPointer<TDataSource> dataSource_;
    QMetaObject::Connection openConnection_;
    QStringList extraIndexes_;
    QString filter_;
    bool turboRead_ = false;
    int createdArea_ = 0;
    int openedArea_ = 0;
    QByteArray recordBuffer_;
};

}  // namespace orv
