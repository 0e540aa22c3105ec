// orvdemo: prepares the program folder of `scripts/run --demo`. It puts two
// sample faxes into the Sent list of FOLDER (ORV.DBF), so a newcomer can
// press Send at once; a folder whose Sent list has records is left alone.
//
//     orvdemo samples FOLDER
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

#include "store/schemas.h"
#include "store/tdatasource.h"
#include "store/tengine_link.h"
#include "store/ttable.h"

namespace {

// Letter-size pages with one-inch margins, Arial, as the fax editor stores them.
QByteArray rtf(const char* body) {
    return QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                      "\\paperw12240\\paperh15840\\margl1440\\margr1440\\margt1440\\margb1440"
                      "\\pard\\plain\\f0\\fs24 ") +
           body + "}";
}

struct Sample {
    const char* recipient;
    const char* phone;
    const char* subject;
    QByteArray cover;
    QByteArray document;
};

int usage() {
    std::fputs("Usage: orvdemo samples FOLDER\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || args[1] != QLatin1String("samples")) return usage();
    QString folder = QDir(args[2]).absolutePath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "orvdemo: cannot create %s\n", qPrintable(folder));
        return 1;
    }

    using namespace orv;
    TTable table;
    TDataSource source;
    TEngineLink link;
    source.setDataSet(&table);
    link.setDataSource(&source);
    if (!OpenFaxDBF(table, link, folder)) {
        std::fprintf(stderr, "orvdemo: cannot open or create %sORV.DBF\n", qPrintable(folder));
        return 1;
    }
    if (link.recordCount() > 0) {
        table.close();
        return 0;
    }

    const Sample samples[] = {
        {"Modemsim Fax Machine", "555 0199", "Welcome to Orvane",
         rtf("{\\fs48\\b Fax}\\par\\par To: Modemsim Fax Machine\\par Fax: 555 0199\\par From: Demo User\\par"
             "\\par Subject: Welcome to Orvane\\par\\par Pages: 2 including this cover sheet\\par"),
         rtf("{\\b Welcome to Orvane}\\par\\par This fax was made from the two rich texts of a record in "
             "the Sent list: the cover sheet and this document, painted at 200 dots per inch and "
             "sent through a simulated fax modem to a simulated fax machine.\\par\\par "
             "Look for it in the demo's faxes-out folder as a TIFF file.\\par")},
        {"Order Desk", "555 0123", "Order for 12 boxes", QByteArray(),
         rtf("{\\b Order}\\par\\par Please send 12 boxes of thermal fax paper, 216 mm, to the address "
             "on file.\\par\\par Thank you,\\par Demo User\\par")},
    };
    try {
        for (const Sample& s : samples) {
            table.append();
            table.fieldByName(QStringLiteral("RECIPIENT")).setAsString(QString::fromLatin1(s.recipient));
            table.fieldByName(QStringLiteral("PHONE")).setAsString(QString::fromLatin1(s.phone));
            table.fieldByName(QStringLiteral("SUBJECT")).setAsString(QString::fromLatin1(s.subject));
            if (!s.cover.isEmpty()) table.fieldByName(QStringLiteral("RTFCOVER")).setAsBytes(s.cover);
            table.fieldByName(QStringLiteral("RTFDOC")).setAsBytes(s.document);
            table.post();
        }
        table.close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvdemo: %s\n", e.what());
        return 1;
    }
    return 0;
}
