#include "library/MenuShortcuts.h"

#include "library/LibraryLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <mutex>

using namespace Qt::StringLiterals;

namespace {

const QString applicationIcon = u"org.quillmere.Quillmere"_s;
const QString ownerKey = u"X-Quillmere-Entry="_s;
// Ours are a few hundred bytes; a larger file of that name is not read whole.
constexpr qint64 maximumFileSize = 64 * 1024;
// One change at a time in this process: a look at the list that finished after a removal would
// otherwise bring the removed shortcut back.
std::mutex changing;

QString stem(const QUuid &id)
{
    return u"quillmere-"_s + uuidText(id).toLower();
}

// A string value: the escapes the desktop's parser undoes, and no other control characters.
QString escaped(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        if (c == u'\\')
            out += u"\\\\"_s;
        else if (c == u'\n')
            out += u"\\n"_s;
        else if (c == u'\t')
            out += u"\\t"_s;
        else if (c == u'\r')
            out += u"\\r"_s;
        else
            out += c.category() == QChar::Other_Control ? u' ' : c;
    }
    // A leading space would be taken for the space around "=".
    if (out.startsWith(u' '))
        out.replace(0, 1, u"\\s"_s);
    return out;
}

// One argument of the command line, quoted where the desktop would split or expand it, with
// "%" doubled so it is not taken for a field code.
QString execArgument(const QString &argument)
{
    QString text = QString(argument).replace(u'%', u"%%"_s);
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`="_s;
    if (!text.isEmpty()
        && std::none_of(text.begin(), text.end(), [](QChar c) { return reserved.contains(c); }))
        return text;
    QString quoted = u"\""_s;
    for (const QChar c : text) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

QByteArray readSmall(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumFileSize)
        return {};
    return file.read(maximumFileSize);
}

} // namespace

MenuShortcuts::MenuShortcuts(QString dataHome, QString program)
    : m_dataHome(std::move(dataHome))
    , m_program(std::move(program))
{
}

MenuShortcuts MenuShortcuts::forUser()
{
#ifdef Q_OS_MACOS
    return {{}, {}};
#else
    return {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
        QCoreApplication::applicationFilePath()};
#endif
}

QString MenuShortcuts::unavailable()
{
    return u"Quillmere adds programs to the applications menu only on Linux desktops."_s;
}

QString MenuShortcuts::desktopFilePath(const QUuid &id) const
{
    return m_dataHome + u"/applications/"_s + stem(id) + u".desktop"_s;
}

QString MenuShortcuts::iconPath(const QUuid &id, int side) const
{
    return m_dataHome + u"/icons/hicolor/%1x%1/apps/"_s.arg(side) + stem(id) + u".png"_s;
}

bool MenuShortcuts::has(const QUuid &id) const
{
    return isEnabled() && QFile::exists(desktopFilePath(id));
}

QString MenuShortcuts::desktopEntry(const GameEntry &entry, const QString &iconName) const
{
    const QStringList command
        = {execArgument(m_program), u"launch"_s, uuidText(entry.id), u"--through-window"_s};
    return u"[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.4\n"
           "Name=%1\n"
           "Comment=Runs through Wine with Quillmere\n"
           "Exec=%2\n"
           "TryExec=%3\n"
           "Icon=%4\n"
           "Categories=Game;\n"
           "Terminal=false\n"_s.arg(
               escaped(entry.name), escaped(command.join(u' ')), escaped(m_program), iconName)
        + ownerKey + uuidText(entry.id) + u'\n';
}

Expected<void, QString> MenuShortcuts::write(const QString &path, const QByteArray &bytes) const
{
    QSaveFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly)
        || file.write(bytes) < 0 || !file.commit())
        return unexpected(file.errorString());
    return {};
}

Expected<void, QString> MenuShortcuts::add(
    const GameEntry &entry, const std::optional<WindowsIcon::ThemeImage> &icon) const
{
    const auto failed = [&entry](const QString &why) {
        return unexpected(u"Quillmere couldn’t add “"_s + entry.name
            + u"” to the applications menu: "_s + why + u'.');
    };
    if (!isEnabled())
        return unexpected(unavailable());
    const std::scoped_lock lock(changing);
    removeIcons(entry.id);
    if (icon) {
        if (const auto saved = write(iconPath(entry.id, icon->side), icon->png); !saved)
            return failed(saved.error());
    }
    const auto written = write(desktopFilePath(entry.id),
        desktopEntry(entry, icon ? stem(entry.id) : applicationIcon).toUtf8());
    if (!written)
        return failed(written.error());
    return {};
}

Expected<void, QString> MenuShortcuts::remove(const GameEntry &entry) const
{
    const std::scoped_lock lock(changing);
    const QString path = desktopFilePath(entry.id);
    if (QFile::exists(path) && !QFile::remove(path)) {
        return unexpected(u"Quillmere couldn’t remove “"_s + entry.name
            + u"” from the applications menu: it can’t delete “"_s + path + u"”."_s);
    }
    removeIcons(entry.id);
    return {};
}

void MenuShortcuts::removeIcons(const QUuid &id) const
{
    const QDir theme(m_dataHome + u"/icons/hicolor"_s);
    for (const QString &size : theme.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        QFile::remove(theme.filePath(size + u"/apps/"_s + stem(id) + u".png"_s));
}

int MenuShortcuts::follow(const QList<GameEntry> &entries) const
{
    if (!isEnabled())
        return 0;
    const std::scoped_lock lock(changing);
    int changed = 0;
    const QDir folder(m_dataHome + u"/applications"_s);
    for (const QString &name : folder.entryList({u"quillmere-*.desktop"_s}, QDir::Files)) {
        const QString idText = name.mid(10, name.size() - 18);
        const QByteArray text = readSmall(folder.filePath(name));
        if (!isUuidText(idText) || !text.contains((ownerKey + idText.toUpper()).toUtf8()))
            continue;
        const QUuid id = QUuid::fromString(idText);
        const auto entry = std::find_if(entries.begin(), entries.end(),
            [&id](const GameEntry &candidate) { return candidate.id == id; });
        if (entry == entries.end()) {
            qCInfo(libraryLog) << "removing the menu shortcut of a removed entry" << name;
            QFile::remove(folder.filePath(name));
            removeIcons(id);
            ++changed;
            continue;
        }
        const QString iconName = text.contains(QByteArray("\nIcon=" + stem(id).toUtf8() + '\n'))
            ? stem(id)
            : applicationIcon;
        const QString current = desktopEntry(*entry, iconName);
        if (text != current.toUtf8() && write(folder.filePath(name), current.toUtf8()))
            ++changed;
    }
    return changed;
}
