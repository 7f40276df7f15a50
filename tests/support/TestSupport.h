#pragma once

#include "library/GameEntry.h"
#include "library/LibraryModel.h"
#include "library/WineRuntime.h"
#include "profiles/GameCompatibilityProfile.h"
#include "support/RecordingDesktopServices.h"

// The Qt parts nearly every test uses, in one place.
#include <QByteArray>
#include <QCoroTask>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace TestSupport {

// The error text of a failed result, for test failure messages; empty when it succeeded.
template <class R> QByteArray failureText(const R &result)
{
    if (result.hasValue())
        return {};
    if constexpr (std::is_same_v<std::decay_t<decltype(result.error())>, QString>)
        return result.error().toUtf8();
    else
        return result.error().description().toUtf8();
}

QString fakeWine();
QString fakeWineServer();

QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);
// Everything in a folder, hidden items too, by name: what a step left behind.
QStringList items(const QString &folder);
// The names of the entries in the library file at `path`, in order; for a file that can't be
// read, one line saying why.
QStringList savedNames(const QString &path);

// A built-in profile by id.
GameCompatibilityProfile catalogProfile(const QString &id);

// An app manifest as Steam writes it; a null `bytes` leaves out the download count.
QString steamManifest(const QString &appID, const QString &flags, const QString &folder,
    const QString &bytes = QStringLiteral("0"));
// Steam's library folder inside the client's prefix.
QString steamApps(const GameEntry &steam);
// What Steam leaves behind once a game has installed: its manifest (a complete one unless
// given) and the game's program in "common/Game<app ID>".
void installSteamGame(const GameEntry &steam, const QString &appID, const QString &manifest = {});
// The same in another library folder's "steamapps".
void installSteamGameIn(const QString &apps, const QString &appID, const QString &manifest = {});
// Steam's "libraryfolders.vdf" naming these Windows folders, its own first.
QByteArray steamLibraryList(const QStringList &windowsPaths);
// A second library folder "D:\SteamLibrary": the prefix's drive D: links to `drive`, and
// Steam's list names it. Returns the folder's "steamapps".
QString addSteamLibraryOnDriveD(const GameEntry &steam, const QString &drive);

// A named child of a window or sheet; a missing one stops the test with its name, not a crash.
template <class T> T *child(const QObject &parent, const QString &name)
{
    T *found = parent.findChild<T *>(name);
    if (!found)
        qFatal("no child named %s", qPrintable(name));
    return found;
}

// What the fake wine or wineserver recorded for a call ("wine", "wineboot", "wineserver-k", ...).
QStringList recordedArguments(const QString &recordDir, const QString &call);
Environment recordedEnvironment(const QString &recordDir, const QString &call);
QString recordedWorkingFolder(const QString &recordDir, const QString &call);

class Sandbox;

// The real executable, with its data and settings under the sandbox (its data folder is the
// sandbox's "Quillmere") and every web address on loopback; `extra` adds to its environment.
std::unique_ptr<QProcess> startQuillmere(const Sandbox &sandbox, const QStringList &arguments,
    const QProcessEnvironment &extra = {}, const QString &folder = {});
// Waits with the event loop turning, so that a server or a window in this process can answer.
bool finishes(QProcess &process, int timeout = 20000);

// A temporary world: an application data folder, preferences, a recording desktop, and a
// ready entry (an executable file, an initialised prefix, the fake Wine pair).
class Sandbox
{
public:
    Sandbox();

    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const;
    QString dataFolder() const { return path(QStringLiteral("data")); }
    QString recordDir() const { return path(QStringLiteral("record")); }
    LibraryContext context() const;
    std::unique_ptr<LibraryModel> model() const;

    // An entry that passes validation; `name` also names its executable and prefix folders.
    GameEntry readyEntry(const QString &name = QStringLiteral("Game")) const;
    // The Steam client in its own prefix, run by the fake Wine; in no library yet.
    GameEntry steamEntry() const;

    std::shared_ptr<RecordingDesktopServices> desktop
        = std::make_shared<RecordingDesktopServices>();

private:
    QTemporaryDir m_dir;
};

} // namespace TestSupport

// Runs the event loop until the task has finished and returns its result.
template <class T> T awaitTask(QCoro::Task<T> &&task)
{
    std::optional<T> result;
    QEventLoop loop;
    auto wrapper
        = [](QCoro::Task<T> inner, std::optional<T> &out, QEventLoop &done) -> QCoro::Task<> {
        out.emplace(co_await std::move(inner));
        done.quit();
    };
    auto running = wrapper(std::move(task), result, loop);
    if (!result)
        loop.exec();
    return std::move(*result);
}

// Verifies that a result holds a value, printing its error otherwise.
#define QVERIFY_OK(result)                                                                         \
    QVERIFY2((result).hasValue(), TestSupport::failureText(result).constData())
