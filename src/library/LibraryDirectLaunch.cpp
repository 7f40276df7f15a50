// LibraryModel's direct launch: run a dropped or chosen Windows executable at once.
#include "LibraryModel.h"

#include "library/PathNormalization.h"
#include "platform/Background.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

void LibraryModel::launchExecutable(const QString &path, const DetectedWineRuntime &runtime)
{
    const QString executable = normalizedPath(path);
    const QFileInfo file(executable);
    if (file.suffix().compare(u"exe", Qt::CaseInsensitive) != 0 || file.isDir()) {
        setErrorMessage(u"Choose a Windows executable file ending in .exe."_s);
        return;
    }
    if (!file.isFile() || !file.isReadable()) {
        setErrorMessage(u"Quillmere can't read this executable:\n"_s + executable);
        return;
    }
    for (const GameEntry &entry : m_entries) {
        if (entry.executablePath == executable) {
            const GameEntry existing = entry; // launch may not outlive a change to the list
            setSelectedID(existing.id);
            launch(existing);
            return;
        }
    }
    // One preparation at a time: the others wait their turn, each once.
    if (!m_directLaunches.isEmpty()) {
        if (std::none_of(m_directLaunches.cbegin(), m_directLaunches.cend(),
                [&](const auto &queued) { return queued.first == executable; }))
            m_directLaunches.append({executable, runtime});
        return;
    }
    m_directLaunches.prepend({executable, runtime});

    GameEntry entry;
    entry.name = file.completeBaseName();
    entry.executablePath = executable;
    entry.prefixPath = QDir(m_context.dataFolder)
                           .absoluteFilePath(u"Prefixes/Direct-"_s
                               + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    entry.winePath = runtime.winePath;
    entry.wineServerPath = runtime.wineServerPath;
    const QString log
        = QDir(m_context.dataFolder).filePath(u"Logs/prefix-"_s + entry.idString() + u".log"_s);
    struct Preparation
    {
        QString unsavable; // why the library can't be saved; then nothing was prepared
        Result<void> prepared = {};
    };
    setPreparingExecutable(entry.name);
    Background::run(
        this,
        [store = m_store, inUse = m_storeInUse, entry, log] {
            // A prefix costs minutes and hundreds of megabytes; one whose entry can't be
            // recorded would be made again on every retry. The check may wait for another
            // process's lock, so it runs here rather than on the GUI thread.
            {
                const std::lock_guard storeInUse(*inUse);
                if (auto writable = store->canWrite(); !writable)
                    return Preparation {writable.error()};
            }
            return Preparation {{}, WineRuntime::createPrefix(entry, log)};
        },
        [this, entry, log](const Preparation &preparation) {
            const Result<void> &prepared = preparation.prepared;
            if (!preparation.unsavable.isEmpty()) {
                setErrorMessage(u"Quillmere can't save its library, so it didn't prepare a Wine "
                                "prefix for "_s
                    + entry.name + u":\n"_s + preparation.unsavable);
                endPreparation();
                return;
            }
            if (!prepared) {
                // No entry names this half-made prefix; its log stays for the message.
                QDir(entry.prefixPath).removeRecursively();
                setErrorMessage(u"Quillmere couldn't prepare "_s + entry.name + u":\n"_s
                    + prepared.error().description());
                endPreparation();
                return;
            }
            save({{LibraryChange::Kind::add, entry}},
                [this, entry, log](const Expected<void, QString> &saved) {
                    // Preparing lasts until the entry is on disk, so nothing else starts first.
                    if (!saved) {
                        // Not retried later like other changes: the prefix it names is gone.
                        m_pending.removeIf([&](const LibraryChange &change) {
                            return change.entry.id == entry.id;
                        });
                        QDir(entry.prefixPath).removeRecursively();
                        QFile::remove(log);
                        setErrorMessage(u"Quillmere couldn't save "_s + entry.name
                            + u" in its library, so it removed the new Wine prefix and didn't "
                              "run it:\n"_s
                            + saved.error());
                        endPreparation();
                        return;
                    }
                    setSelectedID(entry.id);
                    launch(entry);
                    endPreparation();
                });
        });
}

void LibraryModel::endPreparation()
{
    setPreparingExecutable({});
    auto waiting = std::exchange(m_directLaunches, {});
    if (!waiting.isEmpty())
        waiting.removeFirst();
    // Each is checked again: the file may be gone, or an entry may run it by now.
    for (const auto &[path, runtime] : std::as_const(waiting))
        launchExecutable(path, runtime);
}
