// Open File and Save File on generated files of realistic items, with the real window's table
// and grid attached.
#include "benchmain.h"

#include "csvcommands.h"
#include "frmimport.h"
#include "itemgrid.h"
#include "itemtable.h"
#include "refusedcells.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace {

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

// The same lines as a spreadsheet with German settings exports them: semicolons between the
// values and a decimal comma in the prices (the only points in the lines). As many bytes as
// itemsFile(lines).
QString semicolonFile(int lines)
{
    static QString fileName;
    if (!fileName.isEmpty())
        return fileName;
    const QString text = itemLines(lines, u';', u"\r\n").replace(u'.', u',');
    fileName = folder().filePath(QStringLiteral("semicolons-%1.csv").arg(lines));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the benchmark file");
    file.write(QStringEncoder("windows-1252").encode(text));
    return fileName;
}

// Lines with nothing on them: the rows that cost least in the file and most per byte in memory.
QString emptyLinesFile(int lines)
{
    static QString fileName;
    if (!fileName.isEmpty())
        return fileName;
    fileName = folder().filePath(QStringLiteral("empty-%1.csv").arg(lines));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the benchmark file");
    file.write(QByteArray(lines, '\n'));
    return fileName;
}

void openFile(benchmark::State &state)
{
    const QString fileName = itemsFile(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<frmImport> window = shownWindow();
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
    std::unique_ptr<frmImport> window = shownWindow();
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
    std::unique_ptr<frmImport> window = shownWindow();
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

// What a plain program does with the same file: reads its lines into vectors of std::string cut
// at the commas, then writes them back and syncs them to the disk as Save does.
using PlainRows = std::vector<std::vector<std::string>>;

PlainRows plainRead(const std::string &fileName)
{
    PlainRows rows;
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = line.find(',', start);
            fields.push_back(line.substr(start, comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

bool plainWrite(const PlainRows &rows, const std::string &fileName)
{
    const std::string temporary = fileName + ".new";
    std::FILE *file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    for (const std::vector<std::string> &fields : rows) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                std::fputc(',', file);
            std::fwrite(fields[i].data(), 1, fields[i].size(), file);
        }
        std::fputs("\r\n", file);
    }
    const bool written = std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    return std::fclose(file) == 0 && written
        && std::rename(temporary.c_str(), fileName.c_str()) == 0;
}

// Open and Save of a million lines through the window, against the plain program in the same
// run, and their ratio: the time the program takes for what the plain program does.
void againstPlainProgram(benchmark::State &state)
{
    const QString fileName = itemsFile(1'000'000);
    const QString output = folder().filePath(QStringLiteral("saved.csv"));
    const std::string plainOutput = folder().filePath(QStringLiteral("plain.csv")).toStdString();
    double openMs = 0, saveMs = 0, plainReadMs = 0, plainWriteMs = 0;
    for (auto _ : state) {
        std::unique_ptr<frmImport> window = shownWindow();
        openMs += openMilliseconds(*window, fileName);
        answerDialogsWith(*window, output);
        QElapsedTimer timer;
        timer.start();
        window->cmdSave_Click();
        saveMs += double(timer.nsecsElapsed()) / 1e6;
        window.reset();

        timer.restart();
        PlainRows rows = plainRead(fileName.toStdString());
        plainReadMs += double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        if (!plainWrite(rows, plainOutput))
            state.SkipWithError("the plain program could not write");
        plainWriteMs += double(timer.nsecsElapsed()) / 1e6;
        benchmark::DoNotOptimize(rows.data());
    }
    const auto runs = double(state.iterations());
    state.counters["open_ms"] = openMs / runs;
    state.counters["save_ms"] = saveMs / runs;
    state.counters["plain_read_ms"] = plainReadMs / runs;
    state.counters["plain_write_ms"] = plainWriteMs / runs;
    state.counters["ratio"] = (openMs + saveMs) / (plainReadMs + plainWriteMs);
    state.counters["goal_ratio"] = 0.6;
}

// Milliseconds of processor time that Open of the file into `table` takes, without the window;
// -1 when it fails.
double openIntoMilliseconds(ItemTable &table, const QString &fileName)
{
    timespec start {}, end {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    const ItemCsv::OpenResult opened = ItemCsv::openTable(table, fileName);
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    if (!opened.succeeded())
        return -1;
    return double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
}

// What finding the values Save would refuse (the cells the grid marks) adds to Open of a million
// lines: the same Open into a table with the window's RefusedCells and into one without, in pairs,
// the first of each pair changing places every round. A few percent are lost in the noise of a
// shared machine, so it counts processor time, and the share is the median of the rounds' own.
void refusedCellsOnOpen(benchmark::State &state)
{
    const QString fileName = itemsFile(1'000'000);
    std::vector<double> plainMs, shares;
    bool markedFirst = false;
    for (auto _ : state) {
        double pair[2] = {};
        for (const bool marked : {markedFirst, !markedFirst}) {
            ItemTable table;
            std::optional<RefusedCells> refused;
            if (marked)
                refused.emplace(table);
            pair[marked ? 1 : 0] = openIntoMilliseconds(table, fileName);
            if (pair[marked ? 1 : 0] < 0 || (refused && refused->count() != 0))
                state.SkipWithError("the Open did not read the rows as they are");
        }
        plainMs.push_back(pair[0]);
        shares.push_back(pair[1] / pair[0] - 1);
        markedFirst = !markedFirst;
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    state.counters["open_cpu_ms"] = median(plainMs);
    state.counters["refused_cells_percent"] = median(shares) * 100;
    state.counters["goal_percent"] = 5;
}

// A file of a million lines that is not an item file reaches its preview, shown, within 1.5 times
// the Open of an item file of as many lines and bytes, measured in the same run.
void previewOfASemicolonFile(benchmark::State &state)
{
    const QString fileName = semicolonFile(1'000'000);
    double previewMs = 0, openMs = 0;
    for (auto _ : state) {
        std::unique_ptr<frmImport> window = shownWindow();
        QElapsedTimer timer;
        bool previewed = false;
        window->setDialogRunner([&](QDialog &dialog) {
            if (auto *files = qobject_cast<QFileDialog *>(&dialog)) {
                files->selectFile(fileName);
                return int(QDialog::Accepted);
            }
            dialog.show();
            QApplication::processEvents();
            previewMs += double(timer.nsecsElapsed()) / 1e6;
            previewed = true;
            return int(QDialog::Rejected);
        });
        timer.start();
        window->cmdOpen_Click();
        window.reset();
        if (!previewed)
            state.SkipWithError("no preview");
        std::unique_ptr<frmImport> other = shownWindow();
        openMs += openMilliseconds(*other, itemsFile(1'000'000));
    }
    const auto runs = double(state.iterations());
    state.counters["preview_ms"] = previewMs / runs;
    state.counters["item_open_ms"] = openMs / runs;
    state.counters["ratio"] = previewMs / openMs;
    state.counters["goal_ratio"] = 1.5;
}

// Peak memory is the whole process's, so each measurement runs in a fresh process of this
// program (see runPeakMemoryChild) that does only that one thing.
double peakInChild(const QString &what, const QString &fileName)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PANTROVO_BENCH_PEAK"), what);
    environment.insert(QStringLiteral("PANTROVO_BENCH_FILE"), fileName);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toDouble();
}

void peakMemory(benchmark::State &state)
{
    const bool empty = state.range(0) != 0;
    const QString fileName = empty ? emptyLinesFile(10'000'000) : itemsFile(1'000'000);
    double program = 0, plain = 0;
    for (auto _ : state) {
        program = peakInChild(QStringLiteral("open"), fileName);
        if (!empty)
            plain = peakInChild(QStringLiteral("plain"), fileName);
    }
    if (program < 0 || plain < 0)
        state.SkipWithError("the measuring process failed");
    const double fileMiB = double(QFile(fileName).size()) / (1024.0 * 1024.0);
    state.counters["file_MiB"] = fileMiB;
    state.counters["peak_RSS_MiB"] = program;
    if (empty) {
        state.counters["goal_peak_RSS_MiB"] = 250;
    } else {
        state.counters["plain_peak_RSS_MiB"] = plain;
        state.counters["goal_peak_RSS_MiB"] = 1.5 * fileMiB + 40;
    }
}

} // namespace

namespace {

bool runPeakMemoryChild()
{
    const QByteArray what = qgetenv("PANTROVO_BENCH_PEAK");
    if (what.isEmpty())
        return false;
    const QString fileName = qEnvironmentVariable("PANTROVO_BENCH_FILE");
    if (what == "plain") {
        PlainRows rows = plainRead(fileName.toStdString());
        benchmark::DoNotOptimize(rows.data());
    } else {
        std::unique_ptr<frmImport> window = shownWindow();
        answerDialogsWith(*window, fileName);
        window->cmdOpen_Click();
        QApplication::processEvents();
    }
    std::printf("%.1f\n", peakResidentMiB());
    return true;
}

const bool childTaskSet = (setChildTask(runPeakMemoryChild), true);

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
BENCHMARK(againstPlainProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(refusedCellsOnOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(9);
BENCHMARK(previewOfASemicolonFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
// 0: a million lines of items; 1: ten million empty lines.
BENCHMARK(peakMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
