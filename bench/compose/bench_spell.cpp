// The spell checker against hunspell (Debian's en_US dictionary) on the same
// input in the same run; hunspell is only a yardstick here.
//   Check*:   words checked per second over a 100,000-word English text (the
//             licence texts of /usr/share/common-licenses, repeated).
//   Suggest*: 2,000 words of the word list, each misspelt once by a seeded
//             deletion, insertion, substitution or transposition; counters give
//             how often the intended word is among the first ten suggestions
//             (hit_pct) and the median and worst time of one request (ms).
// The *Large variants use a dictionary made from wamerican-large for comparison.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <hunspell/hunspell.hxx>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/cp1252.h"
#include "compose/spell_builder.h"
#include "compose/spell_engine.h"

namespace {

constexpr int kTextWords = 100000;
constexpr int kSuggestWords = 2000;
const char* kAff = "/usr/share/hunspell/en_US.aff";
const char* kDic = "/usr/share/hunspell/en_US.dic";

struct Word {
    QByteArray cp1252;
    std::string utf8;
};

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

const std::vector<Word>& text() {
    static const std::vector<Word> words = [] {
        QString all;
        const QDir dir(QStringLiteral("/usr/share/common-licenses"));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly)) all += QString::fromUtf8(f.readAll()) + u'\n';
        }
        // Words as the editor's word walk gives them: letters with inner apostrophes.
        static const QRegularExpression re(QStringLiteral("[A-Za-z]+(?:'[A-Za-z]+)*"));
        std::vector<Word> one;
        for (auto it = re.globalMatch(all); it.hasNext();) {
            const QString w = it.next().captured();
            one.push_back({orv::toCp1252(w), w.toStdString()});
        }
        std::vector<Word> out;
        while (!one.empty() && int(out.size()) < kTextWords)
            out.push_back(one[out.size() % one.size()]);
        return out;
    }();
    return words;
}

struct Misspelling {
    QString intended;
    QString typed;
};

const std::vector<Misspelling>& misspellings() {
    static const std::vector<Misspelling> cases = [] {
        QStringList pool;
        for (const QString& w : readLines(QStringLiteral(ORVANE_WORD_LIST_PATH))) {
            static const QRegularExpression plain(QStringLiteral("^[a-z]{4,12}$"));
            if (plain.match(w).hasMatch()) pool << w;
        }
        std::mt19937 rng(19);
        std::vector<Misspelling> out;
        while (int(out.size()) < kSuggestWords && !pool.isEmpty()) {
            const QString w = pool[int(rng() % unsigned(pool.size()))];
            QString t = w;
            const int n = int(w.size());
            const QChar letter(char16_t(u'a' + rng() % 26));
            switch (rng() % 4) {
            case 0: t.remove(int(rng() % unsigned(n)), 1); break;
            case 1: t.insert(int(rng() % unsigned(n + 1)), letter); break;
            case 2: t[int(rng() % unsigned(n))] = letter; break;
            default: {
                const int p = int(rng() % unsigned(n - 1));
                std::swap(t[p], t[p + 1]);
            }
            }
            if (t != w) out.push_back({w, t});
        }
        return out;
    }();
    return cases;
}

QString largeDictionary() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.path() + "/large.dct";
        orv::spell::BuildStats stats;
        orv::WriteFileAtomically(p, orv::spell::buildMainDictionary(
                                        orv::spell::prepareWords(readLines(ORVANE_LARGE_WORD_LIST_PATH), stats), stats));
        return p;
    }();
    return path;
}

void checkOrvane(benchmark::State& state, const QString& dictionary) {
    const auto& words = text();
    orv::TSpellEngine engine;
    if (!engine.openMainDictionary(dictionary)) {
        state.SkipWithError("no main dictionary");
        return;
    }
    int64_t wrong = 0;
    for (auto _ : state) {
        wrong = 0;
        for (const Word& w : words) wrong += engine.checkBytes(w.cp1252) ? 0 : 1;
        benchmark::DoNotOptimize(wrong);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(words.size()));
    state.counters["unknown_pct"] = 100.0 * double(wrong) / double(words.size());
}

void BM_CheckOrvane(benchmark::State& state) { checkOrvane(state, ORVANE_MAIN_DICTIONARY_PATH); }
void BM_CheckOrvaneLarge(benchmark::State& state) { checkOrvane(state, largeDictionary()); }

void BM_CheckHunspell(benchmark::State& state) {
    const auto& words = text();
    Hunspell h(kAff, kDic);
    int64_t wrong = 0;
    for (auto _ : state) {
        wrong = 0;
        for (const Word& w : words) wrong += h.spell(w.utf8) ? 0 : 1;
        benchmark::DoNotOptimize(wrong);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(words.size()));
    state.counters["unknown_pct"] = 100.0 * double(wrong) / double(words.size());
}

template <class Suggest>
void suggestRun(benchmark::State& state, Suggest&& suggest) {
    const auto& cases = misspellings();
    std::vector<double> ms;
    int hits = 0;
    for (auto _ : state) {
        ms.clear();
        hits = 0;
        for (const Misspelling& m : cases) {
            const auto t0 = std::chrono::steady_clock::now();
            const QStringList list = suggest(m.typed);
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
            for (int i = 0; i < std::min<int>(10, int(list.size())); ++i)
                if (list[i].compare(m.intended, Qt::CaseInsensitive) == 0) {
                    ++hits;
                    break;
                }
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["hit_pct"] = 100.0 * hits / double(cases.size());
    state.counters["median_ms"] = ms.empty() ? 0 : ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.empty() ? 0 : ms.back();
}

void suggestOrvane(benchmark::State& state, const QString& dictionary) {
    orv::TSpellEngine engine;
    if (!engine.openMainDictionary(dictionary)) {
        state.SkipWithError("no main dictionary");
        return;
    }
    suggestRun(state, [&](const QString& w) { return engine.suggestions(w); });
}

void BM_SuggestOrvane(benchmark::State& state) { suggestOrvane(state, ORVANE_MAIN_DICTIONARY_PATH); }
void BM_SuggestOrvaneLarge(benchmark::State& state) { suggestOrvane(state, largeDictionary()); }

void BM_SuggestHunspell(benchmark::State& state) {
    Hunspell h(kAff, kDic);
    suggestRun(state, [&](const QString& w) {
        QStringList out;
        for (const std::string& s : h.suggest(w.toStdString())) out << QString::fromStdString(s);
        return out;
    });
}

}  // namespace

BENCHMARK(BM_CheckOrvane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckOrvaneLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckHunspell)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SuggestOrvane)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SuggestOrvaneLarge)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SuggestHunspell)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
