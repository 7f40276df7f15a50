#pragma once

#include "library/DetectedWineRuntime.h"
#include "library/GameEntry.h"
#include "library/LibraryStore.h"
#include "library/WineRuntime.h"
#include "profiles/GameCompatibilityProfile.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class DesktopServices;
class QFileSystemWatcher;
class UserDefaults;

// Where the library keeps its files and whom it asks for desktop actions and preferences.
// Tests point these at temporary folders and recording services.
struct LibraryContext
{
    QString dataFolder; // the application data folder
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<DesktopServices> desktop; // may be null where there is no desktop (CLI)
    // The game profiles in use; empty: the included catalogue.
    std::function<QList<GameCompatibilityProfile>()> catalog;
    // For commands that only look: nothing is written, and no clean-up runs at start.
    bool readOnly = false;
    // The window's: saves run in turn on a worker thread, since one can wait seconds for another
    // process's lock and take a while on a large library. Commands save before they return.
    bool saveInBackground = false;
    // How long a stop waits for `wineserver -k` before it gives up.
    std::chrono::milliseconds stopTimeLimit = WineRuntime::stopTimeLimit;

    // The user's real application data folder and preferences.
    static LibraryContext system(std::shared_ptr<DesktopServices> desktop);
};

// The user's library of Windows programs, its file, and the Wine sessions started from it.
// Lives on the GUI thread; every change to the list is written to "library.json" at once.
class LibraryModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<GameEntry> entries READ entries NOTIFY entriesChanged)
    Q_PROPERTY(QUuid selectedID READ selectedID WRITE setSelectedID NOTIFY selectedIDChanged)
    Q_PROPERTY(QSet<QUuid> runningIDs READ runningIDs NOTIFY runningIDsChanged)
    Q_PROPERTY(
        QString preparingExecutable READ preparingExecutable NOTIFY preparingExecutableChanged)
    Q_PROPERTY(QString notice READ notice WRITE setNotice NOTIFY noticeChanged)
    Q_PROPERTY(
        QString errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)

public:
    explicit LibraryModel(LibraryContext context, QObject *parent = nullptr);
    ~LibraryModel() override;

    const QList<GameEntry> &entries() const { return m_entries; }
    const GameEntry *entry(const QUuid &id) const;
    QUuid selectedID() const { return m_selectedID; } // null: nothing selected
    void setSelectedID(const QUuid &id);
    const QSet<QUuid> &runningIDs() const { return m_runningIDs; }
    bool isRunning(const QUuid &id) const { return m_runningIDs.contains(id); }
    QString preparingExecutable() const { return m_preparingExecutable; }

    // The message slots; empty means none. Views clear them once the user has seen them.
    QString notice() const { return m_notice; }
    void setNotice(const QString &notice);
    QString errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const QString &message);

    void add(const GameEntry &entry);
    void update(const GameEntry &entry);
    void remove(const GameEntry &entry);

    void launch(const GameEntry &entry);
    // Runs `wineserver -k` for the entry's prefix away from the GUI thread; the outcome arrives
    // in `notice` or `errorMessage`, followed by `stopFinished`.
    void stop(const GameEntry &entry);
    void openLog(const GameEntry &entry);

    // Direct launch: reuses the entry that runs this file, or prepares a new "Direct-" prefix
    // with `runtime` (away from the GUI thread), adds an entry and launches it. Files that need
    // a prefix while another is prepared wait their turn, each once.
    void launchExecutable(const QString &path, const DetectedWineRuntime &runtime);

    // Steam game shortcuts.
    std::optional<GameEntry> steamEntry() const;
    std::optional<GameEntry> steamGameEntry(const GameCompatibilityProfile &profile) const;
    bool isSteamGameInstalled(const GameCompatibilityProfile &profile) const;
    bool isSteamGamePendingInstall(const GameCompatibilityProfile &profile) const;
    void openSteamGamePage(const GameCompatibilityProfile &profile);
    void addSteamGameShortcut(const GameCompatibilityProfile &profile);
    void refreshPendingSteamGameInstalls(const QList<GameCompatibilityProfile> &profiles);
    void refreshGameProfiles(const QList<GameCompatibilityProfile> &profiles);
    QStringList pendingSteamGameIDs() const; // sorted
    static constexpr char pendingSteamGamesKey[] = "Quillmere.pendingSteamGameInstalls";

    QString logURL(const GameEntry &entry) const;
    QString libraryURL() const;
    // Shows changes other processes make to the library file within a moment (the window).
    void followFileChanges();
    QString dataFolder() const { return m_context.dataFolder; }

    static QString noLaunchLogMessage();

Q_SIGNALS:
    void entriesChanged();
    void selectedIDChanged();
    void runningIDsChanged();
    void preparingExecutableChanged();
    void noticeChanged();
    void errorMessageChanged();
    void stopFinished(const QUuid &id);
    // The Wine launcher of a launch has exited with `status` (its `notice` is already set).
    void launcherExited(const QUuid &id, int status);

private:
    void load();
    // Saves the changes to the file as it is now (see LibraryStore) and takes on whatever other
    // processes changed meanwhile.
    void commit(const QList<LibraryChange> &changes);
    // The same, telling `done` (on this thread) once the changes are on disk or why they aren't.
    using SaveDone = std::function<void(const Expected<void, QString> &)>;
    void save(const QList<LibraryChange> &changes, SaveDone done);
    void startBackgroundSave();
    void saved(const Expected<LibraryStore::Applied, QString> &applied, qsizetype changeCount,
        const QList<SaveDone> &done);
    void adopt(const QList<GameEntry> &onDisk);
    void reloadIfChanged();
    static QString readFailureMessage(const LibraryStore::ReadFailure &failure);
    void processFinished(const QUuid &id, int status);
    void setPreparingExecutable(const QString &name);
    void endPreparation();
    void updatePendingSteamGameIDs(const std::function<void(QSet<QString> &)> &change);
    void removeUninstalledSteamGameShortcuts();
    // The Steam entry a game's action runs through; without one, the reason is on show.
    std::optional<GameEntry> steamForGame(
        const GameCompatibilityProfile &profile, const QString &withoutSteam);
    GameEntry makeSteamShortcut(
        const GameEntry &steam, const GameCompatibilityProfile &profile) const;
    QList<GameCompatibilityProfile> catalog() const;

    LibraryContext m_context;
    QList<GameEntry> m_entries;
    QUuid m_selectedID;
    QSet<QUuid> m_runningIDs;
    QString m_preparingExecutable;
    // The direct launches that need a prefix: the one being prepared first, then those waiting.
    QList<std::pair<QString, DetectedWineRuntime>> m_directLaunches;
    QString m_notice;
    QString m_errorMessage;
    QHash<QUuid, ProcessHandle> m_processes;
    // The store is used by one thread at a time: the writer while a save runs, else this one.
    std::shared_ptr<LibraryStore> m_store;
    std::shared_ptr<std::mutex> m_storeInUse = std::make_shared<std::mutex>();
    QList<LibraryChange> m_pending; // changes not saved yet, in order
    QList<SaveDone> m_waitingForSave; // callers whose changes the next save carries
    bool m_isSaving = false; // a background save is running
    bool m_reloadAfterSave = false;
    QFileSystemWatcher *m_watcher = nullptr;
};
