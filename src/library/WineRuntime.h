#pragma once

#include "library/GameEntry.h"
#include "library/QuillmereError.h"
#include "platform/ChildProcess.h"

#include <QMap>
#include <QString>

#include <chrono>
#include <memory>

using Environment = QMap<QString, QString>;
using ProcessHandle = std::shared_ptr<ChildProcess>;

// The two programs of a Wine installation that an entry names.
struct WineBinaries
{
    QString winePath;
    QString wineServerPath;
};

// Turns a library entry into Wine processes. Holds no state and never touches the library.
namespace WineRuntime {

// Checks the wine binary, the executable, the prefix and the environment names, in that order.
Result<void> validate(const GameEntry &entry);

// The complete environment of every Wine process of the entry: ours without Wine's and the
// graphics layers' variables, the entry's paths, WINEDEBUG=-all, then the entry's overrides.
Environment baseEnvironment(const GameEntry &entry, const Environment &inherited);
Environment baseEnvironment(const GameEntry &entry);

// The variables of this process.
Environment processEnvironment();

// A path made absolute against the current folder, without a trailing slash.
QString absolutePath(const QString &path);

// Starts the executable under wine with a fresh log and returns at once. `onTermination` gets
// the launcher's exit status on a background thread.
Result<ProcessHandle> start(
    const GameEntry &entry, const QString &logPath, ChildProcess::Termination onTermination = {});

// Initialises an empty or missing prefix folder with `wine wineboot --init`, then waits for the
// prefix's wineserver to finish writing the registry. Blocks: call it away from the GUI thread.
// With a `templates` folder (PrefixTemplates), an entry without variables of its own gets a
// copy of its Wine build's template instead, and the first prefix of a build becomes one.
Result<void> createPrefix(
    const GameEntry &entry, const QString &logPath, const QString &templates = {});

// How long a stop waits for `wineserver -k`.
inline constexpr std::chrono::milliseconds stopTimeLimit {15000};

// Asks the entry's wineserver to end every program of the prefix; returns its exit status.
// Blocks until wineserver exits or `limit` passes, when it ends wineserver and fails with one
// sentence: call it away from the GUI thread.
Result<int> stop(const GameEntry &entry, std::chrono::milliseconds limit = stopTimeLimit);

bool isInitializedPrefix(const QString &prefixPath);
// A folder that exists and holds anything, hidden items included.
bool isOccupiedFolder(const QString &path);

} // namespace WineRuntime
