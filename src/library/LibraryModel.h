#pragma once

#include "library/GameEntry.h"
#include "library/MenuShortcuts.h"
#include "library/Outcome.h"
#include "library/PlayTimes.h"
#include "library/WineRuntime.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class DesktopServices;
class DirectLaunch;
class LaunchSessions;
class PlayTracker;
class PrefixStorage;
class LibraryList;
class UserDefaults;

// Where the library keeps its files and whom it asks for desktop actions and preferences.
// Tests point these at temporary folders and recording services.
struct LibraryContext
{
    QString dataFolder; // the application data folder
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<DesktopServices> desktop; // may be null where there is no desktop (CLI)
    // The window's: saves run in turn on a worker thread, since one can wait seconds for another
    // process's lock and take a while on a large library. Commands save before they return.
    bool saveInBackground = false;
    // How long a stop waits for `wineserver -k` before it gives up.
    std::chrono::milliseconds stopTimeLimit = WineRuntime::stopTimeLimit;
    // How often the window looks whether the entries' prefixes run programs; zero: not on its
    // own (the command line looks once).
    std::chrono::milliseconds prefixWatchInterval {0};
    // Where the entries' applications-menu shortcuts go; off unless set.
    MenuShortcuts shortcuts {{}, {}};

    // The user's real application data folder and preferences.
    static LibraryContext system(std::shared_ptr<DesktopServices> desktop);
};

// The library as the window and the command line see it: the user's list (`LibraryList`), the
// Wine sessions started from it (`LaunchSessions`) and direct runs (`DirectLaunch`), with the
// selection and the message slots that present their outcomes. Lives on the GUI thread; every
// change to the list is written to "library.json" at once.
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

    LibraryList &list() { return *m_list; }
    LaunchSessions &sessions() { return *m_sessions; }
    DirectLaunch &directLaunch() { return *m_direct; }
    PlayTracker &playTracker() { return *m_play; }
    // How long the entry has been played and when last; all zero when never.
    PlayRecord playRecord(const QUuid &id) const;
    const QList<GameEntry> &entries() const;
    const GameEntry *entry(const QUuid &id) const;
    QUuid selectedID() const { return m_selectedID; } // null: nothing selected
    void setSelectedID(const QUuid &id);
    const QSet<QUuid> &runningIDs() const;
    bool isRunning(const QUuid &id) const { return runningIDs().contains(id); }
    // Not while its own launcher runs; while only its prefix does, when other entries share that
    // prefix (a game beside a running Steam client).
    bool isLaunchable(const QUuid &id) const;
    // The prefix's disk use once measured; `measurePrefix` asks for it (on a worker).
    std::optional<qint64> prefixBytes(const GameEntry &entry) const;
    void measurePrefix(const GameEntry &entry);
    // A direct run's own prefix that no other entry uses: it may go with its entry.
    bool canDeletePrefix(const GameEntry &entry) const;
    // Removes the entry and deletes its prefix; refused while it runs or for another prefix.
    void removeWithPrefix(const GameEntry &entry);
    // Each entry's prefix folder, by id.
    QHash<QUuid, QString> prefixes() const;
    QString preparingExecutable() const;

    // The message slots; empty means none. Views clear them once the user has seen them.
    QString notice() const { return m_notice; }
    void setNotice(const QString &notice);
    QString errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const QString &message);
    // Puts an outcome in its slot; returns whether it was not an error.
    bool present(const Outcome &outcome);

    // A refusal is returned and shown; a failed save is shown when it happens.
    Outcome add(const GameEntry &entry);
    Outcome update(const GameEntry &entry);
    Outcome remove(const GameEntry &entry);
    // Several at once; running ones too (the caller decides).
    void removeAll(const QSet<QUuid> &ids);

    Outcome launch(const GameEntry &entry);
    // Runs `wineserver -k` for the entry's prefix away from the GUI thread; the outcome arrives
    // in `notice` or `errorMessage`, followed by `stopFinished`.
    void stop(const GameEntry &entry);
    Outcome openLog(const GameEntry &entry);

    // Direct launch: reuses the entry that runs this file, or prepares a new "Direct-" prefix
    // (away from the GUI thread), adds an entry and launches it; the outcome is shown, and what
    // is decided at once is also returned (quiet while the prefix is prepared).
    Outcome launchExecutable(const QString &path, const WineBinaries &wine);

    QString logPath(const GameEntry &entry) const;
    QString libraryPath() const;
    // Shows changes other processes make to the library file within a moment (the window).
    void followFileChanges();
    QString dataFolder() const { return m_context.dataFolder; }
    const MenuShortcuts &shortcuts() const { return m_context.shortcuts; }
    // Brings the entries' applications-menu shortcuts in line with the list, on a worker: the
    // window at its start, then after every change of the list.
    void followShortcuts();
    UserDefaults &defaults() const { return *m_context.defaults; }

    static QString noLaunchLogMessage();

Q_SIGNALS:
    void entriesChanged();
    void selectedIDChanged();
    void runningIDsChanged();
    void playRecordsChanged();
    void prefixSizesChanged();
    void preparingExecutableChanged();
    void noticeChanged();
    void errorMessageChanged();
    void stopFinished(const QUuid &id);
    // The Wine launcher of a launch has exited with `status` (its `notice` is already set).
    void launcherExited(const QUuid &id, int status);

private:
    void keepSelection();
    void watchPrefixes();

    LibraryContext m_context;
    LibraryList *m_list;
    LaunchSessions *m_sessions;
    PlayTracker *m_play;
    PrefixStorage *m_storage;
    QSet<QUuid> m_wasRunning;
    bool m_followingShortcuts = false;
    bool m_shortcutsStale = false;
    DirectLaunch *m_direct;
    QUuid m_selectedID;
    QString m_notice;
    QString m_errorMessage;
};
