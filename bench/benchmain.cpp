#include "benchmain.h"

#include "frmimport.h"
#include "itemgrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <map>

namespace {

double statusMiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

double peakResidentMiB()
{
    // VmHWM, not getrusage(): the latter keeps across exec the peak of the process that
    // started this one, so a fresh process of a large benchmark would report its parent's.
    return statusMiB("VmHWM:");
}

double residentMiB()
{
    return statusMiB("VmRSS:");
}

QString itemLines(int lines, QChar separator, QStringView lineEnd)
{
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
        text += separator;
        text += QString::fromUtf8(groups[i % 5]);
        text += separator;
        text += QStringLiteral("%1.%2").arg(i % 20).arg(i % 100, 2, 10, QLatin1Char('0'));
        text += separator;
        text += QStringLiteral("Item");
        text += separator;
        text += QString::fromUtf8(stores[i % 4]);
        text += separator;
        text += QString::number(i % 40);
        text += lineEnd;
    }
    return text;
}

QString itemsFile(int lines)
{
    static QTemporaryDir folder;
    static std::map<int, QString> files;
    QString &fileName = files[lines];
    if (!fileName.isEmpty())
        return fileName;
    fileName = folder.filePath(QStringLiteral("items-%1.csv").arg(lines));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the benchmark file");
    file.write(QStringEncoder("windows-1252").encode(itemLines(lines, u',', u"\r\n")));
    return fileName;
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

std::unique_ptr<frmImport> shownWindow()
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

double openMilliseconds(frmImport &window, const QString &fileName)
{
    answerDialogsWith(window, fileName);
    QElapsedTimer timer;
    timer.start();
    window.cmdOpen_Click();
    QApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
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
