#include "verb_help.h"

#include <QStringList>

namespace orv::orvfax {
namespace {

struct Entry {
    const char* verb;
    const char* text;
};

// One entry per verb; the usage lines are looked up by the verb's name.
const Entry kVerbs[] = {
    {"convert",
     "Converts a document into an APF fax file of 1728-pixel lines: a PDF, an RTF\n"
     "document, a 1-bit or colour bitmap (BMP, PNG, JPEG, PBM), a text file, a\n"
     "bilevel or fax (G3) TIFF, a PCX or a DCX file. The type follows the\n"
     "extension unless --type names it.\n"
     "  --fine, --standard  about 196 or 98 lines per inch (standard is the default;\n"
     "                      RTF documents are always fine)\n"
     "  --station ID        up to 20 characters of station identification\n"
     "  --dither            PDF: dither whole pages (photographs)\n"
     "  --threshold         PDF: never dither (text and line art only)\n"
     "  --quiet, -q         no \"page N of M\" progress lines on standard error\n"},
    {"info", "Prints the file header and, for every page, its flags, image length and\nnumber of decodable lines.\n"},
    {"decode",
     "Writes page PAGE (from 1) as a black-and-white PBM or PNG image, one row per\n"
     "coded line unless told otherwise.\n"
     "  --aspect double-height|half-width  correct standard-resolution pages\n"
     "  --scale HM/HD[,VM/VD]               scale across (and down)\n"
     "  --crop                              cut to the widest content\n"
     "  --squeeze FROM,TO                   shrink runs of FROM or more blank lines to TO\n"},
    {"join", "Appends the pages of SRC.apf to DEST.apf.\n"},
    {"export",
     "Writes the pages of an APF file as a PDF document (one page per fax page at\n"
     "its true size) or as a multi-page TIFF Class F file (G3 1-D, FillOrder 2),\n"
     "chosen by the extension of the output file.\n"},
    {"send",
     "Faxes FILE.apf through the fax modem on the serial port PATH. Progress goes to\n"
     "standard error; --verbose adds every command and response.\n"},
    {"receive",
     "Waits for calls on the fax modem at PATH and stores each fax as FAX0001.APF,\n"
     "FAX0002.APF, ... in DIR (default: the current folder), printing each name.\n"},
    {"query", "Prints which fax classes (1, 2, 2.0) the modem on PATH offers.\n"},
};

const char kExitStatus[] =
    "Exit status: 0 success, 1 failure (the message names the file and the reason),\n"
    "2 wrong usage.\n";

// The lines of `usage` that belong to `verb`: its "orvfax VERB" line and the
// indented lines that continue it.
QString usageLines(const QString& verb, const char* usage) {
    const QStringList lines = QString::fromUtf8(usage).split(QLatin1Char('\n'));
    QStringList out;
    bool in = false;
    for (const QString& l : lines) {
        const QString t = l.trimmed();
        if (t.startsWith(QLatin1String("orvfax "))) in = t.section(QLatin1Char(' '), 1, 1) == verb;
        else if (!l.startsWith(QLatin1String("    "))) in = false;
        if (in) out << QStringLiteral("  ") + t;
    }
    return out.join(QLatin1Char('\n'));
}

}  // namespace

QString VerbHelp(const QString& verb, const char* usage) {
    for (const Entry& e : kVerbs) {
        if (verb != QLatin1String(e.verb)) continue;
        return QStringLiteral("Usage:\n") + usageLines(verb, usage) + QStringLiteral("\n\n") + QString::fromUtf8(e.text) +
               QStringLiteral("\n") + QString::fromUtf8(kExitStatus);
    }
    return {};
}

QString ProgramHelp(const char* usage) {
    QString s = QStringLiteral(
        "Usage: orvfax VERB [OPTIONS] FILES...\n"
        "Works with APF fax files, the format every fax image of Orvane is kept in:\n"
        "converts documents to fax files, shows, decodes, joins and exports them, and\n"
        "sends, receives and queries through a fax modem.\n\nVerbs:\n");
    for (const Entry& e : kVerbs) s += usageLines(QString::fromLatin1(e.verb), usage) + QStringLiteral("\n\n");
    s += QStringLiteral(
        "\"orvfax VERB --help\" shows a verb's options.\n"
        "  -h, --help     show this text\n"
        "      --version  show the version\n\n");
    s += QString::fromUtf8(kExitStatus);
    return s;
}

QString VersionText() {
    return QStringLiteral("orvfax (Orvane) %1\n").arg(QStringLiteral(ORVANE_VERSION));
}

}  // namespace orv::orvfax
