#pragma once
// Helpers shared by the store tests: tables made in a temporary folder,
// and the independent readers (python3-dbfread, Perl XBase::Index).
#include "store/data_engine.h"
#include "store/tengine_link.h"
#include "support/test_paths.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orv::test {

// Runs a program; returns its exit code (-1 when it cannot start) and its stdout.
int runProgram(const QString& program, const QStringList& args, QByteArray* out, QByteArray* err = nullptr);

// dbfread's view of a table (see read_dbf.py).
QJsonObject readWithDbfread(const QString& dbfPath);

// XBase::Index's view of tags: for each "TAG:TYPE" the header line and the
// entries as "key\trecno" lines.
struct PerlTag {
    QString name, keyExpr, forExpr;
    int order = -1;
    int options = 0;
    int keyLength = 0;
    QStringList keys;
    QList<int> recnos;
};
QList<PerlTag> readWithXBaseIndex(const QString& cdxPath, const QStringList& tagSpecs, QStringList* tagNames = nullptr);

// A table with the given fields created in dir (with a memo file when needed).
QString makeTable(const QTemporaryDir& dir, const QString& name, const std::vector<DbfField>& fields);
DbfField field(const char* name, char type, int width, int decimals = 0);

// A table object with its data source and engine link, bound together as
// the windows hold them.
struct Bound {
    TTable table;
    TDataSource source;
    TEngineLink link;
    Bound() {
        source.setDataSet(&table);
        link.setDataSource(&source);
    }
};

// Whole-file helpers (readFile is in support/test_paths.h).
void writeFile(const QString& path, const QByteArray& bytes);

}  // namespace orv::test
