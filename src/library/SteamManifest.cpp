#include "SteamManifest.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

std::optional<QString> SteamManifest::value(const QString &key, const QString &text)
{
    static const QRegularExpression newline(
        u"\\r\\n|[\\n\\x{0B}\\x{0C}\\r\\x{85}\\x{2028}\\x{2029}]"_s);
    for (const QString &line : text.split(newline, Qt::SkipEmptyParts)) {
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
