#include "cli/Cli.h"
#include "library/LibraryModel.h"
#include "platform/MachineInfo.h"
#include "platform/SystemDesktopServices.h"
#include "profiles/GameProfileCatalogStore.h"
#include "ui/LibraryView.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(u"Quillmere"_s);
    QCoreApplication::setOrganizationName(u"Quillmere"_s);
}

int runWindow(int argc, char *argv[], const QStringList &arguments)
{
    QApplication app(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(u"quillmere"_s);
    const QString appearance = qEnvironmentVariable("QUILLMERE_APPEARANCE");
    Theme::apply(app,
        appearance == u"dark"_s        ? Theme::Appearance::dark
            : appearance == u"light"_s ? Theme::Appearance::light
                                       : Theme::systemAppearance());

    auto desktop = std::make_shared<SystemDesktopServices>();
    const LibraryContext libraryContext = LibraryContext::system(desktop);
    LibraryModel library(libraryContext);
    WindowContext context;
    context.setupContext = [defaults = libraryContext.defaults, desktop] {
        return SetupContext::standard(defaults, desktop);
    };
    context.filePanels = systemFilePanels();
    context.desktop = desktop;
    LibraryView window(library, context);
    window.show();
    if (!arguments.isEmpty())
        window.runFile(QDir::current().absoluteFilePath(arguments.first()));
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    if (Cli::opensWindow(arguments)) {
        const QString problem = MachineInfo::displayProblem();
        if (!problem.isEmpty()) {
            std::fputs((problem + u'\n').toUtf8().constData(), stderr);
            return 1;
        }
        return runWindow(argc, argv, arguments);
    }

    QCoreApplication app(argc, argv);
    nameApplication();
    return Cli::run(arguments, LibraryContext::system(nullptr));
}
