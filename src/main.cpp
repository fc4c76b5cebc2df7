#include "appearance.h"
#include "frmimport.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PantrovoImporter"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setWindowIcon(programIcon());

    frmImport window;
    window.show();
    return QApplication::exec();
}
