// Open File and Save File on generated files of realistic items, with the real window's table
// and grid attached.
#include "benchmain.h"

#include "frmimport.h"
#include "itemgrid.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

// About 40 bytes a line, some with accented letters, in Windows-1252.
QString itemsFile(int lines)
{
    static std::map<int, QString> files;
    QString &fileName = files[lines];
    if (!fileName.isEmpty())
        return fileName;
    static const char *const names[] = {"Milk", "Crème fraîche", "Bread", "Jalapeños", "Apples",
        "Pâté", "Rice", "Tomatoes", "Gruyère", "Coffee"};
    static const char *const groups[] = {"Dairy", "Bakery", "Fruit & veg", "Épicerie", "Drinks"};
    static const char *const stores[] = {"Corner shop", "Market", "Supermarché", "Deli"};
    QString text;
    text.reserve(qsizetype(lines) * 44);
    for (int i = 0; i < lines; ++i) {
        text += QString::fromUtf8(names[i % 10]);
        text += u' ';
        text += QString::number(i % 997);
        text += u',';
        text += QString::fromUtf8(groups[i % 5]);
        text += QStringLiteral(",%1.%2,Item,").arg(i % 20).arg(i % 100, 2, 10, QLatin1Char('0'));
        text += QString::fromUtf8(stores[i % 4]);
        text += QStringLiteral(",%1\r\n").arg(i % 40);
    }
    fileName = folder().filePath(QStringLiteral("items-%1.csv").arg(lines));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the benchmark file");
    file.write(QStringEncoder("windows-1252").encode(text));
    return fileName;
}

std::unique_ptr<frmImport> openWindow()
{
    auto window = std::make_unique<frmImport>();
    window->show();
    QApplication::processEvents();
    return window;
}

void openFile(benchmark::State &state)
{
    const QString fileName = itemsFile(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<frmImport> window = openWindow();
        answerDialogsWith(*window, fileName);
        state.ResumeTiming();
        window->cmdOpen_Click();
        QApplication::processEvents();
        state.PauseTiming();
        if (window->items().size() != state.range(0) + 1)
            state.SkipWithError("wrong row count");
        window.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * QFile(fileName).size());
    state.counters["peak_RSS_MiB"] = peakResidentMiB();
    // The goals on a 2-core machine.
    if (state.range(0) == 10'000)
        state.counters["goal_ms"] = 30;
    if (state.range(0) == 1'000'000) {
        state.counters["goal_ms"] = 1500;
        state.counters["goal_peak_RSS_MiB"] = 300;
    }
}

void saveFile(benchmark::State &state)
{
    const QString fileName = itemsFile(int(state.range(0)));
    std::unique_ptr<frmImport> window = openWindow();
    answerDialogsWith(*window, fileName);
    window->cmdOpen_Click();
    const QString output = folder().filePath(QStringLiteral("saved.csv"));
    answerDialogsWith(*window, output);
    for (auto _ : state) {
        window->cmdSave_Click();
    }
    state.SetBytesProcessed(state.iterations() * QFile(output).size());
    state.counters["peak_RSS_MiB"] = peakResidentMiB();
    if (state.range(0) == 1'000'000)
        state.counters["goal_ms"] = 500;
}

// With a million rows open, the grid shows its last rows at once.
void scrollToTheEnd(benchmark::State &state)
{
    std::unique_ptr<frmImport> window = openWindow();
    answerDialogsWith(*window, itemsFile(1'000'000));
    window->cmdOpen_Click();
    auto *grid = window->findChild<ItemGrid *>(QStringLiteral("DataGrid1"));
    for (auto _ : state) {
        grid->scrollToTop();
        grid->repaint();
        grid->scrollToBottom();
        grid->repaint();
    }
}

} // namespace

BENCHMARK(openFile)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(saveFile)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(scrollToTheEnd)->Unit(benchmark::kMillisecond)->UseRealTime();
