#include "library/EntryEditor.h"
#include "library/GameEntry.h"
#include "library/LibraryFile.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <bit>

using namespace TestSupport;
using EnvironmentMap = QMap<QString, QString>;

// A library entry: its environment text, its form in the library file, and the editor that
// makes one.
class TestGameEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void environmentEditorText()
    {
        GameEntry entry;
        entry.environment = {{"OLD", "gone"}};
        // Comments, lines without "=", empty and invalid names go (names are ASCII letters,
        // digits and "_", not first a digit: not other scripts' letters or digits); the last
        // line for a name wins; spaces and tabs around a name go, the value stays as written.
        entry.setEnvironmentEditorText(
            "A=1\r\n#B=2\n 1X=3\nC = x=y \nA=4\nEMPTY=\nJUSTTEXT\n=value\n"
            "  \n\tKEY\t=v\nA-B=1\nÄPFEL=1\nAé=1\nA٣=1\n_9_=\na1=2");
        QCOMPARE(entry.environment,
            EnvironmentMap({{"A", "4"}, {"C", " x=y"}, {"EMPTY", ""}, {"KEY", "v"}, {"_9_", ""},
                {"a1", "2"}}));
        QCOMPARE(entry.environmentEditorText(), "A=4\nC= x=y\nEMPTY=\nKEY=v\n_9_=\na1=2");
        entry.setEnvironmentEditorText("");
        QCOMPARE(entry.environment, EnvironmentMap());
        QCOMPARE(entry.environmentEditorText(), QString());
    }

    // Keys shuffled, extra keys, escapes, a lower-case id, a fractional timestamp. Saving it
    // again writes the same values in the canonical form, the documented keys in their order,
    // then the unknown ones; for scripts, the documented keys only.
    void readsAndRewritesAHandWrittenFile()
    {
        const QByteArray file = R"([ {
            "addedAt" : 786745123.4567891, "unknown": {"nested": [1, 2]}, "zeta": "a\/b",
            "big": 9007199254740993, "off": false, "environment": {"DXVK_HUD": "1", "A": "x\/y"},
            "arguments": ["-windowed", "line\nbreak\u0001", ""],
            "wineServerPath": "\/opt\/wine\/bin\/wineserver", "winePath": "/opt/wine/bin/wine",
            "prefixPath": "\/home\/u\/Prefix", "executablePath": "C:\\not\\unix.exe",
            "id": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d", )"
                                "\"name\": \"Tab\\tQuote\\\" Back\\\\ \\u00e9\" } ]";
        const auto decoded = LibraryFile::decode(file);
        QVERIFY_OK(decoded);
        const QByteArray documented
            = R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D",)"
              "\"name\":\"Tab\\tQuote\\\" Back\\\\ \xc3\xa9\","
              R"("executablePath":"C:\\not\\unix.exe","prefixPath":"\/home\/u\/Prefix",)"
              R"("winePath":"\/opt\/wine\/bin\/wine",)"
              R"("wineServerPath":"\/opt\/wine\/bin\/wineserver",)"
              R"("arguments":["-windowed","line\nbreak\u0001",""],)"
              R"("environment":{"A":"x\/y","DXVK_HUD":"1"},"addedAt":786745123.4567891)";
        QCOMPARE(LibraryFile::encode(*decoded), documented + "}]");
        const QByteArray saved = LibraryFile::encode(*decoded, LibraryFile::Keys::withUnknown);
        QCOMPARE(saved,
            documented
                + R"(,"big":9007199254740993,"off":false,)"
                  R"("unknown":{"nested":[1,2]},"zeta":"a\/b"}])");
        const auto reread = LibraryFile::decode(saved);
        QVERIFY(reread.hasValue());
        QVERIFY(*reread == *decoded);
        GameEntry changed = reread->first();
        changed.unknownKeys.insert("off", true);
        QVERIFY(!(changed == reread->first()));

        // What is written reads back the same, the time bit for bit.
        const GameEntry second {.name = "Second"};
        for (const double addedAt : {786745123.4567891, 700000000.0, -12.25, 0.1 + 0.2}) {
            changed.addedAt = addedAt;
            const auto again = LibraryFile::decode(
                LibraryFile::encode({changed, second}, LibraryFile::Keys::withUnknown));
            QVERIFY_OK(again);
            QVERIFY(*again == QList<GameEntry>({changed, second}));
        }
    }

    // decode() reads the common form quickly and leaves the rest to Qt's parser; where the
    // quick reader answers, its entries must be the general reader's, the time bit for bit.
    void quickReaderAgreesWithTheGeneralOne_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("quick");
        const QByteArray entry = R"({"id":"6f1e2d3c-4b5a-4978-8a6b-5c4d3e2f1a0b","name":NAME,)"
                                 R"("executablePath":"\/e","prefixPath":"p","winePath":"w",)"
                                 R"("wineServerPath":"s","arguments":["a"],"environment":ENV,)"
                                 R"("addedAt":TIME})";
        const auto row = [&](const char *name, bool quick, const QByteArray &text,
                             const QByteArray &environment, const QByteArray &time) {
            QByteArray json = "[" + entry + "]";
            json.replace("NAME", text).replace("ENV", environment).replace("TIME", time);
            QTest::newRow(name) << json << quick;
        };
        row("escapes", true, "\"\\\"\\\\\\b\\f\\n\\r\\t\\u00e9\\u20ac\\ud83c\\udfae\"", "{}",
            "1.5");
        row("raw UTF-8", true, "\"\xc3\xa9\xf0\x9f\x8e\xae\"", R"({"B":"2","A":"1"})", "7.8e8");
        row("integer time", true, R"("n")", "{}", "700000000");
        row("negative zero", true, R"("n")", "{}", "-0");
        row("beyond 64 bits", false, R"("n")", "{}", "18446744073709551616");
        row("beyond a double", false, R"("n")", "{}", "1e999");
        row("invalid UTF-8", false, "\"\xc3\"", "{}", "1");
        row("invalid UTF-8 beside an escape", false, "\"\xc3\\n\"", "{}", "1");
        row("half a pair", false, R"("\udfae")", "{}", "1");
        row("escaped NUL", false, R"("a\u0000b")", "{}", "1");
        row("repeated variable", false, R"("n")", R"({"A":"1","A":"2"})", "1");
        row("unknown key", false, R"("n","x":1)", "{}", "1");
        row("repeated key", false, R"("n","name":"m")", "{}", "1");
        QTest::newRow("spacing") << QByteArray(" [\n\t" + entry + " ] \r\n")
                                        .replace("NAME", "\"n\"")
                                        .replace("ENV", "{ }")
                                        .replace("TIME", "2")
                                        .replace(",", " ,\n ")
                                        .replace(":", " : ")
                                 << true;
        QTest::newRow("trailing text") << QByteArray("[]x") << false;
        // The second entry repeats values of the first, which the quick reader shares.
        QByteArray two = "[" + entry + "," + entry + "]";
        two.replace("NAME", "\"n\"").replace("ENV", "{}").replace("TIME", "1");
        QTest::newRow("shared values")
            << two.replace(two.lastIndexOf("\"a\""), 3, "\"a\",\"b\"") << true;
    }
    void quickReaderAgreesWithTheGeneralOne()
    {
        QFETCH(QByteArray, json);
        const auto quickly = LibraryFile::decodeQuickly(json);
        QTEST(quickly.has_value(), "quick");
        if (!quickly)
            return;
        const auto generally = LibraryFile::decodeGenerally(json);
        QVERIFY_OK(generally);
        QVERIFY(!quickly->isEmpty());
        QVERIFY(*quickly == *generally);
        QCOMPARE(std::bit_cast<quint64>(quickly->last().addedAt),
            std::bit_cast<quint64>(generally->last().addedAt));
    }

    void rejectsMalformedFiles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        const QJsonObject good {{"id", "6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0B"}, {"name", "n"},
            {"executablePath", "/e"}, {"prefixPath", "/p"}, {"winePath", "/w"},
            {"wineServerPath", "/s"}, {"arguments", QJsonArray {}}, {"environment", QJsonObject {}},
            {"addedAt", 1.5}};
        // The good element first: one bad element makes the whole file unreadable.
        const auto fileWith = [&](const QJsonObject &second) {
            return QJsonDocument(QJsonArray {good, second}).toJson(QJsonDocument::Compact);
        };
        for (const QString &key : good.keys()) {
            QJsonObject missing = good;
            missing.remove(key);
            QTest::addRow("missing %s", qPrintable(key))
                << fileWith(missing) << "Entry 2 of the library has no “" + key + "” value.";
        }
        const auto row = [&](const char *key, const QJsonValue &value, const QString &form) {
            QJsonObject changed = good;
            changed.insert(QLatin1String(key), value);
            const QString sentence = form.isEmpty()
                ? "Entry 2 of the library has an “id” that isn't a valid UUID."
                : QString("Entry 2 of the library has “%1” that isn't %2.").arg(key, form);
            QTest::addRow("%s %s", key,
                QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact).constData())
                << fileWith(changed) << sentence;
        };
        row("id", 5, "a string");
        row("id", "{6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0B}", {});
        row("id", "6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0", {});
        row("name", QJsonValue::Null, "a string");
        row("arguments", "-x", "an array of strings");
        row("arguments", QJsonArray {"a", 1}, "an array of strings");
        row("environment", QJsonArray {}, "an object of strings");
        row("environment", QJsonObject {{"A", 1}}, "an object of strings");
        row("addedAt", "2020", "a number");
        // Half a surrogate pair, in a value or a key, can't be saved back as it was read.
        const QString unicode = "Entry 1 of the library holds text that isn't valid Unicode.";
        QTest::newRow("lone surrogate in an argument")
            << fileWith(good).replace("\"arguments\":[]", "\"arguments\":[\"\\uDDDD\"]") << unicode;
        QTest::newRow("lone surrogate in an unknown key")
            << fileWith(good).replace("\"addedAt\"", "\"x\\uD800\":1,\"addedAt\"") << unicode;
        // A program gets its arguments and environment as C strings, which a NUL would cut.
        const QString nul
            = "Entry 1 of the library has “%1” with a NUL character, which no program can receive.";
        QTest::newRow("NUL in an argument") << fileWith(good).replace("\"arguments\":[]",
            "\"arguments\":[\"a\\u0000b\"]") << nul.arg("arguments");
        QTest::newRow("NUL in a variable")
            << fileWith(good).replace("\"environment\":{}", "\"environment\":{\"A\":\"\\u0000\"}")
            << nul.arg("environment");
        QTest::newRow("element not object") << fileWith(good).replace("[{", "[7,{")
                                            << "Entry 1 of the library isn't a JSON object.";
        QTest::newRow("object, not array")
            << QJsonDocument(good).toJson() << "The file doesn't hold a list of library entries.";
        QTest::newRow("empty file")
            << QByteArray() << "The file isn't valid JSON (illegal value at byte 0).";
    }
    void rejectsMalformedFiles()
    {
        QFETCH(QByteArray, json);
        const auto decoded = LibraryFile::decode(json);
        QVERIFY(!decoded.hasValue());
        QTEST(decoded.error(), "message");
    }

    void buildsTheEntryFromTheDraft()
    {
        const EntryDraft draft {.name = "  My Game \n",
            .executablePath = "~/Games/app.exe",
            .prefixPath = "/prefixes/a/../b/",
            .winePath = "relative/wine",
            .argumentText = "\n  -windowed  \n\n-opt \"a b\"\r\n\t\n",
            .environmentText = "A=1\n1X=3\n#C=4"};
        const GameEntry entry = EntryEditor::makeEntry(draft, std::nullopt);
        QCOMPARE(entry.name, "My Game");
        QCOMPARE(entry.executablePath, QDir::homePath() + "/Games/app.exe");
        QCOMPARE(entry.prefixPath, "/prefixes/b");
        QCOMPARE(entry.winePath, QDir::currentPath() + "/relative/wine");
        QCOMPARE(entry.wineServerPath, QString());
        QCOMPARE(entry.arguments, QStringList({"-windowed", "-opt \"a b\""}));
        QCOMPARE(entry.environment, (QMap<QString, QString> {{"A", "1"}}));

        // Editing keeps the entry's identity and date.
        GameEntry existing = entry;
        existing.addedAt = 123.5;
        QVERIFY(EntryEditor::makeEntry(EntryEditor::draftFor(existing), existing) == existing);
    }

    void checksInOrder()
    {
        Sandbox sandbox;
        const GameEntry ready = sandbox.readyEntry();
        writeFile(sandbox.path("plain"), "");
        writeFile(sandbox.path("occupied/.hidden"), "");
        QDir().mkpath(sandbox.path("fresh"));
        // Each step mends what the check before refused while all later fields stay blank or
        // broken, so the first failing check must win.
        GameEntry entry;
        const auto refusal = [&](bool createNewPrefix) {
            const auto checked = EntryEditor::validatePaths(entry, createNewPrefix);
            return checked ? QString() : checked.error().description();
        };
        QCOMPARE(refusal(false), "Enter a name for this app.");
        entry.name = ready.name;
        QCOMPARE(refusal(false), "Choose the Windows app executable (.exe).");
        entry.executablePath = sandbox.path("nope.exe");
        QCOMPARE(refusal(false), "Choose a Wine prefix folder.");
        entry.prefixPath = sandbox.path("fresh");
        QCOMPARE(refusal(false), "Choose the Wine binary.");
        entry.winePath = sandbox.path("plain");
        QCOMPARE(refusal(false), "Choose the wineserver binary.");
        entry.wineServerPath = sandbox.path("plain");
        const QString nul(QChar::Null);
        entry.arguments = {"-x", "a" + nul};
        QCOMPARE(refusal(false), "Argument 2 holds a NUL character, which no program can receive.");
        entry.arguments = {"-x"};
        entry.environment = {{"A", nul}};
        QCOMPARE(refusal(false),
            "The environment variable ‘A’ holds a NUL character, which no program can receive.");
        entry.environment.clear();
        // The sentences of the refusals below are WineRuntime's, pinned in its test.
        QCOMPARE(refusal(false), QuillmereError::missingFile(entry.executablePath).description());
        entry.executablePath = ready.executablePath;
        QCOMPARE(refusal(false), QuillmereError::missingFile(entry.winePath).description());
        entry.winePath = ready.winePath;
        QCOMPARE(refusal(false), QuillmereError::missingFile(entry.wineServerPath).description());
        entry.wineServerPath = ready.wineServerPath;
        QCOMPARE(refusal(false), QuillmereError::invalidPrefix(entry.prefixPath).description());

        // A new prefix needs an empty or missing folder instead.
        QCOMPARE(refusal(true), QString());
        entry.prefixPath = sandbox.path("not/there");
        QCOMPARE(refusal(true), QString());
        entry.prefixPath = sandbox.path("occupied");
        QCOMPARE(refusal(true), QuillmereError::occupiedPrefix(entry.prefixPath).description());
        entry.prefixPath = ready.prefixPath;
        QCOMPARE(refusal(true), QuillmereError::alreadyInitialized(entry.prefixPath).description());
        QCOMPARE(refusal(false), QString());
    }

    // The window shows the titles; here, what the editor decides for an empty draft.
    void addingNamesTheEntryOnce()
    {
        EntryEditor adding("/tmp/unused", std::nullopt);
        QCOMPARE(adding.primaryButtonTitle(), "Add to Library");
        QVERIFY(!adding.canSave());
        QVERIFY(!adding.isShowingAdvancedSettings());
        adding.executableChosen("/games/Setup.exe");
        adding.executableChosen("/games/Other.exe");
        QCOMPARE(adding.draft().name, "Setup");
        QVERIFY(adding.canSave());
    }

    void editingKeepsThePrefix()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        entry.arguments = {"a", "b c"};
        entry.environment.insert("A", "1");
        EntryEditor editor(sandbox.dataFolder(), entry);
        QVERIFY(editor.isShowingAdvancedSettings());
        QVERIFY(!editor.canCreateNewPrefix());
        QCOMPARE(editor.draft().argumentText, "a\nb c");
        QCOMPARE(editor.draft().environmentText, "A=1\nFAKE_RECORD_DIR=" + sandbox.recordDir());

        EntryDraft draft = editor.draft();
        draft.environmentText = "GOOD=1\n1BAD=2";
        draft.createNewPrefix = true; // not for an entry that has its prefix
        editor.setDraft(draft);
        QVERIFY(!editor.draft().createNewPrefix);
        QSignalSpy saved(&editor, &EntryEditor::saved);
        editor.save();
        QCOMPARE(editor.errorMessage(), QString()); // the bad name is dropped silently
        QCOMPARE(saved.count(), 1);
        entry.environment = {{"GOOD", "1"}};
        QVERIFY(saved.first().first().value<GameEntry>() == entry);
    }
};

QTEST_GUILESS_MAIN(TestGameEntry)
#include "tst_gameentry.moc"
