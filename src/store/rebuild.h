#pragma once
// "Rebuild Indexes": for each of the four tables, throw the index file away,
// pack the table (records marked deleted leave the file) and build its tag
// anew, reporting progress 0..100 and naming each step. The Rebuild Indexes
// window drives RebuildIndexes and shows the step texts and the gauge.
#include "store/schemas.h"

#include <functional>

namespace orv {

struct RebuildCallbacks {
    std::function<void(int)> progress;           // 0..100, from the engine
    std::function<void(const QString&)> step;   // the label text ("" between tables)
};

// One table: gauge hook on; indexes closed and the .CDX deleted; pack;
// the schema's tag built with its rebuild key (the sent faxes' tag keys on
// the date alone); the order set to it; gauge hook off. Never throws: false
// when the engine failed (the table stays usable; a missing .CDX is rebuilt
// by the next open).
bool PackAndReindex(TEngineLink& link, const TableSchema& schema, const QString& folder, const RebuildCallbacks& cb);

struct RebuildTables {
    TTable* fax = nullptr;
    TEngineLink* faxLink = nullptr;
    TTable* rec = nullptr;
    TEngineLink* recLink = nullptr;
    TTable* phone = nullptr;  // opened with OpenPhoneDBF, closed afterwards
    TEngineLink* phoneLink = nullptr;
    TTable* cover = nullptr;  // opened with OpenCoverDBF, closed afterwards
    TEngineLink* coverLink = nullptr;
};

// The whole pass in the order sent, received, phone book, cover sheets.
// The phone-book and cover tables are processed only when they open.
// Returns true when every table was processed without an engine failure.
bool RebuildIndexes(const RebuildTables& tables, const RebuildCallbacks& cb, const QString& folder = QString());

}  // namespace orv
