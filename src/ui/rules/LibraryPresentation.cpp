#include "ui/rules/LibraryPresentation.h"

#include <QCollator>

#include <QLocale>

using namespace Qt::StringLiterals;

namespace LibraryPresentation {

std::optional<GameCompatibilityProfile> matchedProfile(
    const QString &entryName, const QList<GameCompatibilityProfile> &profiles)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (const GameCompatibilityProfile &profile : profiles) {
        if (collator.compare(profile.name, entryName) == 0)
            return profile;
    }
    return std::nullopt;
}

QString rowState(bool isRunning)
{
    return isRunning ? u"Running"_s : u"Wine app"_s;
}

QString detailSubtitle(const std::optional<GameCompatibilityProfile> &matched)
{
    return matched ? matched->genre : u"Windows app"_s;
}

QString statusText(bool isRunning)
{
    return isRunning ? u"Wine session active"_s : u"Ready to launch"_s;
}

QString statusSymbol(bool isRunning)
{
    return isRunning ? u"checkmark.circle.fill"_s : u"circle.fill"_s;
}

QString removalMessage(const QString &entryName)
{
    return u"This removes "_s + entryName
        + u" from Quillmere. Its game files, prefix, and Wine runtime stay on disk."_s;
}

QString deletionMessage(const QString &entryName, const QString &prefix, const QString &size)
{
    return u"This removes "_s + entryName + u" from Quillmere and deletes its Wine prefix “"_s
        + prefix + u"” ("_s + size
        + u") with everything installed in it. The program’s own file stays. This can’t be undone."_s;
}

} // namespace LibraryPresentation

QString LibraryPresentation::playLine(const PlayRecord &record, const QDateTime &now)
{
    if (record.seconds == 0 && !record.lastPlayedAt && !record.since)
        return {};
    const qint64 seconds = record.seconds
        + (record.since ? std::max<qint64>(0, record.since->secsTo(*record.seen)) : 0);
    const qint64 minutes = seconds / 60;
    const QString played = minutes == 0 ? u"Played less than a minute"_s
        : minutes < 60                  ? u"Played %1 min"_s.arg(minutes)
        : minutes % 60 == 0             ? u"Played %1 h"_s.arg(minutes / 60)
                            : u"Played %1 h %2 min"_s.arg(minutes / 60).arg(minutes % 60);
    QString when;
    if (record.since) {
        when = u"Playing now"_s;
    } else if (record.lastPlayedAt) {
        const QDate day = record.lastPlayedAt->toLocalTime().date();
        const qint64 daysAgo = day.daysTo(now.date());
        when = daysAgo == 0 ? u"Last played today"_s
            : daysAgo == 1  ? u"Last played yesterday"_s
                            : u"Last played "_s + QLocale().toString(day, u"d MMMM yyyy"_s);
    }
    return when.isEmpty() ? played : played + u" · "_s + when;
}

QString LibraryPresentation::menuShortcutAction(bool inMenu)
{
    return inMenu ? u"Remove from Applications Menu"_s : u"Add to Applications Menu"_s;
}

QString LibraryPresentation::menuShortcutSymbol(bool inMenu)
{
    return inMenu ? u"minus.circle"_s : u"plus.app"_s;
}
