#pragma once

#include <QCoroTask>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>

struct LibraryContext;
struct WebAccess;

// The command line over the same models the window uses. A command finishes with the process exit
// code: 0 on success, 1 when the model reported an error, 2 on a usage error. Commands that wait
// (for a prefix, a launcher, a stop, the catalogue) suspend inside the application's own event
// loop, so nothing they wait for runs inside a loop of their own.
namespace Cli {

// What a launch from the applications menu needs of the desktop session.
struct MenuLaunch
{
    // Asks an open window to launch an entry: nothing when no window is open, else the sentence
    // why it did not (empty: it launched it).
    std::function<QCoro::Task<std::optional<QString>>(const QUuid &id)> askWindow;
    // Tells the user, who has no terminal, why nothing started: a summary and its sentence.
    std::function<void(const QString &summary, const QString &sentence)> tellFailure;
};

// By value: the command outlives the call while it waits.
QCoro::Task<int> run(
    QStringList arguments, LibraryContext context, WebAccess web, MenuLaunch menu = {});
QString usage();

// Whether these arguments ask for the window rather than a command: none at all, or one path
// of a file to run (an existing file, a path with a folder, or a name ending in ".exe").
bool opensWindow(const QStringList &arguments);

} // namespace Cli
