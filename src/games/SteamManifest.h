#pragma once

#include <QString>

#include <optional>

// Reading Steam's app manifests ("appmanifest_<id>.acf"): quoted keys and values, one pair a line.
namespace SteamManifest {

// The value of the first line that carries `key`, trimmed; nested blocks are not told apart.
std::optional<QString> value(const QString &key, const QString &text);

// An optional sign followed by decimal digits, nothing else.
std::optional<qlonglong> decimalInteger(const std::optional<QString> &text);

} // namespace SteamManifest
