// Pasting a block of copied lines into the real window, and undoing the paste.
#include "benchmain.h"

#include "frmimport.h"
#include "itemgrid.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <benchmark/benchmark.h>

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

std::unique_ptr<frmImport> freshWindow()
{
    auto window = std::make_unique<frmImport>();
    window->show();
    QApplication::processEvents();
    return window;
}

void pressOnGrid(frmImport &window, Qt::Key key)
{
    QTest::keyClick(
        window.findChild<ItemGrid *>(QStringLiteral("DataGrid1")), key, Qt::ControlModifier);
}

void paste(benchmark::State &state)
{
    QGuiApplication::clipboard()->setText(copiedLines(int(state.range(0))));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<frmImport> window = freshWindow();
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
        std::unique_ptr<frmImport> window = freshWindow();
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

} // namespace

BENCHMARK(paste)->Arg(10'000)->Unit(benchmark::kMillisecond);
BENCHMARK(undoPaste)->Arg(10'000)->Unit(benchmark::kMillisecond);
