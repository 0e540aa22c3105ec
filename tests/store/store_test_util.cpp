#include "store_test_util.h"

#include "support/test_paths.h"

#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include "support/run_program.h"

namespace orv::test {

int runProgram(const QString& program, const QStringList& args, QByteArray* out, QByteArray* err) {
    const ProgramRun r = orv::test::runProgram(program, args, 120000, false);
    if (out) *out = r.out;
    if (err) *err = r.err;
    return r.exitCode;
}

QJsonObject readWithDbfread(const QString& dbfPath) {
    QByteArray out, err;
    const int rc = runProgram("/usr/bin/python3", {sourceDir() + "/tests/store/read_dbf.py", dbfPath}, &out, &err);
    EXPECT_EQ(rc, 0) << err.constData();
    return QJsonDocument::fromJson(out).object();
}

QList<PerlTag> readWithXBaseIndex(const QString& cdxPath, const QStringList& tagSpecs, QStringList* tagNames) {
    QByteArray out, err;
    QStringList args{sourceDir() + "/tests/store/read_cdx.pl", cdxPath};
    args += tagSpecs;
    const int rc = runProgram("/usr/bin/perl", args, &out, &err);
    EXPECT_EQ(rc, 0) << err.constData();
    QList<PerlTag> tags;
    for (const QByteArray& raw : out.split('\n')) {
        const QString line = QString::fromLatin1(raw);
        if (line.startsWith("TAGS ")) {
            if (tagNames) *tagNames = line.mid(5).split(',', Qt::SkipEmptyParts);
        } else if (line.startsWith("TAG ")) {
            const QStringList p = line.mid(4).split('|');
            PerlTag t;
            t.name = p.value(0);
            t.keyExpr = p.value(1);
            t.forExpr = p.value(2);
            t.order = p.value(3).toInt();
            t.options = p.value(4).toInt(nullptr, 16);
            t.keyLength = p.value(5).toInt();
            tags << t;
        } else if (!line.isEmpty() && !tags.isEmpty()) {
            const int tab = line.lastIndexOf('\t');
            tags.last().keys << line.left(tab);
            tags.last().recnos << line.mid(tab + 1).toInt();
        }
    }
    return tags;
}

DbfField field(const char* name, char type, int width, int decimals) { return DbfField::make(name, type, width, decimals); }

QString makeTable(const QTemporaryDir& dir, const QString& name, const std::vector<DbfField>& fields) {
    const QString path = dir.path() + "/" + name;
    WorkArea::create(path, fields, 64);
    return path;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

}  // namespace orv::test
