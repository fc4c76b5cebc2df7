// Pasting a block of copied lines into the real window, and undoing the paste.
#include "benchmain.h"

#include "frmimport.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

// Lines as a spreadsheet copies them: six values joined by Tab.
QString copiedLines(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i) {
        text += QStringLiteral("Item %1\tDairy\t1.%2\tItem\tCorner shop\t%3\n")
                    .arg(i)
                    .arg(i % 100)
                    .arg(i % 40);
    }
    return text;
}

void paste(benchmark::State &state)
{
    QGuiApplication::clipboard()->setText(copiedLines(int(state.range(0))));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<frmImport> window = shownWindow();
        state.ResumeTiming();
        pressOnGrid(*window, Qt::Key_V);
        state.PauseTiming();
        if (window->items().size() != state.range(0))
            state.SkipWithError("wrong number of rows");
        window.reset();
        state.ResumeTiming();
    }
    state.counters["goal_ms"] = 200;
}

void undoPaste(benchmark::State &state)
{
    QGuiApplication::clipboard()->setText(copiedLines(int(state.range(0))));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<frmImport> window = shownWindow();
        pressOnGrid(*window, Qt::Key_V);
        state.ResumeTiming();
        pressOnGrid(*window, Qt::Key_Z);
        state.PauseTiming();
        if (window->items().size() != 1)
            state.SkipWithError("the paste was not undone");
        window.reset();
        state.ResumeTiming();
    }
    state.counters["goal_ms"] = 200;
}

constexpr int MillionLines = 1'000'000;

// A million lines copied from a spreadsheet, and the same rows as a file to open.
const QString &copiedMillion()
{
    static const QString text = itemLines(MillionLines, u'\t', u"\n");
    return text;
}

// Paste of a million copied lines against Open of the same rows, in the same run.
void pasteAgainstOpen(benchmark::State &state)
{
    const QString fileName = itemsFile(MillionLines);
    QGuiApplication::clipboard()->setText(copiedMillion());
    double openMs = 0, pasteMs = 0;
    for (auto _ : state) {
        std::unique_ptr<frmImport> window = shownWindow();
        openMs += openMilliseconds(*window, fileName);
        window = shownWindow();
        QElapsedTimer timer;
        timer.start();
        pressOnGrid(*window, Qt::Key_V);
        QApplication::processEvents();
        pasteMs += double(timer.nsecsElapsed()) / 1e6;
        if (window->items().size() != MillionLines)
            state.SkipWithError("wrong number of rows");
    }
    const auto runs = double(state.iterations());
    state.counters["open_ms"] = openMs / runs;
    state.counters["paste_ms"] = pasteMs / runs;
    state.counters["ratio"] = pasteMs / openMs;
    state.counters["goal_ratio"] = 1.5;
}

// The peak memory of a paste of a million lines, in a fresh process (runPasteChild): the
// goal is twice the text's size as a QString plus the rows' own size (what the paste leaves
// behind besides the text) over the memory before.
void pastePeakMemory(benchmark::State &state)
{
    QByteArray figures;
    for (auto _ : state) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PANTROVO_BENCH_PEAK"), QStringLiteral("paste"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            state.SkipWithError("the measuring process failed");
        figures = child.readAllStandardOutput().trimmed();
    }
    const QList<QByteArray> values = figures.split(' ');
    if (values.size() != 4) {
        state.SkipWithError("the measuring process gave no figures");
        return;
    }
    const double before = values[0].toDouble(), text = values[1].toDouble(),
                 after = values[2].toDouble(), peak = values[3].toDouble();
    const double rows = after - before - text;
    state.counters["text_MiB"] = text;
    state.counters["rows_MiB"] = rows;
    state.counters["peak_RSS_MiB"] = peak;
    state.counters["goal_peak_RSS_MiB"] = before + 2 * text + rows;
}

bool runPasteChild()
{
    if (qgetenv("PANTROVO_BENCH_PEAK") != "paste")
        return false;
    std::unique_ptr<frmImport> window = shownWindow();
    const double before = residentMiB();
    QGuiApplication::clipboard()->setText(copiedMillion());
    const double text = double(copiedMillion().size()) * 2 / (1024.0 * 1024.0);
    pressOnGrid(*window, Qt::Key_V);
    QApplication::processEvents();
    std::printf("%.1f %.1f %.1f %.1f\n", before, text, residentMiB(), peakResidentMiB());
    return true;
}

const bool childTaskSet = (setChildTask(runPasteChild), true);

} // namespace

BENCHMARK(pasteAgainstOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(pastePeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(paste)->Arg(10'000)->Unit(benchmark::kMillisecond);
BENCHMARK(undoPaste)->Arg(10'000)->Unit(benchmark::kMillisecond);
