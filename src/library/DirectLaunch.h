#pragma once

#include "library/Outcome.h"
#include "library/WineRuntime.h"

#include <QObject>
#include <QString>
#include <QUuid>

class LaunchSessions;
class LibraryList;

// Runs a dropped or chosen Windows executable at once: through the entry that already runs it,
// or in a new "Direct-" prefix prepared away from the GUI thread, then recorded and launched.
// Files that need a prefix while another is prepared wait their turn, each once.
class DirectLaunch : public QObject
{
    Q_OBJECT
    Q_PROPERTY(
        QString preparingExecutable READ preparingExecutable NOTIFY preparingExecutableChanged)

public:
    DirectLaunch(
        QString dataFolder, LibraryList &list, LaunchSessions &sessions, QObject *parent = nullptr);

    QString preparingExecutable() const { return m_preparingExecutable; } // empty: none
    // What is decided at once (a refusal, or the launch of the entry that runs this file) is
    // returned and also sent with `finished`; quiet while a prefix is prepared or the file waits.
    Outcome launchExecutable(const QString &path, const WineBinaries &wine);

Q_SIGNALS:
    void preparingExecutableChanged();
    // A file's run is decided: `id` is the entry launched (null when none was), `outcome` what
    // to tell the user.
    void finished(const QUuid &id, const Outcome &outcome);

private:
    void prepare(const QString &executable, const WineBinaries &wine);
    void setPreparingExecutable(const QString &name);
    void endPreparation();

    QString m_dataFolder;
    LibraryList &m_list;
    LaunchSessions &m_sessions;
    QString m_preparingExecutable;
    // The files that need a prefix: the one being prepared first, then those waiting.
    QList<std::pair<QString, WineBinaries>> m_queue;
};
