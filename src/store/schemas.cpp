#include "store/schemas.h"

#include "config/program_folder.h"

#include <QFileInfo>

namespace orv {

const TableSchema& FaxSchema() {
    static const TableSchema s{
        "ORV.DBF", "ORV.CDX", "DATESENT", "DTOS(DATESENT)+TIMESENT", "datesent", true, kNotDeletedFilter,
        {
            {"SUBJECT", 'C', 50, 0, "Subject", 20},
            {"SENT", 'L', 1, 0, nullptr, 0},
            {"DATESENT", 'D', 8, 0, "Date Sent", 0},
            {"TIMESENT", 'C', 5, 0, "Time Sent", 0},
            {"RECIPIENT", 'C', 35, 0, "Recipient", 20},
            {"PHONE", 'C', 25, 0, "Phone", 15},
            {"PAGES", 'N', 2, 0, "Pages", 5},
            {"LASTRESULT", 'C', 100, 0, "Last Attempt", 35},
            {"RTFCOVER", 'M', 10, 0, nullptr, 0},
            {"RTFDOC", 'M', 10, 0, nullptr, 0},
        },
        {"SentYesNo", "DATESENT", "TIMESENT", "RECIPIENT", "PHONE", "PAGES", "SUBJECT", "LASTRESULT"},
    };
    return s;
}

const TableSchema& RecFaxSchema() {
    static const TableSchema s{
        "ORVREC.DBF", "ORVREC.CDX", "DATETIME", "DTOS(DATEREC)+TIMEREC", "DTOS(DATEREC)+TIMEREC", true, kNotDeletedFilter,
        {
            {"DATEREC", 'D', 8, 0, "Date Rec'd", 0},
            {"TIMEREC", 'C', 5, 0, "Time Rec'd", 0},
            {"FROM", 'C', 20, 0, "From", 0},
            {"PAGES", 'N', 2, 0, "Pages", 0},
            {"FAXFILE", 'C', 12, 0, nullptr, 0},
            {"NOTES", 'C', 60, 0, "Notes", 60},
        },
        {"DATEREC", "TIMEREC", "FROM", "PAGES", "NOTES"},
    };
    return s;
}

const TableSchema& CoverSchema() {
    static const TableSchema s{
        "ORVCOV.DBF", "ORVCOV.CDX", "DESCRIPT", "DESCRIPT", "DESCRIPT", false, kNotDeletedFilter,
        {
            {"DESCRIPT", 'C', 35, 0, "Description", 100},
            {"COVER", 'M', 10, 0, nullptr, 0},
        },
        {"DESCRIPT"},
    };
    return s;
}

const TableSchema& PhoneSchema() {
    static const TableSchema s{
        "ORVPB.DBF", "ORVPB.CDX", "NAME", "NAME", "NAME", false, kNotDeletedFilter,
        {
            {"NAME", 'C', 35, 0, "Name", 31},
            {"PHONE", 'C', 25, 0, "Fax #", 0},
        },
        {"NAME", "PHONE"},
    };
    return s;
}

namespace {

QString folderOrDefault(const QString& folder) {
    QString f = folder.isEmpty() ? ProgramFolder() : folder;
    if (!f.endsWith('/')) f += '/';
    return f;
}

bool linkedTo(const TTable& table, const TEngineLink& link) { return link.table() == &table; }

enum class OpenStyle { Sent, Received, Lookup };

bool openTable(TTable& table, TEngineLink& link, const TableSchema& schema, const QString& folderArg, OpenStyle style) {
    if (!linkedTo(table, link)) return false;
    const QString folder = folderOrDefault(folderArg);
    try {
        table.setDatabaseName(folder);
        table.setTableName(QString::fromLatin1(schema.fileName));
        table.setExclusive(true);
        ConfigureTable(table, schema);
        if (!QFileInfo::exists(folder + QString::fromLatin1(schema.fileName)) && !MakeTable(link, schema, folder)) return false;
        if (style != OpenStyle::Lookup) table.close();
        // An IndexName left from earlier must not stop the open: the tag may
        // have gone with a deleted index file.
        if (!table.active()) table.setIndexName(QString());
        table.open();
    } catch (const std::exception&) {
        return false;
    }
    // From here on the table is usable; later failures leave it unchanged.
    try {
        if (!QFileInfo::exists(folder + QString::fromLatin1(schema.indexFile)))
            link.createIndexTag(QString(), QString::fromLatin1(schema.tagName), QString::fromLatin1(schema.tagKey), 0,
                                schema.descending, QString::fromLatin1(schema.condition));
        if (style == OpenStyle::Lookup) link.setOrder(link.tagNumber(QString::fromLatin1(schema.tagName)));
        if (style == OpenStyle::Sent) table.first();
        link.setFilter(QString::fromLatin1(schema.condition));
        if (style == OpenStyle::Sent) table.refresh();
    } catch (const std::exception&) {
    }
    return true;
}

}  // namespace

void ConfigureTable(TTable& table, const TableSchema& schema) {
    for (const char* name : schema.displayOrder) {
        const QString n = QString::fromLatin1(name);
        if (n == QLatin1String("SentYesNo")) {
            table.addCalculatedField(n, 3, QStringLiteral("Sent"), 3);
            continue;
        }
        for (const SchemaField& f : schema.fields)
            if (n == QLatin1String(f.name)) table.defineField(n, QString::fromLatin1(f.label), f.displayWidth, true);
    }
    for (const SchemaField& f : schema.fields)
        if (!f.label) table.defineField(QString::fromLatin1(f.name), QString::fromLatin1(f.name), 0, false);
    if (&schema == &FaxSchema() && !table.OnCalcFields) {
        table.OnCalcFields = [](TTable& t) {
            t.fieldByName(QStringLiteral("SentYesNo")).setAsString(t.fieldByName(QStringLiteral("SENT")).asBoolean() ? QStringLiteral("Yes") : QStringLiteral("No "));
        };
    }
}

bool MakeTable(TEngineLink& link, const TableSchema& schema, const QString& folderArg) {
    const QString path = folderOrDefault(folderArg) + QString::fromLatin1(schema.fileName);
    try {
        if (!link.createTable(path, kDriverFox, int(schema.fields.size()))) return false;
        for (const SchemaField& f : schema.fields) link.createField(QString::fromLatin1(f.name), f.type, f.width, f.decimals);
        if (!link.executeCreation()) return false;
        return QFileInfo::exists(path);
    } catch (const std::exception&) {
        return false;
    }
}

bool MakeFaxDBF(TEngineLink& link, const QString& folder) { return MakeTable(link, FaxSchema(), folder); }
bool MakeRecFaxDBF(TEngineLink& link, const QString& folder) { return MakeTable(link, RecFaxSchema(), folder); }
bool MakeCoverDBF(TEngineLink& link, const QString& folder) { return MakeTable(link, CoverSchema(), folder); }
bool MakePhoneDBF(TEngineLink& link, const QString& folder) { return MakeTable(link, PhoneSchema(), folder); }

bool OpenFaxDBF(TTable& table, TEngineLink& link, const QString& folder) {
    return openTable(table, link, FaxSchema(), folder, OpenStyle::Sent);
}
bool OpenRecFaxDBF(TTable& table, TEngineLink& link, const QString& folder) {
    return openTable(table, link, RecFaxSchema(), folder, OpenStyle::Received);
}
bool OpenCoverDBF(TTable& table, TEngineLink& link, const QString& folder) {
    return openTable(table, link, CoverSchema(), folder, OpenStyle::Lookup);
}
bool OpenPhoneDBF(TTable& table, TEngineLink& link, const QString& folder) {
    return openTable(table, link, PhoneSchema(), folder, OpenStyle::Lookup);
}

}  // namespace orv
