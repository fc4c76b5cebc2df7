#include "benchmain.h"

#include "frmimport.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>

#include <benchmark/benchmark.h>

double peakResidentMiB()
{
    // VmHWM, not getrusage(): the latter keeps across exec the peak of the process that
    // started this one, so a fresh process of a large benchmark would report its parent's.
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

namespace {
ChildTask childTask = nullptr;
} // namespace

void setChildTask(ChildTask task)
{
    childTask = task;
}

void answerDialogsWith(frmImport &window, const QString &fileName)
{
    window.setDialogRunner([fileName](QDialog &dialog) {
        if (auto *files = qobject_cast<QFileDialog *>(&dialog))
            files->selectFile(fileName);
        return int(QDialog::Accepted);
    });
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PantrovoImporter"));
    if (childTask != nullptr && childTask())
        return 0;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
