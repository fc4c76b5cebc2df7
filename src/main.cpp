#include "appearance.h"
#include "csvcommands.h"
#include "frmimport.h"
#include "systemnames.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("PantrovoImporter"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PANTROVO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate("main",
        "Type many shopping items quickly and save them as a CSV file for the Pantrovo "
        "handheld app."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
        QCoreApplication::translate("main", "CSV files whose rows are appended to the grid."),
        QStringLiteral("[FILE...]"));

    // --help and --version are answered before the application object is made, since that
    // needs a display; the rest is read after it has taken out Qt's own options. File names are
    // taken as the bytes given, also those that are not valid UTF-8.
    const auto argumentsOf = [](int count, char **values) {
        QStringList arguments;
        for (int i = 0; i < count; ++i)
            arguments.append(ItemCsv::nameFromSystem(values[i]));
        return arguments;
    };
    const QStringList arguments = argumentsOf(argc, argv);
    parser.parse(arguments);
    if (parser.isSet(help)) {
        // Without the application object the parser cannot know the program's name.
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                       QFileInfo(arguments.first()).fileName())),
            stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("pantrovo-importer %s\n", PANTROVO_VERSION);
        return 0;
    }

    ItemCsv::prepareProcess();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(programIcon());
    parser.process(argumentsOf(argc, argv));

    frmImport window;
    window.show();
    if (!parser.positionalArguments().isEmpty())
        window.openFiles(parser.positionalArguments());
    return QApplication::exec();
}
