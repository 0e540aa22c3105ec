// orvdb: the record store from the command line.
//   orvdb info TABLE.DBF                          header, fields, record count, tags
//   orvdb list TABLE.DBF [--tag NAME] [--deleted] records in tag order, memos shortened
//   orvdb check TABLE.DBF                         DBF/FPT/CDX consistency (exit 1 with the problems)
//   orvdb pack TABLE.DBF                          remove records marked deleted, rebuild the tags
//   orvdb reindex TABLE.DBF                       rebuild every tag of the structural index
//   orvdb import-phonebook ORVPB.DBF FILE         append the contacts of a vCard or CSV file
#include "common/cp1252.h"
#include "common/orv_error.h"
#include "compose/contact_import.h"
#include "store/data_engine.h"
#include "store/table_check.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

using namespace orv;

namespace {

void out(const QString& s) {
    const QByteArray b = s.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fputc('\n', stdout);
}

void err(const QString& s) {
    const QByteArray b = s.toUtf8();
    std::fprintf(stderr, "orvdb: %s\n", b.constData());
}

int usage() {
    std::fputs(
        "usage: orvdb info TABLE.DBF\n"
        "       orvdb list TABLE.DBF [--tag NAME] [--deleted]\n"
        "       orvdb check TABLE.DBF\n"
        "       orvdb pack TABLE.DBF\n"
        "       orvdb reindex TABLE.DBF\n"
        "       orvdb import-phonebook ORVPB.DBF FILE.vcf|FILE.csv\n",
        stderr);
    return 2;
}

QString versionText(uint8_t v) {
    switch (v) {
    case 0x03: return QStringLiteral("FoxPro 2.x, no memo");
    case 0xF5: return QStringLiteral("FoxPro 2.x with memo");
    case 0x30:
    case 0x31:
    case 0x32: return QStringLiteral("Visual FoxPro (read-only)");
    default: return QStringLiteral("unknown");
    }
}

QString describeTag(const CdxTagInfo& t) {
    QString s = QStringLiteral("key %1").arg(QString::fromLatin1(t.keyExpr));
    if (!t.forExpr.isEmpty()) s += QStringLiteral("  for %1").arg(QString::fromLatin1(t.forExpr));
    s += t.descending ? QStringLiteral("  descending") : QStringLiteral("  ascending");
    if (t.unique()) s += QStringLiteral("  unique");
    return s;
}

int info(WorkArea& a) {
    const DbfHeader& h = a.header();
    out(QStringLiteral("Table: %1").arg(QFileInfo(a.path()).fileName()));
    out(QStringLiteral("Version: 0x%1 (%2)").arg(h.version, 2, 16, QLatin1Char('0')).arg(versionText(h.version)));
    out(QStringLiteral("Last update: %1-%2-%3").arg(h.updateYear, 4, 10, QLatin1Char('0')).arg(h.updateMonth, 2, 10, QLatin1Char('0')).arg(h.updateDay, 2, 10, QLatin1Char('0')));
    out(QStringLiteral("Code page: 0x%1").arg(h.codePage, 2, 16, QLatin1Char('0')));
    out(QStringLiteral("Records: %1").arg(h.recordCount));
    out(QStringLiteral("Header length: %1").arg(h.headerLength));
    out(QStringLiteral("Record length: %1").arg(h.recordLength));
    out(QStringLiteral("Structural index flag: %1").arg((h.flags & kDbfFlagStructuralCdx) ? "yes" : "no"));
    if (a.hasMemoFile()) out(QStringLiteral("Memo file: %1 (block size %2)").arg(QFileInfo(a.memoPath()).fileName()).arg(a.memoBlockSize()));
    out(QStringLiteral("Fields:"));
    int i = 0;
    for (const DbfField& f : h.fields)
        out(QStringLiteral("  %1 %2 %3 %4 %5").arg(++i, 3).arg(QString::fromLatin1(f.name), -10).arg(QChar::fromLatin1(f.type)).arg(f.width, 4).arg(f.decimals, 3));
    out(QStringLiteral("Tags:"));
    if (a.tagCount() == 0 && a.unusableTags().empty()) out(QStringLiteral("  (none)"));
    for (int t = 1; t <= a.tagCount(); ++t)
        out(QStringLiteral("  %1 %2 %3  (%4 keys)").arg(t, 3).arg(QString::fromLatin1(a.tag(t).name()), -10).arg(describeTag(a.tag(t).info())).arg(a.tag(t).size()));
    for (const UnusableTag& u : a.unusableTags())
        out(QStringLiteral("    - %1 %2  (cannot be used: %3)").arg(QString::fromLatin1(u.info.name), -10).arg(describeTag(u.info), u.reason));
    return 0;
}

QString shorten(const QString& s, int max) {
    QString t = s;
    t.replace('\r', ' ').replace('\n', ' ').replace('\t', ' ');
    return t.size() > max ? t.left(max) + QStringLiteral("...") : t;
}

int list(WorkArea& a, const QString& tag, bool withDeleted, DataEngine& engine) {
    engine.settings().deleted = !withDeleted;
    if (!tag.isEmpty()) {
        const int order = a.tagArea(tag.toLatin1());
        if (order == 0) {
            err(QStringLiteral("no tag %1 in %2").arg(tag, QFileInfo(a.path()).fileName()));
            return 1;
        }
        a.setOrder(order);
    }
    QStringList head{QStringLiteral("#"), QStringLiteral("DEL")};
    for (const DbfField& f : a.fields()) head << QString::fromLatin1(f.name);
    out(head.join('\t'));
    for (a.goTop(); !a.eof(); a.skip(1)) {
        QStringList row{QString::number(a.recNo()), a.deleted() ? QStringLiteral("*") : QString()};
        for (size_t i = 0; i < a.fields().size(); ++i) {
            const DbfField& f = a.fields()[i];
            if (f.isMemo()) {
                try {
                    row << shorten(fromCp1252(a.getMemo(int(i))), 40);
                } catch (const EOrvException& e) {
                    row << QStringLiteral("<%1>").arg(e.message());
                }
            } else {
                row << fromCp1252(a.fieldBytes(int(i))).trimmed();
            }
        }
        out(row.join('\t'));
    }
    return 0;
}

// Contacts from another address book into the phone book. Nothing is
// written when the file cannot be parsed at all; each contact left out is
// reported with its reason.
int importPhoneBook(const QString& table, const QString& contacts) {
    const PhoneBookImport r = ImportPhoneBook(table, contacts);
    if (!r.ok) {
        err(r.error);
        return 1;
    }
    for (const QString& line : r.report) out(line);
    out(QStringLiteral("%1: %2 %3 added from %4 (%5)")
            .arg(QFileInfo(table).fileName())
            .arg(r.added)
            .arg(r.added == 1 ? QStringLiteral("entry") : QStringLiteral("entries"), QFileInfo(contacts).fileName(), r.format));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2) return usage();
    const QString command = args.takeFirst();
    const QString path = args.takeFirst();
    if (command == "import-phonebook") {
        if (args.size() != 1) return usage();
        return importPhoneBook(path, args.takeFirst());
    }
    QString tag;
    bool withDeleted = false;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == "--tag" && !args.isEmpty()) tag = args.takeFirst();
        else if (a == "--deleted") withDeleted = true;
        else return usage();
    }
    if (!QFileInfo::exists(path)) {
        err(QStringLiteral("%1 does not exist").arg(path));
        return 1;
    }

    if (command == "check") {
        const TableCheckResult r = CheckTable(path);
        for (const QString& n : r.notes) out(QStringLiteral("note: ") + n);
        for (const QString& p : r.problems) out(p);
        if (r.problems.isEmpty()) out(QStringLiteral("%1: no problems found").arg(QFileInfo(path).fileName()));
        return r.problems.isEmpty() ? 0 : 1;
    }

    DataEngine engine;
    try {
        const bool write = command == "pack" || command == "reindex";
        if (!write && command != "info" && command != "list") return usage();
        engine.settings().gauge = [](int) {};
        const int n = engine.use(path, QString(), write ? OpenMode::Exclusive : OpenMode::ReadOnly);
        WorkArea& a = *engine.area(n);
        int rc = 0;
        if (command == "info") rc = info(a);
        else if (command == "list") rc = list(a, tag, withDeleted, engine);
        else if (command == "pack") {
            const uint32_t before = a.recCount();
            a.pack();
            out(QStringLiteral("%1: %2 records, %3 removed").arg(QFileInfo(path).fileName()).arg(a.recCount()).arg(before - a.recCount()));
        } else {
            a.reindex();
            out(QStringLiteral("%1: %2 tags rebuilt").arg(QFileInfo(path).fileName()).arg(a.tagCount()));
        }
        engine.closeAll();
        return rc;
    } catch (const EOrvException& e) {
        err(e.message());
        return 1;
    }
}
