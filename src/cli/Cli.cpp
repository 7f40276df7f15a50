#include "Cli.h"

#include "games/SteamLibraryReport.h"
#include "games/SteamShortcuts.h"
#include "library/LaunchSessions.h"
#include "library/LibraryFile.h"
#include "library/LibraryModel.h"
#include "platform/LaunchLog.h"
#include "profiles/GameProfileCatalogStore.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameCatalog.h"
#include "setup/MachineProbe.h"
#include "setup/RuntimeDiscovery.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

enum ExitCode { success = 0, failure = 1, usageError = 2 };

void write(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Names, paths and catalogue texts are data: a terminal must never receive an escape sequence
// from them. Control characters show as \e, \r, \xNN; line breaks and tabs stay only where a
// message is meant to span lines.
QString printable(const QString &text, bool keepLineBreaks)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        // Bidirectional overrides, embeddings, isolates and marks, and the Unicode line and
        // paragraph separators, would let a name show as something else ("exe.jpg").
        const bool reorders = (code >= 0x202a && code <= 0x202e)
            || (code >= 0x2066 && code <= 0x2069) || code == 0x200e || code == 0x200f
            || code == 0x061c || code == 0x2028 || code == 0x2029;
        const bool control = code < 0x20 || (code >= 0x7f && code <= 0x9f) || reorders;
        if (!control || (keepLineBreaks && (code == u'\n' || code == u'\t')))
            out += c;
        else if (code == 0x1b)
            out += u"\\e"_s;
        else if (code == u'\n')
            out += u"\\n"_s;
        else if (code == u'\r')
            out += u"\\r"_s;
        else if (code == u'\t')
            out += u"\\t"_s;
        else if (reorders)
            out += u"\\u"_s + QString::number(code, 16);
        else
            out += u"\\x"_s + QString::number(code, 16).rightJustified(2, u'0');
    }
    return out;
}

// A message for people, possibly of several lines.
void printLine(const QString &text)
{
    write(stdout, printable(text, true).toUtf8() + '\n');
}

void printError(const QString &text)
{
    write(stderr, printable(text, true).toUtf8() + '\n');
}

// One line of a listing: whatever the data holds, it stays one line.
void printRow(const QString &text)
{
    write(stdout, printable(text, false).toUtf8() + '\n');
}

// JSON escapes what it must itself; scripts get the exact texts.
void printJson(const QByteArray &json)
{
    write(stdout, json);
    write(stdout, "\n");
}

// Element by element: a long list is never held a second time as one block of text.
template <typename List, typename Encode> void printJsonArray(const List &items, Encode encode)
{
    std::fputc('[', stdout);
    bool first = true;
    for (const auto &item : items) {
        const QByteArray text = encode(item);
        if (!first)
            std::fputc(',', stdout);
        first = false;
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    }
    write(stdout, "]\n");
}

int usageFailure(const QString &problem)
{
    printError(problem);
    printError(u"Run “quillmere help” for the list of commands."_s);
    return usageError;
}

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

// The model's load error, if any, goes to standard error before anything else.
bool reportLoadError(const LibraryModel &model)
{
    if (model.errorMessage().isEmpty())
        return false;
    printError(model.errorMessage());
    return true;
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
        for (const GameEntry &entry : model.entries())
            printRow(entry.idString() + u"  "_s + entry.name);
    }
    return success;
}

QByteArray jsonString(const QString &text)
{
    return QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

int runtimes(const LibraryContext &context, const QStringList &options)
{
    if (options.size() > 1 || (options.size() == 1 && options.first() != u"--json"_s))
        return usageFailure(u"“runtimes” takes only the option --json."_s);
    const QList<DetectedWineRuntime> found
        = RuntimeDiscovery::findRuntimes(DiscoveryPlaces::standard(context.dataFolder));
    if (!options.isEmpty()) {
        // Written by hand to keep the documented key order.
        QByteArray out = "[";
        for (const DetectedWineRuntime &runtime : found) {
            if (out.size() > 1)
                out += ',';
            out += "{\"name\":" + jsonString(runtime.name)
                + ",\"winePath\":" + jsonString(runtime.winePath)
                + ",\"wineServerPath\":" + jsonString(runtime.wineServerPath);
            if (runtime.bundlePath)
                out += ",\"bundlePath\":" + jsonString(*runtime.bundlePath);
            out += '}';
        }
        out += ']';
        printJson(out);
        return success;
    }
    if (found.isEmpty())
        printLine(u"No Wine runtime was found."_s);
    for (qsizetype i = 0; i < found.size(); ++i) {
        printRow(found.at(i).name + u": "_s + found.at(i).winePath
            + (i == 0 ? u" (default)"_s : QString()));
    }
    return success;
}

QByteArray steamJson(const SteamLibraryReport &report)
{
    const auto flag = [](bool on) { return on ? QByteArray("true") : QByteArray("false"); };
    QByteArray out = "{\"steamEntry\":";
    if (report.steam) {
        out += "{\"id\":" + jsonString(report.steam->idString())
            + ",\"name\":" + jsonString(report.steam->name)
            + ",\"prefixPath\":" + jsonString(report.steam->prefixPath) + '}';
    } else {
        out += "null";
    }
    out += ",\"folderListReadable\":" + flag(report.isListReadable) + ",\"libraryFolders\":[";
    for (const SteamLibraryFolders::Folder &folder : report.folders) {
        out += (out.endsWith('[') ? "" : ",") + QByteArray("{\"windowsPath\":")
            + jsonString(folder.windowsPath) + ",\"path\":"
            + (folder.steamApps.isEmpty() ? QByteArray("null") : jsonString(folder.steamApps))
            + ",\"readable\":" + flag(folder.isReadable) + '}';
    }
    out += "],\"games\":[";
    for (const SteamLibraryReport::Game &game : report.games) {
        out += (out.endsWith('[') ? "" : ",") + QByteArray("{\"appID\":")
            + jsonString(game.manifest.appID)
            + ",\"name\":" + (game.name.isEmpty() ? QByteArray("null") : jsonString(game.name))
            + ",\"state\":" + jsonString(SteamLibraryReport::stateKey(game.manifest.state))
            + ",\"libraryFolder\":" + jsonString(game.manifest.steamApps)
            + ",\"hasShortcut\":" + flag(game.hasShortcut) + '}';
    }
    return out + "]}";
}

int steam(const LibraryContext &context, const QStringList &options)
{
    if (options.size() > 1 || (options.size() == 1 && options.first() != u"--json"_s))
        return usageFailure(u"“steam” takes only the option --json."_s);
    LibraryModel model(context);
    if (reportLoadError(model))
        return failure;
    const SteamLibraryReport report
        = SteamLibraryReport::of(SteamShortcuts(model), SteamGameCatalog::games());
    if (!options.isEmpty()) {
        printJson(steamJson(report));
        return success;
    }
    if (!report.steam) {
        printLine(u"The library has no Steam entry. Install Steam from Wine Setup to add one."_s);
        return success;
    }
    printRow(u"Steam  "_s + report.steam->idString() + u"  "_s + report.steam->name);
    if (!report.isListReadable)
        printLine(u"Steam’s list of library folders couldn’t be read whole, so no shortcut is "
                  u"removed for now."_s);
    for (const SteamLibraryFolders::Folder &folder : report.folders) {
        printRow(u"Folder  "_s + folder.windowsPath + u"  →  "_s
            + (folder.steamApps.isEmpty()
                    ? u"(not a place on this machine)"_s
                    : folder.steamApps + (folder.isReadable ? QString() : u"  (can’t be read)"_s)));
    }
    for (const SteamLibraryReport::Game &game : report.games) {
        const QString state = SteamLibraryReport::stateKey(game.manifest.state);
        printRow(u"Game  "_s + game.manifest.appID + u"  "_s
            + (game.name.isEmpty() ? u"(no name)"_s : game.name) + u"  "_s
            + (state == u"notInstalled" ? u"not installed"_s : state)
            + (game.hasShortcut ? u"  shortcut"_s : u"  no shortcut"_s));
    }
    return success;
}

// By value: the id must outlive its place in the running set, which the exit removes.
int waitForLauncher(LibraryModel &model, QUuid id);

int runExecutable(LibraryModel &model, const LibraryContext &context, const QString &file)
{
    if (reportLoadError(model))
        return failure;
    const SetupContext setup = SetupContext::standard(context.defaults, context.desktop);
    const MachineProbe machine
        = MachineProbe::of(setup); // one look serves the answer and its reason
    const auto runtime = machine.readyRuntime(setup);
    if (!runtime) {
        printError(machine.notReadyReason(setup));
        return failure;
    }
    model.setNotice({});
    model.setErrorMessage({});
    model.launchExecutable(file, runtime->binaries());
    if (!model.preparingExecutable().isEmpty()) {
        printLine(u"Preparing a new Wine prefix for "_s + model.preparingExecutable() + u"…"_s);
        QEventLoop loop;
        QObject::connect(
            &model, &LibraryModel::preparingExecutableChanged, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!model.errorMessage().isEmpty() || model.runningIDs().isEmpty()) {
        printError(model.errorMessage());
        return failure;
    }
    printLine(model.notice());
    return waitForLauncher(model, *model.runningIDs().cbegin());
}

QString profileLine(const GameCompatibilityProfile &profile)
{
    QStringList stores;
    for (GameStorefront storefront : profile.storefronts)
        stores << Storefronts::displayName(storefront);
    return profile.id + u"  "_s + profile.name + u" ("_s + profile.edition + u"; "_s
        + stores.join(u", "_s) + (profile.appID ? u"; Steam app "_s + *profile.appID : QString())
        + u')';
}

int profiles(const QStringList &options, const WebAccess &web)
{
    bool json = false;
    QString search;
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options.at(i) == u"--json") {
            json = true;
        } else if (options.at(i) == u"--search" && i + 1 < options.size()) {
            search = options.at(++i);
        } else {
            return usageFailure(u"“profiles” takes the options --json and --search TEXT."_s);
        }
    }
    GameProfileCatalogStore store(web);
    QCoro::waitFor(store.load());
    const QList<GameCompatibilityProfile> shown
        = GameProfileSearch::matchingGames(store.games(), search);
    // The status goes to standard error so that standard output stays one JSON document.
    printError(store.statusLine());
    if (json) {
        printJsonArray(shown, [](const GameCompatibilityProfile &profile) {
            return QJsonDocument(profile.toJson()).toJson(QJsonDocument::Compact);
        });
    } else {
        for (const GameCompatibilityProfile &profile : shown)
            printRow(profileLine(profile));
    }
    return success;
}

int launch(LibraryModel &model, const GameEntry &entry)
{
    const Outcome started = model.sessions().launch(entry);
    if (started.failed()) {
        printError(started.message);
        return failure;
    }
    printLine(started.message);
    return waitForLauncher(model, entry.id);
}

int waitForLauncher(LibraryModel &model, QUuid id)
{
    int status = 0;
    QEventLoop loop;
    QObject::connect(
        &model, &LibraryModel::launcherExited, &loop, [&](const QUuid &exited, int code) {
            if (exited != id)
                return;
            status = code;
            loop.quit();
        });
    if (model.isRunning(id))
        loop.exec();
    printLine(model.notice());
    // A launcher that fails is a failed launch, even though the notice is not an error.
    return status == 0 ? success : failure;
}

int stop(LibraryModel &model, const GameEntry &entry)
{
    Outcome stopped;
    QEventLoop loop;
    QObject::connect(&model.sessions(), &LaunchSessions::stopFinished, &loop,
        [&](const QUuid &, const Outcome &outcome) {
            stopped = outcome;
            loop.quit();
        });
    model.stop(entry);
    loop.exec();
    if (stopped.failed()) {
        printError(stopped.message);
        return failure;
    }
    printLine(stopped.message);
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

} // namespace

QString Cli::usage()
{
    return u"Usage: quillmere COMMAND [ARGUMENTS]\n"
           "\n"
           "Quillmere keeps a library of Windows programs and runs them through Wine.\n"
           "\n"
           "Commands:\n"
           "  list [--json]    the library, in order\n"
           "  launch ENTRY     launch an entry by id or exact name; waits for the launcher to "
           "exit\n"
           "  stop ENTRY       ask the entry's wineserver to stop every program of its prefix\n"
           "  log ENTRY        print the entry's latest launch log\n"
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
    static const QStringList commands = {u"list"_s, u"launch"_s, u"stop"_s, u"log"_s, u"runtimes"_s,
        u"run"_s, u"profiles"_s, u"steam"_s, u"help"_s};
    if (commands.contains(argument) || argument.startsWith(u'-'))
        return false;
    return QFileInfo::exists(argument) || argument.contains(u'/')
        || argument.endsWith(u".exe"_s, Qt::CaseInsensitive);
}

int Cli::run(const QStringList &arguments, const LibraryContext &context, const WebAccess &web)
{
    if (arguments.isEmpty() || arguments.first() == u"help"_s || arguments.first() == u"--help"_s
        || arguments.first() == u"-h"_s) {
        printLine(usage());
        return success;
    }
    const QString &command = arguments.first();
    const QStringList rest = arguments.mid(1);
    const QStringList entryCommands = {u"launch"_s, u"stop"_s, u"log"_s};
    if (command == u"runtimes"_s)
        return runtimes(context, rest);
    if (command == u"profiles"_s)
        return profiles(rest, web);
    if (command == u"steam"_s)
        return steam(context, rest);
    if (command == u"run"_s) {
        if (rest.size() != 1)
            return usageFailure(u"“run” takes one Windows program: the path of its .exe file."_s);
        LibraryModel model(context);
        SteamShortcuts(model).removeUninstalledSteamGameShortcuts(SteamGameCatalog::games());
        return runExecutable(model, context, rest.first());
    }
    if (command != u"list"_s && !entryCommands.contains(command))
        return usageFailure(u"Quillmere has no command “"_s + command + u"”."_s);
    if (entryCommands.contains(command) && rest.size() != 1)
        return usageFailure(u"“"_s + command + u"” takes one library entry: its id or its name."_s);

    LibraryModel model(context);
    if (command == u"list"_s)
        return list(model, rest);
    // Looking at the library never changes it; launching and stopping may.
    if (command != u"log"_s)
        SteamShortcuts(model).removeUninstalledSteamGameShortcuts(SteamGameCatalog::games());

    if (reportLoadError(model))
        return failure;
    QString problem;
    const GameEntry *found = findEntry(model, rest.first(), problem);
    if (!found) {
        printError(problem);
        return failure;
    }
    const GameEntry entry = *found;
    if (command == u"launch"_s)
        return launch(model, entry);
    if (command == u"stop"_s)
        return stop(model, entry);
    return printLog(model, entry);
}
