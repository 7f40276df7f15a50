#include "GameCompatibilityProfile.h"

#include "profiles/ProfileEndpoints.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

QList<GameStorefront> Storefronts::allCases()
{
    return {GameStorefront::steam, GameStorefront::battleNet};
}

QString Storefronts::rawValue(GameStorefront storefront)
{
    return storefront == GameStorefront::steam ? u"steam"_s : u"battleNet"_s;
}

std::optional<GameStorefront> Storefronts::fromRawValue(const QString &raw)
{
    for (GameStorefront storefront : allCases()) {
        if (rawValue(storefront) == raw)
            return storefront;
    }
    return std::nullopt;
}

QString Storefronts::displayName(GameStorefront storefront)
{
    return storefront == GameStorefront::steam ? u"Steam"_s : u"Battle.net"_s;
}

QUrl Storefronts::downloadURL(GameStorefront storefront)
{
    const ProfileEndpoints endpoints = ProfileEndpoints::standard();
    if (storefront == GameStorefront::steam)
        return ProfileEndpoints::at(endpoints.steamStore, u"/"_s);
    return ProfileEndpoints::at(endpoints.battleNet, u"/en-us/apps/battle.net/desktop"_s);
}

QUrl GameCompatibilityProfile::storePageURL(GameStorefront storefront) const
{
    if (storefront == GameStorefront::steam && appID)
        return ProfileEndpoints::at(
            ProfileEndpoints::standard().steamStore, u"/app/"_s + *appID + u'/');
    return Storefronts::downloadURL(storefront);
}

namespace {

class Reader
{
public:
    Reader(const QJsonObject &object, qsizetype position)
        : m_object(object)
        , m_position(position)
    {
    }

    QString error;

    QString text(const char *key)
    {
        const QJsonValue value = require(key);
        if (!error.isEmpty())
            return {};
        if (!value.isString())
            fail(key, "a string");
        return value.toString();
    }

    std::optional<QString> optionalText(const char *key)
    {
        const QJsonValue value = m_object.value(QLatin1StringView(key));
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isString()) {
            fail(key, "a string");
            return std::nullopt;
        }
        return value.toString();
    }

    bool boolean(const char *key)
    {
        const QJsonValue value = require(key);
        if (error.isEmpty() && !value.isBool())
            fail(key, "true or false");
        return value.toBool();
    }

    QStringList texts(const char *key)
    {
        const QJsonValue value = require(key);
        QStringList out;
        if (!error.isEmpty())
            return out;
        if (!value.isArray()) {
            fail(key, "a list of strings");
            return out;
        }
        for (const QJsonValue item : value.toArray()) {
            if (!item.isString()) {
                fail(key, "a list of strings");
                return {};
            }
            out.append(item.toString());
        }
        return out;
    }

private:
    QJsonValue require(const char *key)
    {
        if (!error.isEmpty())
            return {};
        if (!m_object.contains(QLatin1StringView(key)))
            error = where() + u" has no “"_s + QLatin1StringView(key) + u"” value."_s;
        return m_object.value(QLatin1StringView(key));
    }
    void fail(const char *key, const char *form)
    {
        if (error.isEmpty())
            error = where() + u" has “"_s + QLatin1StringView(key) + u"” that isn't "_s
                + QLatin1StringView(form) + u'.';
    }
    QString where() const { return u"Profile %1 of the game catalog"_s.arg(m_position + 1); }

    QJsonObject m_object;
    qsizetype m_position;
};

} // namespace

Expected<GameCompatibilityProfile, QString> GameCompatibilityProfile::fromJson(
    const QJsonValue &value, qsizetype position)
{
    if (!value.isObject())
        return unexpected(
            u"Profile %1 of the game catalog isn't a JSON object."_s.arg(position + 1));
    Reader read(value.toObject(), position);
    GameCompatibilityProfile profile;
    profile.id = read.text("id");
    profile.appID = read.optionalText("appID");
    profile.name = read.text("name");
    profile.edition = read.text("edition");
    profile.genre = read.text("genre");
    profile.cost = read.text("cost");
    profile.summary = read.text("summary");
    profile.symbol = read.text("symbol");
    profile.hasNativeMacVersion = read.boolean("hasNativeMacVersion");
    const QStringList storefronts = read.texts("storefronts");
    profile.minimumMacOS = read.text("minimumMacOS");
    profile.accountRequirements = read.texts("accountRequirements");
    profile.supportedExperience = read.text("supportedExperience");
    profile.limitations = read.texts("limitations");
    profile.setupNotes = read.texts("setupNotes");
    profile.storageRequirement = read.optionalText("storageRequirement");
    const QString guide = read.text("guideURL");
    if (!read.error.isEmpty())
        return unexpected(read.error);
    for (const QString &raw : storefronts) {
        const auto storefront = Storefronts::fromRawValue(raw);
        if (!storefront)
            return unexpected(u"Profile %1 of the game catalog names an unknown storefront “%2”."_s
                                  .arg(position + 1)
                                  .arg(raw));
        profile.storefronts.append(*storefront);
    }
    profile.guideURL = QUrl(guide, QUrl::StrictMode);
    if (!profile.guideURL.isValid())
        return unexpected(
            u"Profile %1 of the game catalog has a “guideURL” that isn't an address."_s.arg(
                position + 1));
    return profile;
}

QJsonObject GameCompatibilityProfile::toJson() const
{
    QJsonArray stores;
    for (GameStorefront storefront : storefronts)
        stores.append(Storefronts::rawValue(storefront));
    QJsonObject object {
        {u"id"_s, id},
        {u"name"_s, name},
        {u"edition"_s, edition},
        {u"genre"_s, genre},
        {u"cost"_s, cost},
        {u"summary"_s, summary},
        {u"symbol"_s, symbol},
        {u"hasNativeMacVersion"_s, hasNativeMacVersion},
        {u"storefronts"_s, stores},
        {u"minimumMacOS"_s, minimumMacOS},
        {u"accountRequirements"_s, QJsonArray::fromStringList(accountRequirements)},
        {u"supportedExperience"_s, supportedExperience},
        {u"limitations"_s, QJsonArray::fromStringList(limitations)},
        {u"setupNotes"_s, QJsonArray::fromStringList(setupNotes)},
        {u"guideURL"_s, guideURL.toString()},
    };
    if (appID)
        object.insert(u"appID"_s, *appID);
    if (storageRequirement)
        object.insert(u"storageRequirement"_s, *storageRequirement);
    return object;
}
