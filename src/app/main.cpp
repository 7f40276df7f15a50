#include "cli/Cli.h"
#include "library/LibraryModel.h"
#include "platform/AppData.h"
#include "platform/Background.h"
#include "platform/DesktopNotification.h"
#include "platform/MachineInfo.h"
#include "platform/SystemDesktopServices.h"
#include "profiles/GameProfileCatalogStore.h"
#include "profiles/ProfileEndpoints.h"
#include "ui/kit/Theme.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/WindowHandoff.h"

#include <QApplication>
#include <QCoroTask>
#include <QDir>
#include <QNetworkAccessManager>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(u"Quillmere"_s);
    QCoreApplication::setOrganizationName(u"Quillmere"_s);
}

int runWindow(QApplication &app, const QStringList &arguments)
{
    nameApplication();
    QGuiApplication::setDesktopFileName(u"org.quillmere.Quillmere"_s);

    // One window per user: a second start hands its file to the running window and leaves once
    // the window has done what it asked.
    const QString file = arguments.isEmpty()
        ? QString()
        : QDir::cleanPath(QDir::current().absoluteFilePath(arguments.first()));
    WindowHandoff handoff;
    switch (handoff.offer(AppData::defaultFolder(), file)) {
    case WindowHandoff::Outcome::handedOff:
        return 0;
    case WindowHandoff::Outcome::refused:
    case WindowHandoff::Outcome::unanswered:
        std::fputs((handoff.problem() + u'\n').toUtf8().constData(), stderr);
        return 1;
    case WindowHandoff::Outcome::notListening:
        // The window works without it; later starts just open windows of their own.
        std::fputs((handoff.problem() + u'\n').toUtf8().constData(), stderr);
        break;
    case WindowHandoff::Outcome::listening:
        break;
    }

    const QString appearance = qEnvironmentVariable("QUILLMERE_APPEARANCE");
    Theme::apply(app,
        appearance == u"dark"_s        ? Theme::Appearance::dark
            : appearance == u"light"_s ? Theme::Appearance::light
                                       : Theme::systemAppearance());

    // The one network access manager and the one catalogue store of the window's GUI thread.
    QNetworkAccessManager network;
    const WebAccess web {&network, ProfileEndpoints::fromEnvironment()};
    GameProfileCatalogStore catalog(web);

    auto desktop = std::make_shared<SystemDesktopServices>();
    LibraryContext libraryContext = LibraryContext::system(desktop);
    libraryContext.saveInBackground = true;
    libraryContext.prefixWatchInterval = std::chrono::seconds(2);
    LibraryModel library(libraryContext);
    WindowContext context;
    context.catalog = &catalog;
    context.setupContext = [defaults = libraryContext.defaults, desktop] {
        return SetupContext::standard(defaults, desktop);
    };
    context.filePanels = systemFilePanels();
    context.desktop = desktop;
    MainWindow window(library, context);
    handoff.attach(window);
    window.show();
    // The desktop's token was for this window; the games it starts must not carry it on.
    qunsetenv("XDG_ACTIVATION_TOKEN");
    if (!file.isEmpty())
        window.runFile(file);
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
        QApplication app(argc, argv);
        // After the window and its models are gone, background work gets a moment to finish;
        // what still waits on Wine is left to it, and Wine keeps running.
        Background::Pool pool;
        return pool.finish(runWindow(app, arguments));
    }

    QCoreApplication app(argc, argv);
    Background::Pool pool;
    nameApplication();
    QNetworkAccessManager network;
    const LibraryContext context = LibraryContext::system(nullptr);
    // An applications-menu shortcut's launch goes through the open window, which then shows it
    // running and keeps its log and play time; without one, a refusal becomes a notification.
    const Cli::MenuLaunch menu {[folder = context.dataFolder](const QUuid &id) {
                                    return WindowHandoff::askToLaunch(folder, id);
                                },
        [](const QString &summary, const QString &sentence) {
            DesktopNotification::show(summary, sentence);
        }};
    std::optional<int> status;
    QCoro::connect(Cli::run(arguments, context,
                       WebAccess {&network, ProfileEndpoints::fromEnvironment()}, menu),
        &app, [&status](int code) {
            status = code;
            QCoreApplication::exit(code);
        });
    // A command that waits for nothing has finished already.
    return pool.finish(status ? *status : app.exec());
}
