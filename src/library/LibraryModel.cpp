#include "LibraryModel.h"

#include "library/LibraryFile.h"
#include "platform/AppData.h"
#include "platform/Background.h"
#include "platform/DesktopServices.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

LibraryContext LibraryContext::system(std::shared_ptr<DesktopServices> desktop)
{
    return {AppData::defaultFolder(), std::make_shared<UserDefaults>(), std::move(desktop), {}};
}

LibraryModel::LibraryModel(LibraryContext context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
{
    load();
    removeUninstalledSteamGameShortcuts();
}

// Launched programs are deliberately left running: the watcher threads hold only weak
// references to this model, so their late reports are dropped.
LibraryModel::~LibraryModel() = default;

QString LibraryModel::libraryURL() const
{
    return QDir(m_context.dataFolder).filePath(u"library.json"_s);
}

QString LibraryModel::logURL(const GameEntry &entry) const
{
    return QDir(m_context.dataFolder).filePath(u"Logs/"_s + entry.idString() + u".log"_s);
}

QString LibraryModel::noLaunchLogMessage()
{
    return u"There isn't a launch log for this game yet. Launch it once, then try again."_s;
}

const GameEntry *LibraryModel::entry(const QUuid &id) const
{
    for (const GameEntry &candidate : m_entries) {
        if (candidate.id == id)
            return &candidate;
    }
    return nullptr;
}

void LibraryModel::setSelectedID(const QUuid &id)
{
    if (m_selectedID == id)
        return;
    m_selectedID = id;
    Q_EMIT selectedIDChanged();
}

void LibraryModel::setPreparingExecutable(const QString &name)
{
    if (m_preparingExecutable == name)
        return;
    m_preparingExecutable = name;
    Q_EMIT preparingExecutableChanged();
}

void LibraryModel::setNotice(const QString &notice)
{
    m_notice = notice;
    Q_EMIT noticeChanged();
}

void LibraryModel::setErrorMessage(const QString &message)
{
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void LibraryModel::load()
{
    const QString path = libraryURL();
    QString failure;
    if (!QDir().mkpath(m_context.dataFolder)) {
        failure = u"Quillmere couldn't create the folder “"_s + m_context.dataFolder + u"”."_s;
    } else if (!QFileInfo::exists(path)) {
        return; // the first start: nothing saved yet
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            failure = file.errorString() + u'.';
        } else {
            auto decoded = LibraryFile::decode(file.readAll());
            if (decoded) {
                m_entries = std::move(*decoded);
                if (!m_entries.isEmpty())
                    m_selectedID = m_entries.first().id;
                return;
            }
            failure = decoded.error();
        }
    }

    // Every later save writes the whole list, which would replace the unreadable file with a
    // shorter one. Keep a copy aside and name it, so the user's data is never lost.
    QString keptAt = path;
    if (QFileInfo::exists(path)) {
        const QString copy = setAsideUnreadableLibrary();
        if (copy.isEmpty())
            m_protectUnreadableFile = true;
        else
            keptAt = copy;
    }
    m_errorMessage
        = u"Quillmere couldn't read its library. The saved file is still available at:\n"_s + keptAt
        + u"\n\n"_s + failure;
}

QString LibraryModel::setAsideUnreadableLibrary()
{
    QFile original(libraryURL());
    if (!original.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = original.readAll();
    original.close();
    const QDir folder(m_context.dataFolder);
    // The same unreadable bytes need one copy, not one per start.
    const QStringList earlier
        = folder.entryList({u"library-unreadable-*.json"_s}, QDir::Files, QDir::Name);
    for (const QString &name : earlier) {
        QFile copy(folder.filePath(name));
        if (copy.size() == bytes.size() && copy.open(QIODevice::ReadOnly)
            && copy.readAll() == bytes)
            return copy.fileName();
    }
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = attempt == 1
            ? u"library-unreadable-%1.json"_s.arg(stamp)
            : u"library-unreadable-%1-%2.json"_s.arg(stamp).arg(attempt);
        const QString copy = folder.filePath(name);
        if (QFileInfo::exists(copy))
            continue;
        // QFile::copy never replaces an existing file.
        return QFile::copy(libraryURL(), copy) ? copy : QString();
    }
    return {};
}

void LibraryModel::persist()
{
    const QString path = libraryURL();
    QString failure;
    if (m_protectUnreadableFile && QFileInfo::exists(path)) {
        failure = u"The unreadable library file at “"_s + path
            + u"” couldn't be copied aside, so Quillmere won't replace it. Move it elsewhere to save again."_s;
    } else if (!QDir().mkpath(m_context.dataFolder)) {
        failure = u"Quillmere couldn't create the folder “"_s + m_context.dataFolder + u"”."_s;
    } else {
        m_protectUnreadableFile = false;
        auto written = LibraryFile::write(path, LibraryFile::encode(m_entries));
        if (written)
            return;
        failure = written.error();
    }
    setErrorMessage(u"Quillmere couldn't save its library:\n"_s + failure);
}

void LibraryModel::add(const GameEntry &entry)
{
    m_entries.append(entry);
    Q_EMIT entriesChanged();
    setSelectedID(entry.id);
    persist();
}

void LibraryModel::update(const GameEntry &entry)
{
    for (GameEntry &existing : m_entries) {
        if (existing.id == entry.id) {
            existing = entry;
            Q_EMIT entriesChanged();
            persist();
            return;
        }
    }
}

void LibraryModel::remove(const GameEntry &entry)
{
    if (m_runningIDs.contains(entry.id)) {
        setErrorMessage(u"Stop this Wine session before removing its library entry."_s);
        return;
    }
    m_entries.removeIf([&](const GameEntry &candidate) { return candidate.id == entry.id; });
    Q_EMIT entriesChanged();
    if (m_selectedID == entry.id)
        setSelectedID(m_entries.isEmpty() ? QUuid() : m_entries.first().id);
    persist();
}

void LibraryModel::launch(const GameEntry &entry)
{
    if (m_runningIDs.contains(entry.id))
        return;
    QPointer<LibraryModel> self(this);
    const QUuid id = entry.id;
    auto started = WineRuntime::start(entry, logURL(entry), [self, id](int status) {
        Background::postToMainThread(
            self, [self, id, status] { self->processFinished(id, status); });
    });
    if (!started) {
        setErrorMessage(started.error().description());
        return;
    }
    m_processes.insert(id, *started);
    m_runningIDs.insert(id);
    Q_EMIT runningIDsChanged();
    setNotice(u"Started "_s + entry.name + u'.');
}

void LibraryModel::processFinished(const QUuid &id, int status)
{
    m_processes.remove(id);
    if (m_runningIDs.remove(id))
        Q_EMIT runningIDsChanged();
    if (status != 0) {
        setNotice(u"The Wine launcher exited with code "_s + QString::number(status)
            + u". The game may still be running; use Stop Wine to check the prefix."_s);
    } else {
        setNotice(u"Wine closed normally."_s);
    }
}

void LibraryModel::stop(const GameEntry &entry)
{
    Background::run(
        this, [entry] { return WineRuntime::stop(entry); },
        [this, id = entry.id, name = entry.name](Result<int> result) {
            if (!result) {
                setErrorMessage(result.error().description());
            } else if (*result != 0) {
                setErrorMessage(u"Wine's wineserver returned exit code "_s
                    + QString::number(*result) + u". Check the session log for details."_s);
            } else {
                setNotice(u"Sent a stop request to Wine for "_s + name + u"'s prefix."_s);
            }
            Q_EMIT stopFinished(id);
        });
}

void LibraryModel::openLog(const GameEntry &entry)
{
    const QString log = logURL(entry);
    if (!QFileInfo::exists(log)) {
        setErrorMessage(noLaunchLogMessage());
        return;
    }
    if (m_context.desktop)
        m_context.desktop->openFile(log);
}
