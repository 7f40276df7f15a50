#include "library/EntryEditor.h"
#include "library/LibraryFile.h"
#include "library/PrefixTemplates.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <bit>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using EnvironmentMap = QMap<QString, QString>;

namespace {
const QString missing = "Can't find this file or folder:\n";

// What a Wine process of a ready entry gets from us, whatever runs it: the entry's paths and
// variables, WINEDEBUG=-all over this process's own, and this process's other variables
// without the filtered ones (initTestCase sets one of each).
void compareEnvironment(const Sandbox &sandbox, const GameEntry &entry, const QString &call)
{
    const Environment got = recordedEnvironment(sandbox.recordDir(), call);
    const Environment expected {{"WINEPREFIX", entry.prefixPath}, {"WINELOADER", entry.winePath},
        {"WINESERVER", entry.wineServerPath}, {"WINEDEBUG", "-all"},
        {"FAKE_RECORD_DIR", sandbox.recordDir()}, {"QUILLMERE_TEST_KEPT", "kept"}};
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(got.value(it.key()), it.value());
    QVERIFY(!got.contains("DXMT_TEST_FILTERED"));
}
} // namespace

// A library entry: its environment text, its form in the library file, the editor that makes
// one, and the Wine processes that run it.
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
            .argumentText = "\n  -windowed  \n\n-opt \"a b\"\r\n\t\n"};
        const GameEntry entry = EntryEditor::makeEntry(draft, std::nullopt);
        QCOMPARE(entry.name, "My Game");
        QCOMPARE(entry.executablePath, QDir::homePath() + "/Games/app.exe");
        QCOMPARE(entry.prefixPath, "/prefixes/b");
        QCOMPARE(entry.winePath, QDir::currentPath() + "/relative/wine");
        QCOMPARE(entry.wineServerPath, QString());
        QCOMPARE(entry.arguments, QStringList({"-windowed", "-opt \"a b\""}));

        // Editing keeps the entry's identity and date.
        GameEntry existing = entry;
        existing.addedAt = 123.5;
        QVERIFY(EntryEditor::makeEntry(EntryEditor::draftFor(existing), existing) == existing);
    }

    void checksInOrderAndKeepsThePrefix()
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

        // The window shows the titles; here, what the editor decides for an empty draft, and for
        // an entry that has its prefix.
        EntryEditor adding("/tmp/unused", std::nullopt);
        QCOMPARE(adding.primaryButtonTitle(), "Add to Library");
        QVERIFY(!adding.canSave() && !adding.isShowingAdvancedSettings());
        adding.executableChosen("/games/Setup.exe");
        adding.executableChosen("/games/Other.exe");
        QCOMPARE(adding.draft().name, "Setup");
        QVERIFY(adding.canSave());

        GameEntry edited = ready;
        edited.arguments = {"a", "b c"};
        edited.environment.insert("A", "1");
        EntryEditor editor(sandbox.dataFolder(), edited);
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
        edited.environment = {{"GOOD", "1"}};
        QVERIFY(saved.first().first().value<GameEntry>() == edited);
    }

    void initTestCase()
    {
        qputenv("WINEDEBUG", "+all");
        qputenv("DXMT_TEST_FILTERED", "1");
        qputenv("QUILLMERE_TEST_KEPT", "kept");
    }

    void environmentIsFilteredAndMerged()
    {
        const Environment inherited {{"HOME", "/home/u"}, {"PATH", "/bin"},
            {"WINEPREFIX", "/elsewhere"}, {"WINEDEBUG", "+all"}, {"WINEDLLOVERRIDES", "x=n"},
            {"WINEESYNC", "1"}, {"DYLD_LIBRARY_PATH", "/l"}, {"ROSETTA_X", "1"},
            {"MTL_HUD_ENABLED", "1"}, {"D3DM_X", "1"}, {"DXMT_X", "1"}, {"GST_PLUGIN_PATH", "/g"},
            {"AOELAB_X", "1"}, {"SDL_VIDEODRIVER", "x"}, {"MVK_CONFIG", "1"},
            {"wine_lowercase", "kept"}, {"MY_WINE", "kept"}};
        const GameEntry entry {.prefixPath = "/p/prefix/",
            .winePath = "relative/bin/wine",
            .wineServerPath = "/w/../w/wineserver",
            .environment = {{"DYLD_INSERT_LIBRARIES", "/mine"}, {"WINEDEBUG", "+relay"},
                {"WINEPREFIX", "/redirected"}, {"WINESERVER", "/other"}, {"WINELOADER", "/other"},
                {"PATH", "/entry/bin"}}};
        const Environment expected {{"HOME", "/home/u"}, {"PATH", "/entry/bin"},
            {"wine_lowercase", "kept"}, {"MY_WINE", "kept"}, {"DYLD_INSERT_LIBRARIES", "/mine"},
            {"WINEDEBUG", "+relay"}, {"WINEPREFIX", "/p/prefix"},
            {"WINELOADER", QDir::currentPath() + "/relative/bin/wine"},
            {"WINESERVER", "/w/wineserver"}};
        QCOMPARE(WineRuntime::baseEnvironment(entry, inherited), expected);
    }

    // Starting and making a prefix refuse in order; a start and a stop run Wine's programs.
    void startsStopsAndRefusesInOrder()
    {
        Sandbox sandbox;
        const GameEntry ready = sandbox.readyEntry();
        writeFile(sandbox.path("plain"), "#!/bin/sh\n");
        QDir().mkpath(sandbox.path("empty-prefix"));
        GameEntry entry = ready;
        entry.winePath = sandbox.path("plain");
        entry.executablePath = sandbox.path("missing.exe");
        entry.prefixPath = sandbox.path("empty-prefix");
        entry.environment.insert("1BAD", "x");
        entry.wineServerPath = sandbox.path("nowhere"); // never needed to launch
        const QString log = sandbox.path("Logs/deep/run.log");
        // Each step mends what the check before refused while all later fields stay broken, so
        // the first failing check must win; a refused start writes no log.
        const auto refusal = [&] {
            const auto started = WineRuntime::start(entry, log);
            return started ? QString() : started.error().description();
        };
        QCOMPARE(refusal(), missing + entry.winePath);
        entry.winePath = ready.winePath;
        QCOMPARE(refusal(), missing + entry.executablePath);
        entry.executablePath = ready.executablePath;
        QCOMPARE(
            refusal(), "This doesn't look like an initialized Wine prefix:\n" + entry.prefixPath);
        entry.prefixPath = ready.prefixPath;
        QCOMPARE(refusal(),
            "The environment variable name ‘1BAD’ is invalid. Use letters, numbers, and "
            "underscores.");
        QVERIFY(!QFile::exists(sandbox.path("Logs")));

        entry.environment.remove("1BAD");
        entry.arguments = {"a", "b c", ""};
        writeFile(log, QByteArray("OLD-LOG-LINE\n").repeated(10000));
        const auto process = WineRuntime::start(entry, log);
        QVERIFY_OK(process);
        QCOMPARE((*process)->waitForExit(), 0);
        QCOMPARE(recordedArguments(sandbox.recordDir(), "wine"),
            QStringList({entry.executablePath, "a", "b c", ""}));
        compareEnvironment(sandbox, entry, "wine");
        QCOMPARE(recordedWorkingFolder(sandbox.recordDir(), "wine"),
            QFileInfo(entry.executablePath).absolutePath());
        const QByteArray output = readFile(log); // a fresh log for each start
        QVERIFY(output.startsWith("fake wine ran " + entry.executablePath.toUtf8() + " a b c"));
        QVERIFY(output.contains("fake wine says this on stderr"));
        QVERIFY(!output.contains("OLD-LOG-LINE"));

        QCOMPARE(WineRuntime::start(entry, log + "/run.log").error().description(),
            "Quillmere couldn't create the folder “" + log + "”. Check that the disk is writable.");

        entry.wineServerPath = ready.wineServerPath;
        entry.environment.insert("FAKE_WINESERVER_EXIT", "5");
        const auto status = WineRuntime::stop(entry);
        QVERIFY_OK(status);
        QCOMPARE(*status, 5);
        QCOMPARE(recordedArguments(sandbox.recordDir(), "wineserver-k"), QStringList({"-k"}));
        compareEnvironment(sandbox, entry, "wineserver-k");
        entry.winePath = sandbox.path("gone"); // stop never needs wine itself
        entry.wineServerPath = sandbox.path("gone/wineserver");
        QCOMPARE(WineRuntime::stop(entry).error().description(), missing + entry.wineServerPath);

        // A new prefix: the same order of refusals, and a refused one runs nothing and touches
        // nothing.
        entry = ready;
        entry.winePath = sandbox.path("no/wine");
        entry.wineServerPath = sandbox.path("no/wineserver");
        entry.prefixPath = sandbox.path("target");
        writeFile(entry.prefixPath + "/.hidden", "x");
        writeFile(entry.prefixPath + "/system.reg", "original");
        const QString prefixLog = sandbox.path("prefix.log");
        const auto prefixRefusal = [&] {
            return QString::fromUtf8(failureText(WineRuntime::createPrefix(entry, prefixLog)));
        };
        QCOMPARE(prefixRefusal(), missing + entry.winePath);
        entry.winePath = ready.winePath;
        QCOMPARE(prefixRefusal(), missing + entry.wineServerPath);
        entry.wineServerPath = ready.wineServerPath;
        QCOMPARE(prefixRefusal(),
            "That prefix already contains a Wine registry, so Quillmere left it unchanged:\n"
                + entry.prefixPath);
        QCOMPARE(readFile(entry.prefixPath + "/system.reg"), QByteArray("original"));
        QVERIFY(QFile::remove(entry.prefixPath + "/system.reg"));
        QCOMPARE(prefixRefusal(),
            "Choose an empty folder for the new Wine prefix. Quillmere left this folder "
            "unchanged:\n"
                + entry.prefixPath);
        QCOMPARE(QDir(entry.prefixPath)
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({".hidden"}));
        QVERIFY(!QFile::exists(sandbox.recordDir() + "/wineboot.args"));
        QVERIFY(!QFile::exists(prefixLog));
    }

    void createPrefixOutcomes_data()
    {
        QTest::addColumn<QString>("registry"); // when the fake Wine writes system.reg
        QTest::addColumn<int>("winebootExit");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("registry at once") << "now" << 0 << true;
        // Real Wine writes the registry when wineserver shuts down, after wineboot exits.
        QTest::newRow("registry after wineboot exits") << "late" << 0 << true;
        QTest::newRow("no registry") << "never" << 0 << false;
        QTest::newRow("wineboot fails") << "now" << 3 << false;
    }
    void createPrefixOutcomes()
    {
        QFETCH(QString, registry);
        QFETCH(int, winebootExit);
        QFETCH(bool, succeeds);
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        entry.prefixPath = sandbox.path("new/prefix");
        entry.environment.insert("FAKE_WINEBOOT_REGISTRY", registry);
        entry.environment.insert("FAKE_WINEBOOT_EXIT", QString::number(winebootExit));
        const QString log = sandbox.path("Logs/prefix.log");

        const auto result = WineRuntime::createPrefix(entry, log);
        QCOMPARE(QString::fromUtf8(failureText(result)),
            succeeds
                ? QString()
                : "Wine could not initialize the prefix. Open the latest log for details.\n" + log);
        QCOMPARE(recordedArguments(sandbox.recordDir(), "wineboot"),
            QStringList({"wineboot", "--init"}));
        compareEnvironment(sandbox, entry, "wineboot");
        QCOMPARE(recordedWorkingFolder(sandbox.recordDir(), "wineboot"), entry.prefixPath);
        const QByteArray output = readFile(log);
        QVERIFY(output.contains("fake wineboot wineboot --init"));
        if (winebootExit == 0) {
            // The wait for wineserver runs with the same environment and writes to the same log.
            QCOMPARE(recordedArguments(sandbox.recordDir(), "wineserver-w"), QStringList({"-w"}));
            compareEnvironment(sandbox, entry, "wineserver-w");
            QVERIFY(output.contains("fake wineserver waited"));
        } else {
            QVERIFY(!QFile::exists(sandbox.recordDir() + "/wineserver-w.args"));
        }
    }

    // A new prefix is a copy of its Wine build's template when a usable one is there; any
    // doubt means wineboot, as without templates, and leaves nothing half made behind.
    void prefixTemplates_data()
    {
        QTest::addColumn<QString>("change"); // between the first prefix and the second
        QTest::addColumn<bool>("copied");
        QTest::addColumn<int>("templates"); // kept afterwards
        QTest::newRow("same build") << "" << true << 1;
        QTest::newRow("installation updated") << "stamp" << false << 1;
        QTest::newRow("another wine") << "other wine" << false << 2;
        QTest::newRow("first wine gone") << "wine gone" << false << 1;
        QTest::newRow("entry's own variables") << "variables" << false << 1;
        QTest::newRow("damaged template") << "extra file" << false << 1;
        QTest::newRow("pipe in the template") << "pipe" << false << 1;
    }
    void prefixTemplates()
    {
        QFETCH(QString, change);
        QFETCH(bool, copied);
        QFETCH(int, templates);
        Sandbox sandbox;
        qputenv("FAKE_RECORD_DIR", sandbox.recordDir().toUtf8());
        const auto unset = qScopeGuard([] { qunsetenv("FAKE_RECORD_DIR"); });
        // Installations of our own, with the wine.inf whose time Wine compares.
        const auto install = [&](const QString &name, const QString &prefix) {
            const QString bin = sandbox.path(name + "/bin/");
            QDir().mkpath(bin);
            QFile::copy(fakeWine(), bin + "wine");
            QFile::copy(fakeWineServer(), bin + "wineserver");
            writeFile(sandbox.path(name + "/share/wine/wine.inf"), "[Version]\n");
            return GameEntry {.prefixPath = sandbox.path("Prefixes/" + prefix),
                .winePath = bin + "wine",
                .wineServerPath = bin + "wineserver"};
        };
        const QString folder = sandbox.path("Templates");
        const GameEntry first = install("Wine", "first");
        QVERIFY_OK(WineRuntime::createPrefix(first, sandbox.path("first.log"), folder));
        QCOMPARE(items(folder).size(), 1);
        const QString kept = folder + "/" + items(folder).first() + "/prefix";

        GameEntry second = first;
        second.prefixPath = sandbox.path("Prefixes/second");
        QFile inf(sandbox.path("Wine/share/wine/wine.inf"));
        if (change == "stamp")
            QVERIFY(inf.open(QIODevice::Append)
                && inf.setFileTime(
                    QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        if (change == "other wine" || change == "wine gone")
            second = install("Other", "second");
        if (change == "wine gone")
            QDir(sandbox.path("Wine")).removeRecursively();
        if (change == "variables")
            second.environment.insert("WINEARCH", "win64");
        if (change == "extra file")
            writeFile(kept + "/extra", "x");
        if (change == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(kept + "/pipe").constData(), 0600), 0);
        QFile::remove(sandbox.recordDir() + "/wineboot.args");
        const QString log = sandbox.path("second.log");
        QVERIFY_OK(WineRuntime::createPrefix(second, log, folder));
        QVERIFY(WineRuntime::isInitializedPrefix(second.prefixPath));
        QCOMPARE(!QFile::exists(sandbox.recordDir() + "/wineboot.args"), copied);
        QCOMPARE(readFile(log).startsWith("Quillmere copied this prefix from its template for "
                                          "fake wine ran --version instead of running wineboot."),
            copied);
        QCOMPARE(items(sandbox.path("Prefixes")), QStringList({"first", "second"}));
        QCOMPARE(items(folder).size(), templates);
        const QJsonArray listed = PrefixTemplates::list(folder);
        QCOMPARE(listed.size(), templates);
        QCOMPARE(listed.first()[u"build"_s].toString(), "fake wine ran --version");
    }
};

QTEST_GUILESS_MAIN(TestGameEntry)
#include "tst_gameentry.moc"
