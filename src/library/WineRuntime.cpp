#include "WineRuntime.h"

#include "library/PrefixTemplates.h"
#include "platform/LaunchLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

using namespace Qt::StringLiterals;

namespace {

// Inherited variables that would point Wine, the dynamic loader or the graphics layers at
// something other than what the entry says.
const QStringList filteredPrefixes = {
    u"WINE"_s,
    u"WINEDLL"_s,
    u"DYLD_"_s,
    u"ROSETTA_"_s,
    u"MTL_"_s,
    u"D3DM_"_s,
    u"DXMT_"_s,
    u"GST_"_s,
    u"AOELAB_"_s,
    u"SDL_"_s,
    u"MVK_"_s,
};

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

bool isReadableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

void setEntryPaths(Environment &environment, const GameEntry &entry)
{
    environment.insert(u"WINEPREFIX"_s, WineRuntime::absolutePath(entry.prefixPath));
    environment.insert(u"WINELOADER"_s, WineRuntime::absolutePath(entry.winePath));
    environment.insert(u"WINESERVER"_s, WineRuntime::absolutePath(entry.wineServerPath));
}

Result<void> makeFolder(const QString &path)
{
    if (QDir().mkpath(path))
        return {};
    return unexpected(QuillmereError::system(u"Quillmere couldn't create the folder “"_s + path
        + u"”. Check that the disk is writable."_s));
}

// Long enough for the log keeper to write what a launcher printed just before it exited.
constexpr std::chrono::milliseconds logSettleLimit {2000};

Result<std::shared_ptr<LaunchLog>> freshLog(const QString &logPath)
{
    if (auto made = makeFolder(QFileInfo(logPath).absolutePath()); !made)
        return unexpected(made.error());
    auto log = LaunchLog::create(logPath);
    if (!log)
        return unexpected(QuillmereError::system(log.error()));
    return *log;
}

Result<ProcessHandle> launch(
    const ChildProcess::Command &command, ChildProcess::Termination onTermination = {})
{
    auto process = ChildProcess::launch(command, std::move(onTermination));
    if (!process)
        return unexpected(QuillmereError::system(process.error()));
    return *process;
}

} // namespace

QString WineRuntime::absolutePath(const QString &path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

bool WineRuntime::isInitializedPrefix(const QString &prefixPath)
{
    return QFileInfo::exists(QDir(prefixPath).filePath(u"system.reg"_s));
}

bool WineRuntime::isOccupiedFolder(const QString &path)
{
    const QDir folder(path);
    return folder.exists()
        && !folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
}

Result<void> WineRuntime::validate(const GameEntry &entry)
{
    if (!isExecutableFile(entry.winePath))
        return unexpected(QuillmereError::missingFile(entry.winePath));
    if (!isReadableFile(entry.executablePath))
        return unexpected(QuillmereError::missingFile(entry.executablePath));
    if (!isInitializedPrefix(entry.prefixPath))
        return unexpected(QuillmereError::invalidPrefix(entry.prefixPath));
    for (auto it = entry.environment.cbegin(); it != entry.environment.cend(); ++it) {
        if (!GameEntry::validEnvironmentKey(it.key()))
            return unexpected(QuillmereError::invalidEnvironment(it.key()));
    }
    return {};
}

Environment WineRuntime::processEnvironment()
{
    Environment out;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString &name : system.keys())
        out.insert(name, system.value(name));
    return out;
}

Environment WineRuntime::baseEnvironment(const GameEntry &entry)
{
    return baseEnvironment(entry, processEnvironment());
}

Environment WineRuntime::baseEnvironment(const GameEntry &entry, const Environment &inherited)
{
    Environment environment;
    for (auto it = inherited.cbegin(); it != inherited.cend(); ++it) {
        const bool filtered = std::any_of(filteredPrefixes.cbegin(), filteredPrefixes.cend(),
            [&](const QString &prefix) { return it.key().startsWith(prefix, Qt::CaseSensitive); });
        if (!filtered)
            environment.insert(it.key(), it.value());
    }
    setEntryPaths(environment, entry);
    environment.insert(u"WINEDEBUG"_s, u"-all"_s);
    for (auto it = entry.environment.cbegin(); it != entry.environment.cend(); ++it)
        environment.insert(it.key(), it.value());
    // The entry may override anything but where its prefix and binaries are.
    setEntryPaths(environment, entry);
    return environment;
}

Result<ProcessHandle> WineRuntime::start(
    const GameEntry &entry, const QString &logPath, ChildProcess::Termination onTermination)
{
    if (auto valid = validate(entry); !valid)
        return unexpected(valid.error());
    auto log = freshLog(logPath);
    if (!log)
        return unexpected(log.error());

    // The working folder changes to the executable's, so a relative path would no longer
    // name the same file; pass it made absolute.
    const QString executable = absolutePath(entry.executablePath);
    ChildProcess::Command command;
    command.program = absolutePath(entry.winePath);
    command.arguments = QStringList {executable} + entry.arguments;
    command.environment = baseEnvironment(entry);
    command.workingDirectory = QFileInfo(executable).absolutePath();
    command.outputFd = (*log)->fd();
    // The log is complete by the time anyone hears the launcher has exited.
    command.beforeExitIsKnown = [log = *log] { log->settle(logSettleLimit); };
    auto process = launch(command, std::move(onTermination));
    (*log)->closeForChildren();
    return process;
}

Result<void> WineRuntime::createPrefix(
    const GameEntry &entry, const QString &logPath, const QString &templates)
{
    if (!isExecutableFile(entry.winePath))
        return unexpected(QuillmereError::missingFile(entry.winePath));
    // Wine writes the registry only when the prefix's wineserver shuts down, so we need the
    // wineserver to wait for it; without one we could not tell success from failure.
    if (!isExecutableFile(entry.wineServerPath))
        return unexpected(QuillmereError::missingFile(entry.wineServerPath));
    if (isInitializedPrefix(entry.prefixPath))
        return unexpected(QuillmereError::alreadyInitialized(entry.prefixPath));
    if (WineRuntime::isOccupiedFolder(entry.prefixPath))
        return unexpected(QuillmereError::occupiedPrefix(entry.prefixPath));
    if (auto made = makeFolder(entry.prefixPath); !made)
        return unexpected(made.error());
    auto log = freshLog(logPath);
    if (!log)
        return unexpected(log.error());

    // An entry's own variables may change what wineboot makes (WINEARCH, say), so only entries
    // without any share their build's template.
    PrefixTemplates::WineBuild build;
    if (!templates.isEmpty() && entry.environment.isEmpty())
        build = PrefixTemplates::buildOf(entry);
    if (build.isKnown() && PrefixTemplates::copyTemplate(templates, build, entry.prefixPath)) {
        QFile out;
        if (out.open((*log)->fd(), QIODevice::WriteOnly | QIODevice::Unbuffered,
                QFileDevice::DontCloseHandle))
            out.write("Quillmere copied this prefix from its template for " + build.version.toUtf8()
                + " instead of running wineboot.\n");
        (*log)->closeForChildren();
        (*log)->settle(logSettleLimit);
        return {};
    }

    ChildProcess::Command command;
    command.program = absolutePath(entry.winePath);
    command.arguments = {u"wineboot"_s, u"--init"_s};
    command.environment = baseEnvironment(entry);
    command.workingDirectory = absolutePath(entry.prefixPath);
    command.outputFd = (*log)->fd();
    auto wineboot = launch(command);
    if (!wineboot)
        return unexpected(wineboot.error());
    const int status = (*wineboot)->waitForExit();

    if (status == 0) {
        // `wineserver -w` returns once the prefix's wineserver has exited and saved the registry.
        command.program = absolutePath(entry.wineServerPath);
        command.arguments = {u"-w"_s};
        auto wait = launch(command);
        if (!wait)
            return unexpected(wait.error());
        (*wait)->waitForExit();
    }
    (*log)->closeForChildren();
    (*log)->settle(logSettleLimit);
    if (status == 0 && isInitializedPrefix(entry.prefixPath)) {
        // Nothing has run in the prefix yet and its wineserver has exited: it is exactly what
        // any later prefix of this build would be.
        if (build.isKnown())
            PrefixTemplates::keep(templates, build, entry.prefixPath);
        return {};
    }
    return unexpected(QuillmereError::processFailed(
        u"Wine could not initialize the prefix. Open the latest log for details.\n"_s + logPath));
}

Result<int> WineRuntime::stop(const GameEntry &entry, std::chrono::milliseconds limit)
{
    if (!isExecutableFile(entry.wineServerPath))
        return unexpected(QuillmereError::missingFile(entry.wineServerPath));
    ChildProcess::Command command;
    command.program = absolutePath(entry.wineServerPath);
    command.arguments = {u"-k"_s};
    command.environment = baseEnvironment(entry);
    // Output is discarded; a pipe nobody reads could fill up and stall wineserver.
    command.outputFd = -1;
    auto process = launch(command);
    if (!process)
        return unexpected(process.error());
    if (const auto status = (*process)->waitForExit(limit))
        return *status;
    // A wineserver that hangs must not hold the stop (or a command) for ever; its watcher
    // thread reaps it once killed.
    (*process)->kill();
    return unexpected(QuillmereError::processFailed(u"Wine's wineserver didn't stop "_s + entry.name
        + u"'s prefix in time, so Quillmere stopped waiting for it."_s));
}
