// Adds COUNT entries named "TAG N" to the library in DATA_FOLDER, one save each, as several
// Quillmere processes changing one library at the same moment would. With --window, it saves
// in the background as the window does and quits at once.
#include "library/LibraryModel.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const bool window = arguments.size() == 5 && arguments.at(4) == QStringLiteral("--window");
    if (arguments.size() != 4 && !window) {
        std::fputs("usage: library-writer DATA_FOLDER COUNT TAG [--window]\n", stderr);
        return 2;
    }
    const QString folder = arguments.at(1);
    LibraryContext context {folder,
        std::make_shared<UserDefaults>(QDir(folder).filePath(QStringLiteral("defaults.ini"))),
        nullptr, {}};
    context.saveInBackground = window;
    LibraryModel model(context);
    for (int i = 0; i < arguments.at(2).toInt(); ++i) {
        model.add({.name = arguments.at(3) + u' ' + QString::number(i)});
        if (!model.errorMessage().isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(model.errorMessage()));
            return 1;
        }
    }
    return 0;
}
