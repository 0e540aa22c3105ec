// orvdict: makes and inspects spell-checker dictionaries.
//   orvdict build WORDLIST OUT.dct   a main dictionary from a word list (UTF-8, one word a line)
//   orvdict info FILE.dct            the segments of a dictionary
//   orvdict check FILE.dct WORD...   "WORD ok" or "WORD wrong" for each word
//   orvdict suggest FILE.dct WORD    the suggestions, one a line
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

#include "common/atomic_file.h"
#include "compose/spell_builder.h"
#include "compose/spell_dictionary.h"
#include "compose/spell_engine.h"

namespace {

int usage() {
    std::fputs("usage: orvdict build WORDLIST OUT.dct | info FILE.dct | check FILE.dct WORD... | suggest FILE.dct WORD\n",
               stderr);
    return 2;
}

int build(const QString& listPath, const QString& outPath) {
    QFile in(listPath);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "orvdict: cannot read %s\n", qPrintable(listPath));
        return 1;
    }
    const QStringList lines = QString::fromUtf8(in.readAll()).split(u'\n');
    orv::spell::BuildStats stats;
    const QList<QByteArray> words = orv::spell::prepareWords(lines, stats);
    const QByteArray bytes = orv::spell::buildMainDictionary(words, stats);
    QString error;
    if (!orv::WriteFileAtomically(outPath, bytes, &error)) {
        std::fprintf(stderr, "orvdict: cannot write %s: %s\n", qPrintable(outPath), qPrintable(error));
        return 1;
    }
    std::printf("%s: %d words, %u nodes, %d segments, %lld bytes (from %d lines: %d outside the alphabet, "
                "%d too long, %d case duplicates, %d possessives the 's rule accepts)\n",
                qPrintable(outPath), stats.words, stats.nodes, stats.segments, static_cast<long long>(bytes.size()),
                stats.linesRead, stats.unstorable, stats.tooLong, stats.caseDuplicates, stats.possessives);
    return 0;
}

int info(const QString& path) {
    auto file = orv::spell::DictFile::open(path, false);
    const auto segments = orv::spell::readSegments(file, false);
    if (segments.empty()) {
        std::fprintf(stderr, "orvdict: %s is not a dictionary\n", qPrintable(path));
        return 1;
    }
    uint64_t words = 0, nodes = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        const auto& h = segments[i]->header();
        std::printf("segment %zu at %lld: kind %u, %u nodes in use of %u, %u words\n", i + 1,
                    static_cast<long long>(segments[i]->headerOffset()), h.kind, h.nodesInUse, h.capacity, h.wordCount);
        words += h.wordCount;
        nodes += h.nodesInUse;
    }
    std::printf("total: %zu segments, %llu nodes, %llu words\n", segments.size(),
                static_cast<unsigned long long>(nodes), static_cast<unsigned long long>(words));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == "build") return build(args[1], args[2]);
    if (args.size() == 2 && args[0] == "info") return info(args[1]);
    if (args.size() >= 3 && (args[0] == "check" || args[0] == "suggest")) {
        orv::TSpellEngine engine;
        if (!engine.openMainDictionary(args[1])) {
            std::fprintf(stderr, "orvdict: %s is not a main dictionary\n", qPrintable(args[1]));
            return 1;
        }
        QTextStream out(stdout);
        if (args[0] == "suggest") {
            if (args.size() != 3) return usage();
            for (const QString& s : engine.suggestions(args[2])) out << s << '\n';
            return 0;
        }
        int wrong = 0;
        for (const QString& w : args.mid(2)) {
            const bool ok = engine.checkWord(w);
            wrong += ok ? 0 : 1;
            out << w << (ok ? " ok\n" : " wrong\n");
        }
        return wrong ? 3 : 0;
    }
    return usage();
}
