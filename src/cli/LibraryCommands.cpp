#include "CliCommands.h"
#include "CliOutput.h"

#include "games/SteamShortcuts.h"
#include "library/DirectLaunch.h"
#include "library/LaunchSessions.h"
#include "library/LibraryFile.h"
#include "library/LibraryModel.h"
#include "library/PlayTimes.h"
#include "library/PlayTracker.h"
#include "library/PrefixStorage.h"
#include "platform/LaunchLog.h"
#include "platform/ThemeIcon.h"
#include "profiles/SteamGameCatalog.h"
#include "setup/MachineProbe.h"

#include <QCoroSignal>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace CliOutput;

namespace {

// An entry by its id (any letter case) or by its exact name; an ambiguous name is refused.
const GameEntry *findEntry(const LibraryModel &model, const QString &text, QString &problem)
{
    const QUuid id = QUuid::fromString(text);
    if (!id.isNull() && !text.startsWith(u'{')) {
        if (const GameEntry *entry = model.entry(id))
            return entry;
    }
    const GameEntry *found = nullptr;
    for (const GameEntry &entry : model.entries()) {
        if (entry.name != text)
            continue;
        if (found) {
            problem
                = u"Several library entries are named “"_s + text + u"”; give its id instead."_s;
            return nullptr;
        }
        found = &entry;
    }
    if (!found)
        problem = u"No library entry has the id or name “"_s + text + u"”."_s;
    return found;
}

int list(const LibraryModel &model, const QStringList &options)
{
    if (options.size() > 1 || (options.size() == 1 && options.first() != u"--json"_s))
        return usageFailure(u"“list” takes only the option --json."_s);
    // An unreadable library is not an empty one: print nothing rather than "[]".
    if (reportLoadError(model))
        return failure;
    if (!options.isEmpty()) {
        printJsonArray(model.entries(),
            [](const GameEntry &entry) { return LibraryFile::encodeEntry(entry); });
    } else {
        const QSet<QUuid> running = LaunchSessions::withLivePrefix(model.prefixes());
        for (const GameEntry &entry : model.entries()) {
            printRow(entry.idString() + u"  "_s + entry.name
                + (running.contains(entry.id) ? u"  (running)"_s : QString()));
        }
    }
    return success;
}

QCoro::Task<int> waitForLauncher(LibraryModel &model, QUuid id)
{
    int status = 0;
    Outcome said;
    while (model.isRunning(id)) {
        auto exit = qCoro(&model.sessions(), &LaunchSessions::launcherExited);
        const auto [exited, code, outcome] = co_await std::move(exit);
        if (exited == id) {
            status = code;
            said = outcome;
            break;
        }
    }
    model.playTracker().recordNow({id}, LaunchSessions::withLivePrefix(model.prefixes()));
    if (!said.message.isEmpty())
        printLine(said.message);
    // A launcher that fails is a failed launch, even though the notice is not an error.
    co_return status == 0 ? success : failure;
}

QCoro::Task<int> runExecutable(LibraryModel &model, const LibraryContext &context, QString file)
{
    if (reportLoadError(model))
        co_return failure;
    const SetupContext setup = SetupContext::standard(context.defaults, context.desktop);
    const MachineProbe machine
        = MachineProbe::of(setup); // one look serves the answer and its reason
    const auto runtime = machine.readyRuntime(setup);
    if (!runtime) {
        printError(machine.notReadyReason(setup));
        co_return failure;
    }
    Outcome outcome = model.launchExecutable(file, runtime->binaries());
    if (!model.preparingExecutable().isEmpty()) {
        printLine(u"Preparing a new Wine prefix for "_s + model.preparingExecutable() + u"…"_s);
        // The preparation's answer always comes from its worker, after this waits for it.
        auto prepared = qCoro(&model.directLaunch(), &DirectLaunch::finished);
        outcome = std::get<1>(co_await std::move(prepared));
    }
    if (outcome.failed() || model.runningIDs().isEmpty()) {
        printError(outcome.message);
        co_return failure;
    }
    printLine(outcome.message);
    auto waiting = waitForLauncher(model, *model.runningIDs().cbegin());
    co_return co_await std::move(waiting);
}

// `refused` also hears why it could not start.
QCoro::Task<int> launch(
    LibraryModel &model, GameEntry entry, std::function<void(const QString &)> refused = {})
{
    const Outcome started = model.sessions().launch(entry);
    if (started.failed()) {
        printError(started.message);
        if (refused)
            refused(started.message);
        co_return failure;
    }
    printLine(started.message);
    auto waiting = waitForLauncher(model, entry.id);
    co_return co_await std::move(waiting);
}

QCoro::Task<int> launchThroughWindow(
    LibraryModel &model, GameEntry entry, QStringList options, Cli::MenuLaunch menu)
{
    if (options != QStringList {u"--through-window"_s})
        co_return usageFailure(
            u"“launch” takes one library entry and the option --through-window."_s);
    std::optional<QString> refusal;
    if (menu.askWindow) {
        auto asking = menu.askWindow(entry.id);
        refusal = co_await std::move(asking);
    }
    if (refusal) {
        if (!refusal->isEmpty()) {
            printError(*refusal);
            co_return failure;
        }
        printLine(u"Quillmere’s window launched “"_s + entry.name + u"”."_s);
        co_return success;
    }
    // No window is open: run it here, without one; a refusal goes where the user sees it.
    auto launching
        = launch(model, entry, [tell = menu.tellFailure, name = entry.name](const QString &why) {
              if (tell)
                  tell(u"Quillmere couldn’t launch “"_s + name + u"”"_s, why);
          });
    co_return co_await std::move(launching);
}

int shortcut(const LibraryModel &model, const GameEntry &entry, const QStringList &options)
{
    if (options.size() > 1 || (options.size() == 1 && options.first() != u"--remove"_s))
        return usageFailure(u"“shortcut” takes one library entry and the option --remove."_s);
    const MenuShortcuts &shortcuts = model.shortcuts();
    if (!shortcuts.isEnabled()) {
        printError(MenuShortcuts::unavailable());
        return failure;
    }
    const QString name = u"“"_s + entry.name + u"”"_s;
    if (!options.isEmpty() && !shortcuts.has(entry.id)) {
        printLine(name + u" is not in the applications menu."_s);
        return success;
    }
    const auto done = options.isEmpty()
        ? shortcuts.add(entry,
            entry.launchesSteamGame() ? std::nullopt : WindowsIcon::forTheme(entry.executablePath))
        : shortcuts.remove(entry);
    if (!done) {
        printError(done.error());
        return failure;
    }
    printLine(options.isEmpty() ? u"Added "_s + name + u" to the applications menu."_s
                                : u"Removed "_s + name + u" from the applications menu."_s);
    return success;
}

QCoro::Task<int> stop(LibraryModel &model, GameEntry entry)
{
    // The stop's answer always comes from its worker, after this coroutine waits for it.
    model.stop(entry);
    auto finished = qCoro(&model.sessions(), &LaunchSessions::stopFinished);
    const Outcome stopped = std::get<1>(co_await std::move(finished));
    if (stopped.failed()) {
        printError(stopped.message);
        co_return failure;
    }
    printLine(stopped.message);
    co_return success;
}

int show(const LibraryModel &model, const GameEntry &entry, const QStringList &options)
{
    if (options.size() > 1 || (options.size() == 1 && options.first() != u"--json"_s))
        return usageFailure(u"“show” takes one library entry and the option --json."_s);
    const bool running = !LaunchSessions::withLivePrefix({{entry.id, entry.prefixPath}}).isEmpty();
    const PlayRecord play
        = PlayTimes::read(model.dataFolder()).value_or(PlayRecords()).value(entry.id);
    const qint64 seconds = play.seconds + (play.since ? play.since->secsTo(*play.seen) : 0);
    const QString logPath = model.logPath(entry);
    if (!options.isEmpty()) {
        QByteArray out = LibraryFile::encodeEntry(entry).chopped(1);
        out += ",\"running\":" + QByteArray(running ? "true" : "false")
            + ",\"playSeconds\":" + QByteArray::number(std::max<qint64>(0, seconds));
        if (play.lastPlayedAt) {
            out += ",\"lastPlayedAt\":"
                + jsonString(play.lastPlayedAt->toUTC().toString(Qt::ISODate));
        }
        out += ",\"logPath\":" + jsonString(logPath);
        if (QFileInfo(entry.prefixPath).isDir())
            out += ",\"prefixBytes\":"
                + QByteArray::number(PrefixStorage::measureNow(entry.prefixPath));
        printJson(out + '}');
        return success;
    }
    printRow(entry.idString() + u"  "_s + entry.name);
    printRow(u"Program: "_s + entry.executablePath);
    printRow(u"Prefix: "_s + entry.prefixPath);
    printRow(u"Wine: "_s + entry.winePath);
    printRow(running ? u"Running"_s : u"Not running"_s);
    if (play.lastPlayedAt) {
        printRow(u"Played: "_s + QString::number(seconds / 60) + u" min; last "_s
            + play.lastPlayedAt->toLocalTime().toString(Qt::ISODate));
    }
    printRow(u"Log: "_s + logPath);
    return success;
}

int printLog(const LibraryModel &model, const GameEntry &entry)
{
    const QString path = model.logPath(entry);
    QString whyNot;
    const std::unique_ptr<QFile> log = LaunchLog::openForReading(path, &whyNot);
    if (!log) {
        printError(whyNot.isEmpty()
                ? LibraryModel::noLaunchLogMessage()
                : u"Quillmere couldn't read the launch log “"_s + path + u"”: "_s + whyNot + u'.');
        return failure;
    }
    // In pieces: a chatty game can leave a large log.
    while (!log->atEnd()) {
        const QByteArray piece = log->read(1 << 16);
        std::fwrite(piece.constData(), 1, static_cast<size_t>(piece.size()), stdout);
    }
    std::fflush(stdout);
    return success;
}

bool isEntryCommand(const QString &command)
{
    return command == u"launch"_s || command == u"stop"_s || command == u"log"_s
        || command == u"show"_s || command == u"shortcut"_s;
}

} // namespace

bool CliCommands::isLibraryCommand(const QString &command)
{
    return command == u"list"_s || command == u"run"_s || isEntryCommand(command);
}

QCoro::Task<int> CliCommands::library(
    QString command, QStringList rest, LibraryContext context, Cli::MenuLaunch menu)
{
    if (command == u"run"_s) {
        if (rest.size() != 1)
            co_return usageFailure(
                u"“run” takes one Windows program: the path of its .exe file."_s);
        LibraryModel model(context);
        SteamShortcuts(model).removeUninstalledSteamGameShortcuts(SteamGameCatalog::games());
        auto running = runExecutable(model, context, rest.first());
        co_return co_await std::move(running);
    }
    const bool takesOptions
        = command == u"show"_s || command == u"launch"_s || command == u"shortcut"_s;
    if (takesOptions ? rest.isEmpty() : isEntryCommand(command) && rest.size() != 1)
        co_return usageFailure(
            u"“"_s + command + u"” takes one library entry: its id or its name."_s);

    LibraryModel model(context);
    if (command == u"list"_s)
        co_return list(model, rest);
    // Looking at the library never changes it; launching and stopping may.
    if (command == u"launch"_s || command == u"stop"_s)
        SteamShortcuts(model).removeUninstalledSteamGameShortcuts(SteamGameCatalog::games());

    // A menu entry's launch has no terminal to print to.
    const bool fromMenu
        = command == u"launch"_s && rest.mid(1) == QStringList {u"--through-window"_s};
    const auto tellMenu = [&](const QString &why) {
        if (fromMenu && menu.tellFailure)
            menu.tellFailure(u"Quillmere couldn’t launch a program"_s, why);
    };
    if (reportLoadError(model)) {
        tellMenu(model.errorMessage());
        co_return failure;
    }
    QString problem;
    const GameEntry *found = findEntry(model, rest.first(), problem);
    if (!found) {
        printError(problem);
        tellMenu(problem);
        co_return failure;
    }
    const GameEntry entry = *found;
    if (command == u"launch"_s) {
        auto launching = rest.size() == 1 ? launch(model, entry)
                                          : launchThroughWindow(model, entry, rest.mid(1), menu);
        co_return co_await std::move(launching);
    }
    if (command == u"shortcut"_s)
        co_return shortcut(model, entry, rest.mid(1));
    if (command == u"stop"_s) {
        auto stopping = stop(model, entry);
        co_return co_await std::move(stopping);
    }
    if (command == u"show"_s)
        co_return show(model, entry, rest.mid(1));
    co_return printLog(model, entry);
}
