#include "store/rebuild.h"

#include "config/program_folder.h"

#include <QFile>

namespace orv {
namespace {

struct Messages {
    const char* pack;
    const char* build;
};

Messages messagesFor(const TableSchema& schema) {
    if (&schema == &FaxSchema()) return {"Removing FAX file records marked for deletion", "Rebuilding FAX file indexes"};
    if (&schema == &RecFaxSchema())
        return {"Removing Received FAX records marked for deletion", "Rebuilding Received FAX indexes"};
    if (&schema == &PhoneSchema()) return {"Removing PHONE file records marked for deletion", "Rebuilding PHONE file indexes"};
    return {"Removing COVER file records marked for deletion", "Rebuilding COVER file indexes"};
}

void say(const RebuildCallbacks& cb, const QString& text) {
    if (cb.step) cb.step(text);
}
void gauge(const RebuildCallbacks& cb, int value) {
    if (cb.progress) cb.progress(value);
}

}  // namespace

bool PackAndReindex(TEngineLink& link, const TableSchema& schema, const QString& folderArg, const RebuildCallbacks& cb) {
    QString folder = folderArg.isEmpty() ? ProgramFolder() : folderArg;
    if (!folder.endsWith('/')) folder += '/';
    const Messages m = messagesFor(schema);
    bool ok = true;
    link.setGaugeHook(cb.progress);
    try {
        const QString tableFile = QString::fromLatin1(schema.fileName);
        const QString indexPath = folder + tableFile.left(tableFile.size() - 3) + QStringLiteral("CDX");
        link.closeIndexes();
        QFile::remove(indexPath);
        say(cb, QString::fromLatin1(m.pack));
        gauge(cb, 0);
        link.pack();
        gauge(cb, 0);
        say(cb, QString::fromLatin1(m.build));
        link.createIndexTag(QString(), QString::fromLatin1(schema.tagName), QString::fromLatin1(schema.rebuildKey), 0,
                            schema.descending, QString::fromLatin1(schema.condition));
        link.setOrder(link.tagNumber(QString::fromLatin1(schema.tagName)));
    } catch (const std::exception&) {
        ok = false;
    }
    link.setGaugeHook(nullptr);
    return ok;
}

bool RebuildIndexes(const RebuildTables& t, const RebuildCallbacks& cb, const QString& folder) {
    bool ok = true;
    say(cb, QString());
    if (t.fax && t.faxLink && t.fax->active()) ok = PackAndReindex(*t.faxLink, FaxSchema(), folder, cb) && ok;
    say(cb, QString());
    if (t.rec && t.recLink && t.rec->active()) ok = PackAndReindex(*t.recLink, RecFaxSchema(), folder, cb) && ok;
    if (t.phone && t.phoneLink && OpenPhoneDBF(*t.phone, *t.phoneLink, folder)) {
        ok = PackAndReindex(*t.phoneLink, PhoneSchema(), folder, cb) && ok;
        try {
            t.phone->close();
        } catch (const std::exception&) {
            ok = false;
        }
    }
    if (t.cover && t.coverLink && OpenCoverDBF(*t.cover, *t.coverLink, folder)) {
        ok = PackAndReindex(*t.coverLink, CoverSchema(), folder, cb) && ok;
        try {
            t.cover->close();
        } catch (const std::exception&) {
            ok = false;
        }
    }
    return ok;
}

}  // namespace orv
