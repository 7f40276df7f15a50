#include "library/GameEntry.h"
#include "library/LibraryFile.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using EnvironmentMap = QMap<QString, QString>;

class TestGameEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void environmentKeyValidity_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("valid");
        QTest::newRow("underscore") << "_" << true;
        QTest::newRow("letter and digit") << "a1" << true;
        QTest::newRow("PATH") << "PATH" << true;
        QTest::newRow("underscore then digits") << "_9_" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("leading digit") << "1a" << false;
        QTest::newRow("hyphen") << "A-B" << false;
        QTest::newRow("space") << "A B" << false;
        QTest::newRow("non-ASCII letter") << QStringLiteral("ÄPFEL") << false;
        QTest::newRow("non-ASCII later") << QStringLiteral("Aé") << false;
        QTest::newRow("non-ASCII digit") << QStringLiteral("A٣") << false;
        QTest::newRow("equals") << "A=B" << false;
    }
    void environmentKeyValidity()
    {
        QFETCH(QString, key);
        QFETCH(bool, valid);
        QCOMPARE(GameEntry::validEnvironmentKey(key), valid);
    }

    void environmentTextParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<EnvironmentMap>("expected");
        QTest::newRow("comments, invalid keys, trimming, last wins")
            << "A=1\n#B=2\n 1X=3\nC = x=y \nA=4" << EnvironmentMap {{"A", "4"}, {"C", " x=y"}};
        QTest::newRow("CR LF line ends") << "A=1\r\nB=2\r\n"
                                         << EnvironmentMap {{"A", "1"}, {"B", "2"}};
        QTest::newRow("empty value kept") << "EMPTY=" << EnvironmentMap {{"EMPTY", ""}};
        QTest::newRow("no equals, empty key") << "JUSTTEXT\n=value\n  \n" << EnvironmentMap {};
        QTest::newRow("tab around key") << "\tKEY\t=v" << EnvironmentMap {{"KEY", "v"}};
        QTest::newRow("empty text") << "" << EnvironmentMap {};
    }
    void environmentTextParsing()
    {
        QFETCH(QString, text);
        QFETCH(EnvironmentMap, expected);
        GameEntry entry;
        entry.environment = {{"OLD", "gone"}};
        entry.setEnvironmentEditorText(text);
        QCOMPARE(entry.environment, expected);
    }

    void environmentTextIsSortedLines()
    {
        GameEntry entry;
        QCOMPARE(entry.environmentEditorText(), QString());
        entry.environment = {{"b", "2"}, {"A", "x=y"}, {"_Z", ""}};
        QCOMPARE(entry.environmentEditorText(), QStringLiteral("A=x=y\n_Z=\nb=2"));
        GameEntry again;
        again.setEnvironmentEditorText(entry.environmentEditorText());
        QCOMPARE(again.environment, entry.environment);
    }

    void encodesCompactInFieldOrder()
    {
        GameEntry entry;
        entry.id = QUuid::fromString(QStringLiteral("6f1e2d3c-4b5a-4978-8a6b-5c4d3e2f1a0b"));
        entry.name = QStringLiteral("Tab\tQuote\" Back\\ é");
        entry.executablePath = QStringLiteral("/Games/a.exe");
        entry.prefixPath = QStringLiteral("/P");
        entry.winePath = QStringLiteral("/w");
        entry.wineServerPath = QStringLiteral("/s");
        entry.arguments = {QStringLiteral("-x"), QStringLiteral("line\nbreak\x01")};
        entry.environment = {{"B", "2"}, {"A", "1/2"}};
        entry.addedAt = 786745123.4567891;
        const QByteArray expected
            = "[{\"id\":\"6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0B\",\"name\":\"Tab\\tQuote\\\" "
              "Back\\\\ \xc3\xa9\","
              "\"executablePath\":\"\\/Games\\/a.exe\",\"prefixPath\":\"\\/P\",\"winePath\":\"\\/"
              "w\","
              "\"wineServerPath\":\"\\/s\",\"arguments\":[\"-x\",\"line\\nbreak\\u0001\"],"
              "\"environment\":{\"A\":\"1\\/2\",\"B\":\"2\"},\"addedAt\":786745123.4567891}]";
        QCOMPARE(LibraryFile::encode({entry}), expected);
        QCOMPARE(LibraryFile::encode({}), QByteArray("[]"));
    }

    void roundTripKeepsEveryField_data()
    {
        QTest::addColumn<double>("addedAt");
        QTest::newRow("fractional") << 786745123.4567891;
        QTest::newRow("whole") << 700000000.0;
        QTest::newRow("before 2001") << -12.25;
        QTest::newRow("tiny fraction") << 0.1 + 0.2;
    }
    void roundTripKeepsEveryField()
    {
        QFETCH(double, addedAt);
        GameEntry entry;
        entry.name = QStringLiteral("Ünïcode ✓ \"quoted\" /slashed/");
        entry.executablePath = QStringLiteral("/a b/c.exe");
        entry.prefixPath = QStringLiteral("relative/prefix/");
        entry.winePath = QStringLiteral("~/wine");
        entry.wineServerPath = QStringLiteral("/ws");
        entry.arguments = {QString(), QStringLiteral("b c"), QStringLiteral("\\")};
        entry.environment = {{"WINEDEBUG", "+relay"}, {"EMPTY", ""}};
        entry.addedAt = addedAt;
        GameEntry second;
        second.name = QStringLiteral("Second");
        const auto decoded = LibraryFile::decode(LibraryFile::encode({entry, second}));
        QVERIFY_OK(decoded);
        QCOMPARE(decoded->size(), 2);
        QVERIFY(decoded->at(0) == entry);
        QVERIFY(decoded->at(1) == second);
        QCOMPARE(decoded->at(0).addedAt, addedAt); // bit for bit, not approximately
    }

    void readsHandWrittenFile()
    {
        // Keys shuffled, extra keys, escaped slashes, a lower-case id, a fractional timestamp.
        const QByteArray file = R"([ {
            "addedAt" : 786745123.4567891, "unknown": {"nested": [1, 2]}, "zeta": "a\/b",
            "big": 9007199254740993, "off": false,
            "environment": {"DXVK_HUD": "1", "A": "x\/y"}, "arguments": ["-windowed", "b c"],
            "wineServerPath": "\/opt\/wine\/bin\/wineserver", "winePath": "/opt/wine/bin/wine",
            "prefixPath": "\/home\/u\/Prefix", "executablePath": "C:\\not\\unix.exe",
            "name": "Hand \u00e9crit", "id": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"
        } ])";
        const auto decoded = LibraryFile::decode(file);
        QVERIFY_OK(decoded);
        const GameEntry &entry = decoded->first();
        QCOMPARE(entry.idString(), QStringLiteral("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"));
        QCOMPARE(entry.name, QStringLiteral("Hand écrit"));
        QCOMPARE(entry.executablePath, QStringLiteral("C:\\not\\unix.exe"));
        QCOMPARE(entry.prefixPath, QStringLiteral("/home/u/Prefix"));
        QCOMPARE(entry.wineServerPath, QStringLiteral("/opt/wine/bin/wineserver"));
        QCOMPARE(entry.arguments, QStringList({"-windowed", "b c"}));
        QCOMPARE(entry.environment, EnvironmentMap({{"A", "x/y"}, {"DXVK_HUD", "1"}}));
        QCOMPARE(entry.addedAt, 786745123.4567891);

        // Saving it again writes the same values in the canonical form, the documented keys in
        // their order, then the unknown ones; for scripts, the documented keys only.
        const QByteArray saved = LibraryFile::encode(*decoded, LibraryFile::Keys::withUnknown);
        QVERIFY(saved.startsWith(R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","name":)"));
        QVERIFY(saved.endsWith(R"("addedAt":786745123.4567891,"big":9007199254740993,)"
                               R"("off":false,"unknown":{"nested":[1,2]},"zeta":"a\/b"}])"));
        QVERIFY(LibraryFile::encode(*decoded).endsWith(R"("addedAt":786745123.4567891}])"));
        const auto reread = LibraryFile::decode(saved);
        QVERIFY(reread.hasValue());
        QVERIFY(*reread == *decoded);
        GameEntry changed = reread->first();
        changed.unknownKeys.insert(QStringLiteral("off"), true);
        QVERIFY(!(changed == reread->first()));
    }

    void rejectsMalformedFiles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");

        QJsonObject good {{"id", "6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0B"}, {"name", "n"},
            {"executablePath", "/e"}, {"prefixPath", "/p"}, {"winePath", "/w"},
            {"wineServerPath", "/s"}, {"arguments", QJsonArray {}}, {"environment", QJsonObject {}},
            {"addedAt", 1.5}};
        // The good element first: one bad element makes the whole file unreadable.
        auto fileWith = [&](const QJsonObject &second) {
            return QJsonDocument(QJsonArray {good, second}).toJson(QJsonDocument::Compact);
        };
        const QStringList keys = good.keys();
        for (const QString &key : keys) {
            QJsonObject missing = good;
            missing.remove(key);
            QTest::addRow("missing %s", qPrintable(key)) << fileWith(
                missing) << QStringLiteral("Entry 2 of the library has no “%1” value.").arg(key);
        }
        auto withValue = [&](const char *key, const QJsonValue &value) {
            QJsonObject changed = good;
            changed.insert(QLatin1String(key), value);
            return fileWith(changed);
        };
        const QString wrong = QStringLiteral("Entry 2 of the library has “%1” that isn't %2.");
        QTest::newRow("id number") << withValue("id", 5) << wrong.arg("id", "a string");
        QTest::newRow("name null")
            << withValue("name", QJsonValue::Null) << wrong.arg("name", "a string");
        QTest::newRow("arguments string")
            << withValue("arguments", "-x") << wrong.arg("arguments", "an array of strings");
        QTest::newRow("arguments number inside") << withValue("arguments", QJsonArray {"a", 1})
                                                 << wrong.arg("arguments", "an array of strings");
        QTest::newRow("environment array") << withValue("environment", QJsonArray {})
                                           << wrong.arg("environment", "an object of strings");
        QTest::newRow("environment number value") << withValue("environment",
            QJsonObject {{"A", 1}}) << wrong.arg("environment", "an object of strings");
        QTest::newRow("addedAt text")
            << withValue("addedAt", "2020") << wrong.arg("addedAt", "a number");
        const QString badId
            = QStringLiteral("Entry 2 of the library has an “id” that isn't a valid UUID.");
        QTest::newRow("id words") << withValue("id", "not-a-uuid") << badId;
        QTest::newRow("id braces")
            << withValue("id", "{6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0B}") << badId;
        QTest::newRow("id short") << withValue("id", "6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0")
                                  << badId;
        // Half a surrogate pair can't be saved back as it was read.
        const QString unicode
            = QStringLiteral("Entry 1 of the library holds text that isn't valid Unicode.");
        QTest::newRow("lone surrogate in an argument")
            << fileWith(good).replace("\"arguments\":[]", "\"arguments\":[\"\\uDDDD\"]") << unicode;
        QTest::newRow("lone surrogate in an unknown key")
            << fileWith(good).replace("\"addedAt\"", "\"x\\uD800\":1,\"addedAt\"") << unicode;
        QTest::newRow("element not object") << fileWith(good).replace(
            "[{", "[7,{") << QStringLiteral("Entry 1 of the library isn't a JSON object.");
        QTest::newRow("object, not array")
            << QJsonDocument(good).toJson()
            << QStringLiteral("The file doesn't hold a list of library entries.");
        QTest::newRow("truncated")
            << QByteArray("[{\"id\":")
            << QStringLiteral("The file isn't valid JSON (unterminated object at byte 7).");
        QTest::newRow("empty file")
            << QByteArray()
            << QStringLiteral("The file isn't valid JSON (illegal value at byte 0).");
    }
    void rejectsMalformedFiles()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        const auto decoded = LibraryFile::decode(json);
        QVERIFY(!decoded.hasValue());
        QCOMPARE(decoded.error(), message);
    }
};

QTEST_GUILESS_MAIN(TestGameEntry)
#include "tst_gameentry.moc"
