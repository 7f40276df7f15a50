#include "cli/Cli.h"
#include "library/LibraryModel.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillmere"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmere"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return Cli::run(arguments, LibraryContext::system(nullptr));
}
