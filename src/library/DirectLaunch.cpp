#include "DirectLaunch.h"

#include "library/LaunchSessions.h"
#include "library/LibraryList.h"
#include "library/PathNormalization.h"
#include "library/PrefixTemplates.h"
#include "platform/Background.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

DirectLaunch::DirectLaunch(
    QString dataFolder, LibraryList &list, LaunchSessions &sessions, QObject *parent)
    : QObject(parent)
    , m_dataFolder(std::move(dataFolder))
    , m_list(list)
    , m_sessions(sessions)
{
}

Outcome DirectLaunch::launchExecutable(const QString &path, const WineBinaries &wine)
{
    const QString executable = normalizedPath(path);
    const QFileInfo file(executable);
    const auto decided = [this](const QUuid &id, const Outcome &outcome) {
        Q_EMIT finished(id, outcome);
        return outcome;
    };
    if (file.suffix().compare(u"exe", Qt::CaseInsensitive) != 0 || file.isDir())
        return decided({}, Outcome::error(u"Choose a Windows executable file ending in .exe."_s));
    if (!file.isFile() || !file.isReadable()) {
        return decided(
            {}, Outcome::error(u"Quillmere can't read this executable:\n"_s + executable));
    }
    for (const GameEntry &entry : m_list.entries()) {
        if (entry.executablePath == executable) {
            const GameEntry existing = entry; // launch may not outlive a change to the list
            return decided(existing.id, m_sessions.launch(existing));
        }
    }
    // One preparation at a time: the others wait their turn, each once.
    if (!m_queue.isEmpty()) {
        if (std::none_of(m_queue.cbegin(), m_queue.cend(),
                [&](const auto &queued) { return queued.first == executable; }))
            m_queue.append({executable, wine});
        return {};
    }
    m_queue.prepend({executable, wine});
    prepare(executable, wine);
    return {};
}

void DirectLaunch::prepare(const QString &executable, const WineBinaries &wine)
{
    GameEntry entry;
    entry.name = QFileInfo(executable).completeBaseName();
    entry.executablePath = executable;
    entry.prefixPath = QDir(m_dataFolder)
                           .absoluteFilePath(u"Prefixes/Direct-"_s
                               + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    entry.winePath = wine.winePath;
    entry.wineServerPath = wine.wineServerPath;
    const QString log
        = QDir(m_dataFolder).filePath(u"Logs/prefix-"_s + entry.idString() + u".log"_s);
    struct Preparation
    {
        QString unsavable; // why the library can't be saved; then nothing was prepared
        Result<void> prepared = {};
    };
    setPreparingExecutable(entry.name);
    Background::run(
        this,
        [writable = m_list.writableCheck(), entry, log,
            templates = PrefixTemplates::folder(m_dataFolder)] {
            // A prefix costs minutes and hundreds of megabytes; one whose entry can't be
            // recorded would be made again on every retry. The check may wait for another
            // process's lock, so it runs here rather than on the GUI thread.
            if (auto canWrite = writable(); !canWrite)
                return Preparation {canWrite.error()};
            return Preparation {{}, WineRuntime::createPrefix(entry, log, templates)};
        },
        [this, entry, log](const Preparation &preparation) {
            const Result<void> &prepared = preparation.prepared;
            if (!preparation.unsavable.isEmpty()) {
                Q_EMIT finished({},
                    Outcome::error(u"Quillmere can't save its library, so it didn't prepare a "
                                   "Wine prefix for "_s
                        + entry.name + u":\n"_s + preparation.unsavable));
                endPreparation();
                return;
            }
            if (!prepared) {
                // No entry names this half-made prefix; its log stays for the message.
                QDir(entry.prefixPath).removeRecursively();
                Q_EMIT finished({},
                    Outcome::error(u"Quillmere couldn't prepare "_s + entry.name + u":\n"_s
                        + prepared.error().description()));
                endPreparation();
                return;
            }
            // Preparing lasts until the entry is on disk, so nothing else starts first.
            m_list.addOnceSaved(entry, [this, entry, log](const Expected<void, QString> &saved) {
                if (!saved) {
                    QDir(entry.prefixPath).removeRecursively();
                    QFile::remove(log);
                    Q_EMIT finished({},
                        Outcome::error(u"Quillmere couldn't save "_s + entry.name
                            + u" in its library, so it removed the new Wine prefix and didn't "
                              "run it:\n"_s
                            + saved.error()));
                } else {
                    Q_EMIT finished(entry.id, m_sessions.launch(entry));
                }
                endPreparation();
            });
        });
}

void DirectLaunch::setPreparingExecutable(const QString &name)
{
    if (m_preparingExecutable == name)
        return;
    m_preparingExecutable = name;
    Q_EMIT preparingExecutableChanged();
}

void DirectLaunch::endPreparation()
{
    setPreparingExecutable({});
    auto waiting = std::exchange(m_queue, {});
    if (!waiting.isEmpty())
        waiting.removeFirst();
    // Each is checked again: the file may be gone, or an entry may run it by now.
    for (const auto &[path, wine] : std::as_const(waiting))
        launchExecutable(path, wine);
}
