// Runs the fuzz target's checks over the files given (or every file in the folders given)
// without libFuzzer, so that the seed files and every past finding are checked by `make test`
// with any compiler.

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        QStringList files;
        if (QFileInfo(path).isDir()) {
            QDirIterator it(path, QDir::Files);
            while (it.hasNext())
                files.append(it.next());
            files.sort();
        } else {
            files.append(path);
        }
        for (const QString &fileName : files) {
            QFile file(fileName);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(fileName));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            // On stderr, which is unbuffered: a check that fails aborts the program, and the
            // name of the input it failed on must already be out.
            std::fprintf(stderr, "%s\n", qPrintable(fileName));
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                std::size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs passed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
