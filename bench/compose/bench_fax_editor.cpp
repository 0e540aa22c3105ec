// The fax editor on a stored fax whose document has 20 pages: opening it
// (from the command to the window shown with both texts laid out) and typing
// one character into the document (the keystroke handled and the text laid
// out again). Goals: open within 150 ms, a keystroke within 16 ms. Runs on
// Qt's offscreen platform unless another is chosen.
#include "compose/fax_editor.h"
#include "config/settings.h"
#include "shell/rich_text_memo.h"
#include "store/schemas.h"
#include "support/sample_letter.h"
#include "ui/richtext/rich_editor.h"
#include "ui/widgets/enter_edit.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextBlock>

#include <benchmark/benchmark.h>

using namespace orv;

namespace {

QTemporaryDir& home() {
    static QTemporaryDir dir;
    return dir;
}

struct FaxTables {
    TTable table;
    TDataSource source;
    TEngineLink link;
    FaxTables() {
        source.setDataSet(&table);
        link.setDataSource(&source);
    }
};

FaxTables& faxes() {
    static FaxTables t;
    return t;
}

// ORV.DBF with one fax: a short cover sheet and the 20-page sample letter.
void makeFax() {
    QFile ini(home().path() + "/ORV.INI");
    if (!ini.open(QIODevice::WriteOnly)) std::abort();
    ini.write("[Modem]\nComPort=0\n");
    ini.close();
    FaxTables& t = faxes();
    if (!OpenFaxDBF(t.table, t.link)) std::abort();
    t.table.append();
    t.table.fieldByName("RECIPIENT").setAsString("Ann Example");
    t.table.fieldByName("PHONE").setAsString("555 0100");
    t.table.fieldByName("SUBJECT").setAsString("Twenty pages");
    t.table.fieldByName("RTFCOVER").setAsBytes("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Cover sheet\\par}");
    t.table.fieldByName("RTFDOC").setAsBytes(bench::letter());
    t.table.post();
    t.table.first();
}

// What Edit does up to the window on the screen, and the layout finished.
void openEditor(TFaxEditor& e) {
    FaxTables& t = faxes();
    LoadRichText(e.richCover()->richText(), QStringLiteral("RTFCOVER"), t.link);
    LoadRichText(e.richDoc()->richText(), QStringLiteral("RTFDOC"), t.link);
    e.recipient()->setText(t.table.fieldByName(QStringLiteral("RECIPIENT")).asString());
    e.subject()->setText(t.table.fieldByName(QStringLiteral("SUBJECT")).asString());
    e.faxNumber()->setText(t.table.fieldByName(QStringLiteral("PHONE")).asString());
    e.show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(e.richDoc()->document()->documentLayout()->documentSize());
    benchmark::DoNotOptimize(e.richCover()->document()->documentLayout()->documentSize());
}

void BM_OpenFaxEditorOnTwentyPages(benchmark::State& state) {
    for (auto _ : state) {
        TFaxEditor e;
        openEditor(e);
        if (e.richDoc()->document()->blockCount() < 20 * 9) state.SkipWithError("the letter did not load");
        state.PauseTiming();
        e.reject();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenFaxEditorOnTwentyPages)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_TypeOneCharacterInTwentyPages(benchmark::State& state) {
    TFaxEditor e;
    openEditor(e);
    QApplication::setActiveWindow(&e);
    // The document page, the insertion point in the middle of the letter.
    e.findChild<QAbstractButton*>(QStringLiteral("DocumentButton"))->click();
    TRichEditor* doc = e.richDoc();
    QTextCursor c(doc->document()->findBlockByNumber(doc->document()->blockCount() / 2));
    c.movePosition(QTextCursor::EndOfWord);
    doc->setTextCursor(c);
    doc->setFocus();
    QApplication::processEvents();
    const int before = doc->characterCount();
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : doc;
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
        // Laid out again, and the view painted as the user sees it.
        benchmark::DoNotOptimize(doc->document()->documentLayout()->documentSize());
        doc->viewport()->repaint();
    }
    if (doc->characterCount() != before + int(state.iterations())) state.SkipWithError("keystrokes did not reach the text");
    e.reject();
}
BENCHMARK(BM_TypeOneCharacterInTwentyPages)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ORVANE_HOME", home().path().toLocal8Bit());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    LoadSettings();
    makeFax();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    faxes().table.close();
    return 0;
}
