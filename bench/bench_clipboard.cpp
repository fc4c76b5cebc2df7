// A paste of a million lines that a spreadsheet in another program copied, through the X
// clipboard as the window reads it, against Open of the same rows in the same run. It needs an
// X server (make bench starts one with xvfb-run): the text is held by another process, a child
// (xclip), so that every byte goes through the selection as it does for a user.
#include "benchmain.h"

#include "frmimport.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int MillionLines = 1'000'000;

// A million lines as a spreadsheet copies them: Tab between the values, a line feed after each.
const QString &copiedMillion()
{
    static const QString text = itemLines(MillionLines, u'\t', u"\n");
    return text;
}

double mebibytes(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

// The program that copied the lines: xclip, which holds them on the clipboard while this
// object lives.
class ClipboardOwner
{
public:
    bool start()
    {
        const QString fileName = m_folder.filePath(QStringLiteral("copied.txt"));
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly) || file.write(copiedMillion().toUtf8()) < 0)
            return false;
        file.close();
        m_process.start(QStringLiteral("xclip"),
            {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                QStringLiteral("-in"), fileName});
        if (!m_process.waitForStarted())
            return false;
        // The lines are there once the clipboard offers text.
        QDeadlineTimer deadline(60'000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QApplication::processEvents();
            const QMimeData *data = QGuiApplication::clipboard()->mimeData();
            if (data != nullptr && data->hasText())
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    ~ClipboardOwner()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
};

// Presses Ctrl+V in a fresh window and gives the milliseconds until the rows are in, or -1 when
// they are not all there.
double pasteMilliseconds(frmImport &window)
{
    QElapsedTimer timer;
    timer.start();
    pressOnGrid(window, Qt::Key_V);
    QApplication::processEvents();
    const double milliseconds = double(timer.nsecsElapsed()) / 1e6;
    return window.items().size() == MillionLines ? milliseconds : -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Each round opens the rows in a fresh window and then pastes them in another; the figure is the
// median of the rounds' own ratios, which a shared machine moves less than their sums.
void xClipboardPasteAgainstOpen(benchmark::State &state)
{
    const QString fileName = itemsFile(MillionLines);
    ClipboardOwner owner;
    if (!owner.start()) {
        state.SkipWithError("no process holds the copied lines");
        return;
    }
    std::vector<double> openMs, pasteMs, ratios;
    for (auto _ : state) {
        std::unique_ptr<frmImport> window = shownWindow();
        openMs.push_back(openMilliseconds(*window, fileName));
        window.reset();
        window = shownWindow();
        pasteMs.push_back(pasteMilliseconds(*window));
        if (pasteMs.back() < 0)
            state.SkipWithError("the paste did not give every row");
        ratios.push_back(pasteMs.back() / openMs.back());
    }
    state.counters["open_ms"] = median(openMs);
    state.counters["paste_ms"] = median(pasteMs);
    state.counters["ratio"] = median(ratios);
    state.counters["goal_ratio"] = 1.5;
}

// The peak memory of the paste and of the Open, each in a fresh process (runChildTask).
double peakInChild(const QString &task)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PANTROVO_BENCH_TASK"), task);
    environment.insert(QStringLiteral("PANTROVO_BENCH_FILE"), itemsFile(MillionLines));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toDouble();
}

void xClipboardPastePeakMemory(benchmark::State &state)
{
    ClipboardOwner owner;
    if (!owner.start()) {
        state.SkipWithError("no process holds the copied lines");
        return;
    }
    double paste = 0, open = 0;
    for (auto _ : state) {
        paste = peakInChild(QStringLiteral("paste"));
        open = peakInChild(QStringLiteral("open"));
    }
    if (paste < 0 || open < 0)
        state.SkipWithError("the measuring process failed");
    const double text = mebibytes(copiedMillion().toUtf8().size());
    state.counters["text_MiB"] = text;
    state.counters["open_peak_RSS_MiB"] = open;
    state.counters["peak_RSS_MiB"] = paste;
    state.counters["goal_peak_RSS_MiB"] = open + 2 * text;
}

bool runChildTask()
{
    const QByteArray task = qgetenv("PANTROVO_BENCH_TASK");
    if (task.isEmpty())
        return false;
    std::unique_ptr<frmImport> window = shownWindow();
    if (task == "paste") {
        if (pasteMilliseconds(*window) < 0)
            std::exit(1);
    } else {
        openMilliseconds(*window, qEnvironmentVariable("PANTROVO_BENCH_FILE"));
    }
    std::printf("%.1f\n", peakResidentMiB());
    return true;
}

const bool childTaskSet = (setChildTask(runChildTask), true);

} // namespace

BENCHMARK(xClipboardPasteAgainstOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(xClipboardPastePeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
