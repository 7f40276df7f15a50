#include "ui/rules/LibraryPresentation.h"

#include <QCollator>

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

} // namespace LibraryPresentation
