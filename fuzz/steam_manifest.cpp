// The Steam manifest reader on any text: it never crashes, a value is one trimmed piece between
// quotes, and a number is only ever read from an optional sign and digits.
#include "games/SteamManifest.h"

#include <array>
#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The keys Quillmere reads; the first byte picks one, so each run does a single lookup.
    static const std::array keys {
        u"appid"_s, u"StateFlags"_s, u"installdir"_s, u"BytesToDownload"_s};
    if (size == 0)
        return 0;
    const QString &key = keys.at(data[0] % keys.size());
    const QString text = QString::fromUtf8(
        reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    const std::optional<QString> value = SteamManifest::value(key, text);
    if (value && (value->contains(u'"') || *value != value->trimmed()))
        std::abort();
    const std::optional<qlonglong> number = SteamManifest::decimalInteger(value);
    if (number && value->toLongLong() != *number)
        std::abort();
    return 0;
}
