#pragma once

#include "platform/Expected.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// A store that sells an edition of a game.
enum class GameStorefront { steam, battleNet };

namespace Storefronts {
QList<GameStorefront> allCases();
QString rawValue(GameStorefront storefront);
std::optional<GameStorefront> fromRawValue(const QString &raw);
QString displayName(GameStorefront storefront);
QUrl downloadURL(GameStorefront storefront);
} // namespace Storefronts

// One edition of one Windows game as Quillmere supports it. Identified by its slug `id`.
struct GameCompatibilityProfile
{
    QString id;
    std::optional<QString> appID;
    QString name;
    QString edition;
    QString genre;
    QString cost;
    QString summary;
    QString symbol;
    bool hasNativeMacVersion = false;
    QList<GameStorefront> storefronts;
    QString minimumMacOS;
    QStringList accountRequirements;
    QString supportedExperience;
    QStringList limitations;
    QStringList setupNotes;
    std::optional<QString> storageRequirement;
    QUrl guideURL;

    // The Steam store's page of the app when there is one, otherwise the storefront's own page.
    QUrl storePageURL(GameStorefront storefront) const;

    // Strict: every key but "appID" and "storageRequirement" (which may also be null) must be
    // there with its type; unknown storefronts fail. `position` names the profile in errors.
    static Expected<GameCompatibilityProfile, QString> fromJson(
        const QJsonValue &value, qsizetype position = 0);
    QJsonObject toJson() const;

    bool operator==(const GameCompatibilityProfile &) const = default;
};

Q_DECLARE_METATYPE(GameCompatibilityProfile)
