#pragma once
// Pack: the live records of a table copied into new table and memo files
// (the memos through MemoWriter), committed by renames that a crash either
// finishes or undoes on the next writable open. The work area rebuilds the
// tags afterwards.
#include "store/file_system.h"

#include <QString>

namespace orv {

class TableFile;

// Writes NAME.tmp (and the memo file's .new), makes NAME.new the commit
// point, renames both over the old files and reopens the table with the
// change still marked. Progress goes from 0 to progressEnd. Needs the table
// opened exclusively, with nothing pending.
void PackTable(TableFile& table, int progressEnd);

// Whether files an interrupted pack or index replacement leaves lie beside the table.
bool PackLeftovers(const FileSystem& fs, const QString& path);
// A pack that reached its commit point (the new table complete as NAME.new)
// is finished; one that did not is discarded. True when the table file was
// replaced.
bool RecoverInterruptedPack(FileSystem& fs, const QString& path);

}  // namespace orv
