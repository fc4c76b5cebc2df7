#include "benchmain.h"

#include "frmimport.h"

#include <QApplication>
#include <QFileDialog>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

double peakResidentMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
