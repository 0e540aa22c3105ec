// orvfax: convert documents to APF fax files, show their pages, decode a page
// to an image, join files; send, receive and query a fax modem (fax_commands.cpp).
// See README "Command-line tools".
#include "common/orv_error.h"
#include "fax_commands.h"
#include "images/apf_file.h"
#include "convert_rtf.h"
#include "verb_help.h"
#include "images/fax_converter.h"
#include "images/fax_pdf_writer.h"
#include "images/fax_tiff.h"
#include "images/unpack_engine.h"

#include <QGuiApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace orv;

namespace {

const char* kUsage =
    "usage:\n"
    "  orvfax convert INPUT OUT.apf [--type bmp|text|tiff|pcx|dcx|pdf|rtf] [--fine|--standard] [--station ID]\n"
    "                 [--dither|--threshold] [--quiet]\n"
    "  orvfax info FILE.apf\n"
    "  orvfax decode FILE.apf PAGE OUT.pbm|OUT.png [--aspect double-height|half-width]\n"
    "                [--scale HM/HD[,VM/VD]] [--crop] [--squeeze FROM,TO]\n"
    "  orvfax join DEST.apf SRC.apf\n"
    "  orvfax export FILE.apf OUT.pdf|OUT.tif\n"
    "RTF documents are laid out at 200 dpi on letter-size pages and always converted at fine resolution.\n";

int usageText() {
    std::fputs("usage:\n", stderr);
    std::fputs(kUsage + 7, stderr);
    std::fputs(orv::orvfax::kFaxUsage, stderr);
    return 2;
}

int fail(int code, const QString& what = {}) {
    QString msg = ErrorMessage(code);
    if (msg.isEmpty()) msg = QStringLiteral("Orvane exception");
    std::fprintf(stderr, "orvfax: %s%s (%d)\n", what.isEmpty() ? "" : qPrintable(what + ": "), qPrintable(msg), code);
    return 1;
}

int usage(const char* problem = nullptr) {
    if (problem) std::fprintf(stderr, "orvfax: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

TFaxInputDocumentType typeFromName(const QString& name, const QString& forced) {
    const QString t = (forced.isEmpty() ? name.section(QLatin1Char('.'), -1) : forced).toLower();
    if (t == "text" || t == "txt") return idText;
    if (t == "tiff" || t == "tif") return idTiff;
    if (t == "pcx") return idPcx;
    if (t == "dcx") return idDcx;
    if (t == "pdf") return idPdf;
    if (t == "bmp" || t == "png" || t == "jpg" || t == "jpeg" || t == "gif" || t == "pbm" || t == "pgm" || t == "ppm")
        return idBmp;
    return idNone;
}

// "page N of M" on standard error as each page of a multi-page document starts.
void PrintPageProgress(TOrvCustomFaxConverter* cvt, bool, bool ending, int page, int lines, qint64, qint64, bool&) {
    if (!ending && lines == 1 && cvt->pagesToConvert() > 1)
        std::fprintf(stderr, "page %d of %d\n", page, cvt->pagesToConvert());
}

int convert(const QStringList& a) {
    QStringList pos;
    QString type, station;
    bool fine = false, quiet = false;
    TPdfHalftone halftone = phAuto;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i] == "--type" && i + 1 < a.size()) type = a[++i];
        else if (a[i] == "--dither") halftone = phDither;
        else if (a[i] == "--threshold") halftone = phThreshold;
        else if (a[i] == "--quiet" || a[i] == "-q") quiet = true;
        else if (a[i] == "--station" && i + 1 < a.size()) station = a[++i];
        else if (a[i] == "--fine") fine = true;
        else if (a[i] == "--standard") fine = false;
        else if (a[i].startsWith("--")) return usage("unknown option");
        else pos << a[i];
    }
    if (pos.size() != 2) return usage("convert needs INPUT and OUT.apf");
    if (type.toLower() == "rtf" || (type.isEmpty() && pos[0].endsWith(".rtf", Qt::CaseInsensitive))) {
        QString message;
        const int rc = ConvertRtfToApf(pos[0], pos[1], station.toLatin1(), &message);
        if (rc < 0) {
            std::fprintf(stderr, "orvfax: %s: %s (%d)\n", qPrintable(pos[0]),
                         qPrintable(message.isEmpty() ? ErrorMessage(rc) : message), rc);
            return 1;
        }
        ApfReader r;
        if (r.open(pos[1]) == 0) std::printf("%s: %d page(s)\n", qPrintable(pos[1]), r.pageCount());
        return 0;
    }
    const TFaxInputDocumentType t = typeFromName(pos[0], type);
    if (t == idTiff && IsFaxCodedTiff(pos[0])) {
        // A fax (G3) TIFF, as fax programs write them: every page, line for line.
        if (const int rc = ConvertFaxTiffToApf(pos[0], pos[1], station.toLatin1()); rc < 0) return fail(rc, pos[0]);
        ApfReader r;
        if (r.open(pos[1]) == 0) std::printf("%s: %d page(s)\n", qPrintable(pos[1]), r.pageCount());
        return 0;
    }
    if (t == idNone) return usage("unknown input type; give --type bmp|text|tiff|pcx|dcx|pdf|rtf");
    TOrvFaxConverter cvt;
    cvt.setInputDocumentType(t);
    cvt.setOptions(coCenterImage);
    if (t == idPdf) {
        // A PDF page brings its own margins; it is centred on the whole line.
        cvt.setLeftMargin(0);
        cvt.setPdfHalftone(halftone);
        if (!quiet) cvt.OnStatus = PrintPageProgress;
    }
    cvt.setResolution(fine ? frHigh : frNormal);
    cvt.setDocumentFile(pos[0]);
    cvt.setOutFileName(pos[1]);
    cvt.setStationId(station.toLatin1().left(20));
    if (const int rc = cvt.convert(); rc < 0) return fail(rc, pos[0]);
    ApfReader r;
    if (r.open(cvt.lastOutputName()) == 0)
        std::printf("%s: %d page(s)\n", qPrintable(cvt.lastOutputName()), r.pageCount());
    return 0;
}

int info(const QStringList& a) {
    if (a.size() != 1) return usage("info needs FILE.apf");
    ApfReader r;
    if (const int rc = r.open(a[0]); rc < 0) return fail(rc, a[0]);
    const ApfFileHeader& h = r.header();
    const QDateTime date = UnpackDosDateTime(h.fileDate);
    QTextStream out(stdout);
    out << "file:         " << a[0] << "\n"
        << "date:         " << (date.isValid() ? date.toString("yyyy-MM-dd HH:mm:ss") : QStringLiteral("(none)")) << "\n"
        << "station id:   \"" << QString::fromLatin1(h.stationId) << "\"\n"
        << "pages:        " << h.pageCount << "\n"
        << "first page:   " << h.firstPageOffset << "\n";
    int worst = 0;
    for (int p = 1; p <= r.pageCount(); ++p) {
        ApfPageHeader ph;
        const int rc = r.seekPage(p, ph);
        if (rc < 0) {
            out.flush();
            return fail(rc, QStringLiteral("page %1").arg(p));
        }
        QStringList flags;
        if (ph.highRes()) flags << "fine";
        else flags << "standard";
        flags << (ph.wide() ? "2048" : "1728");
        flags << (ph.lengthWords() ? "records" : "stream");
        FaxUnpackEngine e;
        e.setAspectCorrection(false);
        int lines = 0;
        const int drc = e.decodePageLines(a[0], p, false, [&](const uint8_t*, int) { ++lines; });
        out << "page " << p << ": flags 0x" << QString::number(ph.pageFlags, 16) << " (" << flags.join(", ")
            << "), image length " << ph.imageLength << ", lines " << lines;
        if (e.codesRejected()) out << ", invalid codes " << e.codesRejected();
        if (drc < 0) {
            out << ", error: " << ErrorMessage(drc);
            worst = drc;
        }
        out << "\n";
    }
    out.flush();
    return worst < 0 ? 1 : 0;
}

int decode(const QStringList& a) {
    QStringList pos;
    FaxUnpackEngine e;
    e.setAspectCorrection(false);
    e.setCropToContent(false);
    for (int i = 0; i < a.size(); ++i) {
        if (a[i] == "--aspect" && i + 1 < a.size()) {
            const QString m = a[++i];
            e.setAspectCorrection(true);
            if (m == "double-height") e.setAutoScale(asDoubleHeight);
            else if (m == "half-width") e.setAutoScale(asHalfWidth);
            else return usage("--aspect takes double-height or half-width");
        } else if (a[i] == "--scale" && i + 1 < a.size()) {
            const QStringList parts = a[++i].split(',');
            int f[4] = {1, 1, 1, 1};
            for (int k = 0; k < parts.size() && k < 2; ++k) {
                const QStringList q = parts[k].split('/');
                f[2 * k] = q.value(0).toInt();
                f[2 * k + 1] = q.size() > 1 ? q[1].toInt() : 1;
            }
            if (parts.size() == 1) f[2] = f[0], f[3] = f[1];
            e.setScaling(f[0], f[1], f[2], f[3]);
        } else if (a[i] == "--crop") {
            e.setCropToContent(true);
        } else if (a[i] == "--squeeze" && i + 1 < a.size()) {
            const QStringList q = a[++i].split(',');
            if (const int rc = e.setWhitespace(q.value(0).toInt(), q.value(1).toInt()); rc < 0) return fail(rc, "--squeeze");
        } else if (a[i].startsWith("--")) {
            return usage("unknown option");
        } else {
            pos << a[i];
        }
    }
    if (pos.size() != 3) return usage("decode needs FILE.apf PAGE OUT");
    bool ok = false;
    const int page = pos[1].toInt(&ok);
    if (!ok) return usage("PAGE must be a number");
    QImage img;
    if (const int rc = e.decodePage(pos[0], page, false, img); rc < 0) return fail(rc, pos[0]);
    if (img.isNull()) {
        img = QImage(8, 0, QImage::Format_Mono);
    }
    const bool png = pos[2].endsWith(".png", Qt::CaseInsensitive);
    if (img.height() == 0) {
        std::fprintf(stderr, "orvfax: page %d has no decodable line\n", page);
        return 1;
    }
    if (!img.save(pos[2], png ? "PNG" : "PBM")) return fail(ecDiskWrite, pos[2]);
    std::printf("%s: %d x %d\n", qPrintable(pos[2]), img.width(), img.height());
    return 0;
}

// export FILE.apf OUT.pdf|OUT.tif: by the output's extension.
int exportFile(const QStringList& a) {
    if (a.size() != 2) return usage("export needs FILE.apf and OUT.pdf or OUT.tif");
    const QString ext = QFileInfo(a[1]).suffix().toLower();
    int rc = 0;
    if (ext == "pdf") rc = WriteFaxAsPdf(a[0], a[1]);
    else if (ext == "tif" || ext == "tiff") rc = WriteFaxAsTiff(a[0], a[1]);
    else return usage("export writes OUT.pdf or OUT.tif");
    if (rc < 0) return fail(rc, QFile::exists(a[0]) && rc != ecFaxBadFormat ? a[1] : a[0]);
    ApfReader r;
    if (r.open(a[0]) == 0) std::printf("%s: %d page(s)\n", qPrintable(a[1]), r.pageCount());
    return 0;
}

int join(const QStringList& a) {
    if (a.size() != 2) return usage("join needs DEST.apf SRC.apf");
    if (const int rc = AppendApfFile(a[0], a[1]); rc < 0) return fail(rc, a[rc == ecFileNotFound && QFile::exists(a[0]) ? 1 : 0]);
    ApfReader r;
    if (r.open(a[0]) == 0) std::printf("%s: %d page(s)\n", qPrintable(a[0]), r.pageCount());
    return 0;
}

QtMessageHandler previousHandler = nullptr;

void dropRuntimeDirWarning(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.contains(QLatin1String("XDG_RUNTIME_DIR"))) return;
    if (previousHandler) previousHandler(type, context, message);
}

// `convert` of an RTF document (by its extension or --type rtf).
bool NeedsGuiApplication(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "convert") != 0) return false;
    for (int i = 2; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--type" && i + 1 < argc) return QByteArray(argv[i + 1]).toLower() == "rtf";
        if (!a.startsWith('-') && a.toLower().endsWith(".rtf")) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {

    // Only RTF documents need a GUI application (they are laid out with Qt's
    // fonts); everything else runs on a plain core application.
    std::unique_ptr<QCoreApplication> app;
    if (NeedsGuiApplication(argc, argv)) {
        // orvfax never shows a window: the offscreen platform, and no word
        // about the runtime folder the platform never uses.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        previousHandler = qInstallMessageHandler(dropRuntimeDirWarning);
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QStringList args = app->arguments().mid(1);
    if (args.isEmpty()) return usageText();
    const QByteArray allUsage = QByteArray(kUsage) + orv::orvfax::kFaxUsage;
    auto print = [](const QString& text) {
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    };
    if (args[0] == "--help" || args[0] == "-h") return print(orv::orvfax::ProgramHelp(allUsage.constData()));
    if (args[0] == "--version") return print(orv::orvfax::VersionText());
    const QString cmd = args.takeFirst();
    if (args.contains("--help") || args.contains("-h")) {
        const QString help = orv::orvfax::VerbHelp(cmd, allUsage.constData());
        if (!help.isEmpty()) return print(help);
    }
    if (cmd == "convert") return convert(args);
    if (cmd == "info") return info(args);
    if (cmd == "decode") return decode(args);
    if (cmd == "join") return join(args);
    if (cmd == "export") return exportFile(args);
    if (cmd == "send") return orv::orvfax::sendCommand(args);
    if (cmd == "receive") return orv::orvfax::receiveCommand(args);
    if (cmd == "query") return orv::orvfax::queryCommand(args);
    std::fprintf(stderr, "orvfax: unknown command\n");
    return usageText();
}
