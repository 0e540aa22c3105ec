// orvfax, orvdb and modemsim behave like Unix tools: --help and -h at every
// verb print that verb's usage on standard output and exit 0; --version;
// exit status 2 for wrong usage and 1 for a failure that names the file;
// nothing from Qt on standard error.
#include "support/run_program.h"
#include "support/test_paths.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using orv::test::ProgramRun;

ProgramRun run(const QString& tool, const QStringList& args) {
    return orv::test::runProgram(orv::test::program(tool), args, 60000);
}

TEST(Cli, HelpAtEveryVerb) {
    const std::pair<const char*, QStringList> tools[] = {
        {"orvfax", {"convert", "info", "decode", "join", "export", "send", "receive", "query"}},
        {"orvdb", {"info", "list", "check", "pack", "reindex"}},
    };
    for (const auto& [tool, verbs] : tools) {
        for (const QString& verb : verbs) {
            for (const char* flag : {"--help", "-h"}) {
                const ProgramRun r = run(tool, {verb, flag});
                EXPECT_EQ(r.exitCode, 0) << tool << " " << verb.toStdString() << " " << flag;
                const QString out = r.outText();
                EXPECT_TRUE(out.startsWith("Usage:\n  " + QString(tool) + " " + verb + " ")) << out.toStdString();
                EXPECT_TRUE(out.contains("Exit status: 0 success, 1 ")) << out.toStdString();
                EXPECT_TRUE(r.err.isEmpty()) << tool << " " << verb.toStdString() << ": " << r.err.toStdString();
            }
        }
        // The tool's own help lists every verb; --version names it.
        const ProgramRun help = run(tool, {"--help"});
        EXPECT_EQ(help.exitCode, 0);
        for (const QString& verb : verbs)
            EXPECT_TRUE(help.outText().contains("  " + QString(tool) + " " + verb + " ")) << tool << " " << verb.toStdString();
        EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
        const ProgramRun version = run(tool, {"--version"});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_TRUE(version.outText().startsWith(QString(tool) + " (Orvane) ")) << version.out.toStdString();
    }
    // The fax verbs' options come from the usage they report errors with.
    EXPECT_TRUE(run("orvfax", {"send", "--help"}).outText().contains("--port PATH --number N"));
    EXPECT_TRUE(run("orvfax", {"convert", "-h"}).outText().contains("--dither"));

    const ProgramRun sim = run("modemsim", {"--help"});
    EXPECT_EQ(sim.exitCode, 0);
    EXPECT_TRUE(sim.outText().startsWith("Usage: modemsim")) << sim.out.toStdString();
    EXPECT_TRUE(sim.outText().contains("Exit status: 0"));
    EXPECT_EQ(run("modemsim", {"-h"}).exitCode, 0);
    EXPECT_TRUE(run("modemsim", {"--version"}).outText().startsWith("modemsim (Orvane) "));
}

TEST(Cli, ExitStatusesAndMessages) {
    QTemporaryDir dir;
    // Wrong usage: 2, with the usage on standard error.
    for (const auto& [tool, args] : std::initializer_list<std::pair<const char*, QStringList>>{
             {"orvfax", {}},
             {"orvfax", {"frobnicate"}},
             {"orvfax", {"convert", "only-one.txt"}},
             {"orvfax", {"decode", "x.apf", "one", "x.png"}},
             {"orvfax", {"export", "x.apf", "x.doc"}},
             {"orvfax", {"send", "--number", "1", "x.apf"}},
             {"orvdb", {}},
             {"orvdb", {"info"}},
             {"orvdb", {"list", "T.DBF", "--frob"}},
             {"modemsim", {}},
             {"modemsim", {"--speed", "fast", "/tmp/x"}},
         }) {
        const ProgramRun r = run(tool, args);
        EXPECT_EQ(r.exitCode, 2) << tool << " " << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << tool << " " << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.contains("QStandardPaths")) << r.err.toStdString();
    }
    // Failures: 1, and the message names the file.
    const QString missing = dir.filePath("missing.apf");
    for (const auto& [tool, args] : std::initializer_list<std::pair<const char*, QStringList>>{
             {"orvfax", {"info", missing}},
             {"orvfax", {"decode", missing, "1", dir.filePath("x.png")}},
             {"orvfax", {"export", missing, dir.filePath("x.pdf")}},
             {"orvfax", {"convert", dir.filePath("missing.pdf"), dir.filePath("x.apf")}},
             {"orvdb", {"info", dir.filePath("missing.dbf")}},
         }) {
        const ProgramRun r = run(tool, args);
        EXPECT_EQ(r.exitCode, 1) << tool << " " << args.join(' ').toStdString();
        EXPECT_TRUE(r.errText().contains("missing.")) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("QStandardPaths")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
}

}  // namespace
