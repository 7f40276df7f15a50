#include "Cli.h"
#include "CliCommands.h"
#include "CliOutput.h"

#include "library/LibraryModel.h"
#include "profiles/ProfileEndpoints.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace CliOutput;

QString Cli::usage()
{
    return u"Usage: quillmere COMMAND [ARGUMENTS]\n"
           "\n"
           "Quillmere keeps a library of Windows programs and runs them through Wine.\n"
           "\n"
           "Commands:\n"
           "  list [--json]    the library, in order\n"
           "  launch ENTRY [--through-window]  launch an entry by id or exact name; waits for the "
           "launcher to exit, or has the open window launch it\n"
           "  stop ENTRY       ask the entry's wineserver to stop every program of its prefix\n"
           "  log ENTRY        print the entry's latest launch log\n"
           "  show ENTRY [--json]  the entry, whether it runs, its play time and its log\n"
           "  shortcut ENTRY [--remove]  add the entry to the desktop's applications menu, or "
           "remove it\n"
           "  runtimes [--json]  the Wine runtimes found, the default first\n"
           "  run FILE.exe     run a Windows program at once in a new prefix, as a drop does\n"
           "  profiles [--json] [--search TEXT]  the game compatibility profiles\n"
           "  steam [--json]   the Steam entry, its library folders and the games in them\n"
           "  help             show this text\n"
           "\n"
           "Exit status: 0 on success, 1 when Quillmere reported an error, 2 on a usage error."_s;
}

bool Cli::opensWindow(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return true;
    if (arguments.size() != 1)
        return false;
    const QString &argument = arguments.first();
    static const QStringList commands = {u"list"_s, u"launch"_s, u"stop"_s, u"log"_s, u"show"_s,
        u"shortcut"_s, u"runtimes"_s, u"run"_s, u"profiles"_s, u"steam"_s, u"help"_s};
    if (commands.contains(argument) || argument.startsWith(u'-'))
        return false;
    return QFileInfo::exists(argument) || argument.contains(u'/')
        || argument.endsWith(u".exe"_s, Qt::CaseInsensitive);
}

QCoro::Task<int> Cli::run(
    QStringList arguments, LibraryContext context, WebAccess web, MenuLaunch menu)
{
    if (arguments.isEmpty() || arguments.first() == u"help"_s || arguments.first() == u"--help"_s
        || arguments.first() == u"-h"_s) {
        printLine(usage());
        co_return success;
    }
    const QString &command = arguments.first();
    const QStringList rest = arguments.mid(1);
    if (command == u"runtimes"_s)
        co_return CliCommands::runtimes(context, rest);
    if (command == u"profiles"_s) {
        auto listing = CliCommands::profiles(rest, web);
        co_return co_await std::move(listing);
    }
    if (command == u"steam"_s)
        co_return CliCommands::steam(context, rest);
    if (CliCommands::isLibraryCommand(command)) {
        auto running = CliCommands::library(command, rest, context, menu);
        co_return co_await std::move(running);
    }
    co_return usageFailure(u"Quillmere has no command “"_s + command + u"”."_s);
}
