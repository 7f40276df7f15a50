// The catalogue decoder on any bytes: it never crashes, a refusal says why, and every catalogue
// it accepts is valid and reads back the same from its own JSON form.
#include "profiles/GameProfileCatalogStore.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto games = GameProfileCatalogStore::decodeCatalog(bytes);
    if (!games) {
        if (games.error().isEmpty())
            std::abort();
        return 0;
    }
    if (games->isEmpty() || !GameProfileCatalogStore::isValid(*games))
        std::abort();
    QJsonArray rows;
    for (const GameCompatibilityProfile &game : *games)
        rows.append(game.toJson());
    const QJsonObject document {{u"schemaVersion"_s, 1}, {u"games"_s, rows}};
    const auto again = GameProfileCatalogStore::decodeCatalog(QJsonDocument(document).toJson());
    if (!again || *again != *games)
        std::abort();
    return 0;
}
