#include "SteamManifest.h"
#include "platform/TextLines.h"

using namespace Qt::StringLiterals;

std::optional<QString> SteamManifest::value(const QString &key, const QString &text)
{
    for (const QString &line : splitLines(text, Qt::SkipEmptyParts)) {
        const QStringList pieces = line.split(u'"');
        if (pieces.size() >= 4 && pieces.at(1) == key)
            return pieces.at(3).trimmed();
    }
    return std::nullopt;
}

std::optional<qlonglong> SteamManifest::decimalInteger(const std::optional<QString> &text)
{
    static const QRegularExpression form(u"^[+-]?[0-9]+$"_s);
    if (!text || !form.match(*text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong number = text->toLongLong(&ok);
    return ok ? std::optional(number) : std::nullopt;
}
