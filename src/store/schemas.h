#pragma once
// The program's four tables: file names, fields, display labels, the one
// index tag of each, and the operations the windows call to create and open
// them (each returns true on success and never throws):
//
//   OpenFaxDBF / MakeFaxDBF         ORV.DBF     sent faxes       tag DATESENT (descending)
//   OpenRecFaxDBF / MakeRecFaxDBF   ORVREC.DBF  received faxes   tag DATETIME (descending)
//   OpenCoverDBF / MakeCoverDBF     ORVCOV.DBF  cover templates  tag DESCRIPT
//   OpenPhoneDBF / MakePhoneDBF     ORVPB.DBF   phone book       tag NAME
//
// The link must be bound to the table (link.DataSource()->DataSet() ==
// &table). The folder defaults to ProgramFolder().
#include "store/tengine_link.h"

#include <QString>

#include <vector>

namespace orv {

struct SchemaField {
    const char* name;
    char type;
    int width;
    int decimals;
    const char* label;  // display label; nullptr: the field is not shown
    int displayWidth;   // 0: the field's own width
};

struct TableSchema {
    const char* fileName;    // "ORV.DBF"
    const char* indexFile;   // "ORV.CDX"
    const char* tagName;     // "DATESENT"
    const char* tagKey;      // key when the table's tag is first created
    const char* rebuildKey;  // key when Rebuild Indexes builds it again
    bool descending;
    const char* condition;  // ".not. deleted()"
    // Fields in file order, and the order in which grids show them.
    std::vector<SchemaField> fields;
    std::vector<const char*> displayOrder;
};

const TableSchema& FaxSchema();
const TableSchema& RecFaxSchema();
const TableSchema& CoverSchema();
const TableSchema& PhoneSchema();

// The filter every table's link sets after opening.
inline constexpr const char* kNotDeletedFilter = ".not. deleted()";

// Display labels, widths and column order of a schema on a table object, and
// for the sent faxes the calculated field SentYesNo ("Yes" or "No ", label "Sent").
void ConfigureTable(TTable& table, const TableSchema& schema);

// Creates the table file of a schema in folder (default ProgramFolder()).
bool MakeTable(TEngineLink& link, const TableSchema& schema, const QString& folder = QString());

bool MakeFaxDBF(TEngineLink& link, const QString& folder = QString());
bool MakeRecFaxDBF(TEngineLink& link, const QString& folder = QString());
bool MakeCoverDBF(TEngineLink& link, const QString& folder = QString());
bool MakePhoneDBF(TEngineLink& link, const QString& folder = QString());

// Open (creating the table and its tag when missing), exclusive.
//   sent:      reopen, tag if no .CDX, first record, filter, views refreshed
//   received:  reopen, tag if no .CDX, filter
//   cover/phone: open, tag if no .CDX, order set to the tag, filter
bool OpenFaxDBF(TTable& table, TEngineLink& link, const QString& folder = QString());
bool OpenRecFaxDBF(TTable& table, TEngineLink& link, const QString& folder = QString());
bool OpenCoverDBF(TTable& table, TEngineLink& link, const QString& folder = QString());
bool OpenPhoneDBF(TTable& table, TEngineLink& link, const QString& folder = QString());

}  // namespace orv
