#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameCatalog.h"

#include <QJsonArray>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// A profile with every field, and a key no profile knows (ignored).
QJsonObject validProfile()
{
    return QJsonObject {{"id", "sample"}, {"appID", "2344520"}, {"name", "Sample"},
        {"edition", "Steam PC edition"}, {"genre", "Action · RPG"}, {"cost", "Paid"},
        {"summary", "One sentence."}, {"symbol", "target"}, {"hasNativeMacVersion", false},
        {"storefronts", QJsonArray {"steam", "battleNet"}}, {"minimumMacOS", "26+"},
        {"accountRequirements", QJsonArray {"Steam account"}}, {"supportedExperience", "Story"},
        {"limitations", QJsonArray {}}, {"setupNotes", QJsonArray {"Do this."}},
        {"storageRequirement", "Lots."}, {"guideURL", "https://guides.example/games/sample"},
        {"unknownKey", 42}};
}
} // namespace

class TestProfiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decoding_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: remove the key
        QTest::addColumn<QString>("error"); // empty: decodes
        const QString profile = "Profile 1 of the game catalog has ";
        QTest::newRow("appID null") << "appID" << QJsonValue(QJsonValue::Null) << "";
        QTest::newRow("appID number")
            << "appID" << QJsonValue(730) << profile + "“appID” that isn't a string.";
        QTest::newRow("accounts missing")
            << "accountRequirements" << QJsonValue(QJsonValue::Undefined)
            << profile + "no “accountRequirements” value.";
        QTest::newRow("flag as text")
            << "hasNativeMacVersion" << QJsonValue("yes")
            << profile + "“hasNativeMacVersion” that isn't true or false.";
        QTest::newRow("note as number") << "setupNotes" << QJsonValue(QJsonArray {1})
                                        << profile + "“setupNotes” that isn't a list of strings.";
    }
    void decoding()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject object = validProfile();
        if (value.isUndefined())
            object.remove(key);
        else
            object.insert(key, value);
        const auto profile = GameCompatibilityProfile::fromJson(object);
        QTEST(profile.hasValue() ? QString() : profile.error(), "error");
        if (profile)
            QCOMPARE(profile->appID, std::optional<QString>());
    }

    void roundTripEqualityHashAndStorePages()
    {
        const auto profile = GameCompatibilityProfile::fromJson(validProfile());
        QVERIFY(profile.hasValue());
        const auto again = GameCompatibilityProfile::fromJson(profile->toJson());
        QVERIFY(*again == *profile);
        QCOMPARE(qHash(*again), qHash(*profile));
        GameCompatibilityProfile other = *profile;
        other.summary = u"Another sentence."_s;
        QVERIFY(!(other == *profile));
        QVERIFY(qHash(other) != qHash(*profile));

        // Steam's page of the app when there is one, otherwise the store's own page.
        QCOMPARE(profile->storePageURL(GameStorefront::steam).toString(),
            u"https://store.steampowered.com/app/2344520/"_s);
        QCOMPARE(profile->storePageURL(GameStorefront::battleNet),
            Storefronts::downloadURL(GameStorefront::battleNet));
        other = *profile;
        other.appID.reset();
        QVERIFY(qHash(other) != qHash(*profile));
        QCOMPARE(other.storePageURL(GameStorefront::steam),
            Storefronts::downloadURL(GameStorefront::steam));
    }

    // Name, genre, edition and store names count, in any letter case of the user's language.
    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("ids"); // empty: the whole catalogue
        const auto row = [](const char *tag, const char *text, const QStringList &ids,
                             const char *locale = "en_US") {
            QTest::newRow(tag) << QString::fromUtf8(text) << QString::fromLatin1(locale) << ids;
        };
        const QStringList battle {"diablo-ii-resurrected", "diablo-iv"};
        row("blank is everything", "  \n", {});
        row("name, any case, trimmed", "  ELDEN ", {"elden-ring"});
        row("store name", "battle.net", battle);
        row("genre", "turn-based", {"heroes-of-might-and-magic-iii"});
        row("edition", "Anniversary", {"age-of-empires-iv"});
        row("id is not searched", "gta-iv", {});
        row("Turkish capital dotted I", "DİABLO", battle, "tr_TR");
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QString, locale);
        QFETCH(QStringList, ids);
        QLocale::setDefault(QLocale(locale));
        QStringList found, all;
        for (const GameCompatibilityProfile &profile :
            GameProfileSearch::matchingGames(SteamGameCatalog::games(), text))
            found << profile.id;
        for (const GameCompatibilityProfile &profile : SteamGameCatalog::games())
            all << profile.id;
        QLocale::setDefault(QLocale(u"en_US"_s));
        QCOMPARE(found, text.trimmed().isEmpty() ? all : ids);
    }
};

QTEST_GUILESS_MAIN(TestProfiles)
#include "tst_profiles.moc"
