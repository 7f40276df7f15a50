#include "library/EntryEditor.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

class TestEntryEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildsTheEntryFromTheDraft()
    {
        EntryDraft draft;
        draft.name = QStringLiteral("  My Game \n");
        draft.executablePath = QStringLiteral("~/Games/app.exe");
        draft.prefixPath = QStringLiteral("/prefixes/a/../b/");
        draft.winePath = QStringLiteral("relative/wine");
        draft.argumentText = QStringLiteral("\n  -windowed  \n\n-opt \"a b\"\r\n\t\n");
        draft.environmentText = QStringLiteral("A=1\n1X=3\n#C=4");
        const GameEntry entry = EntryEditor::makeEntry(draft, std::nullopt);
        QCOMPARE(entry.name, QStringLiteral("My Game"));
        QCOMPARE(entry.executablePath, QDir::homePath() + QStringLiteral("/Games/app.exe"));
        QCOMPARE(entry.prefixPath, QStringLiteral("/prefixes/b"));
        QCOMPARE(entry.winePath, QDir::currentPath() + QStringLiteral("/relative/wine"));
        QCOMPARE(entry.wineServerPath, QString());
        QCOMPARE(entry.arguments, QStringList({"-windowed", "-opt \"a b\""}));
        QCOMPARE(entry.environment, (QMap<QString, QString> {{"A", "1"}}));

        // Editing keeps the entry's identity and date.
        GameEntry existing = entry;
        existing.addedAt = 123.5;
        const GameEntry edited = EntryEditor::makeEntry(EntryEditor::draftFor(existing), existing);
        QCOMPARE(edited.id, existing.id);
        QCOMPARE(edited.addedAt, 123.5);
        QVERIFY(edited == existing);
    }

    void checksInOrder_data()
    {
        QTest::addColumn<QString>("blank"); // the field left empty or broken
        QTest::addColumn<bool>("createNewPrefix");
        QTest::addColumn<QString>("message"); // %1: the sandbox
        QTest::newRow("name") << "name" << false << "Enter a name for this app.";
        QTest::newRow("executable")
            << "executablePath" << false << "Choose the Windows app executable (.exe).";
        QTest::newRow("prefix") << "prefixPath" << false << "Choose a Wine prefix folder.";
        QTest::newRow("wine") << "winePath" << false << "Choose the Wine binary.";
        QTest::newRow("wineserver") << "wineServerPath" << false << "Choose the wineserver binary.";
        QTest::newRow("unreadable executable")
            << "missing exe" << false << "Can't find this file or folder:\n%1/nope.exe";
        QTest::newRow("wine not executable")
            << "plain wine" << false << "Can't find this file or folder:\n%1/plain";
        QTest::newRow("uninitialised prefix")
            << "empty prefix" << false
            << "This doesn't look like an initialized Wine prefix:\n%1/fresh";
        QTest::newRow("new prefix already made")
            << "" << true
            << "That prefix already contains a Wine registry, so Quillmere left it "
               "unchanged:\n%1/Game/prefix";
        QTest::newRow("new prefix occupied")
            << "occupied" << true
            << "Choose an empty folder for the new Wine prefix. Quillmere left this folder "
               "unchanged:\n%1/occupied";
        QTest::newRow("new prefix not there yet") << "not there" << true << "";
        QTest::newRow("all good") << "" << false << "";
    }
    void checksInOrder()
    {
        QFETCH(QString, blank);
        QFETCH(bool, createNewPrefix);
        QFETCH(QString, message);
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        writeFile(sandbox.path(QStringLiteral("plain")), "");
        writeFile(sandbox.path(QStringLiteral("occupied/.hidden")), "");
        QDir().mkpath(sandbox.path(QStringLiteral("fresh")));
        const QHash<QString, QString *> fields {{"name", &entry.name},
            {"executablePath", &entry.executablePath}, {"prefixPath", &entry.prefixPath},
            {"winePath", &entry.winePath}, {"wineServerPath", &entry.wineServerPath}};
        if (fields.contains(blank)) {
            // Everything after the blank field is blank too: the first check must win.
            bool after = false;
            for (const char *key :
                {"name", "executablePath", "prefixPath", "winePath", "wineServerPath"}) {
                after = after || blank == QLatin1String(key);
                if (after)
                    fields.value(QLatin1String(key))->clear();
            }
        } else if (blank == u"missing exe") {
            entry.executablePath = sandbox.path(QStringLiteral("nope.exe"));
        } else if (blank == u"plain wine") {
            entry.winePath = sandbox.path(QStringLiteral("plain"));
        } else if (blank == u"empty prefix") {
            entry.prefixPath = sandbox.path(QStringLiteral("fresh"));
        } else if (blank == u"occupied") {
            entry.prefixPath = sandbox.path(QStringLiteral("occupied"));
        } else if (blank == u"not there") {
            entry.prefixPath = sandbox.path(QStringLiteral("not/there"));
        }
        const auto checked = EntryEditor::validatePaths(entry, createNewPrefix);
        QCOMPARE(checked.hasValue() ? QString() : checked.error().description(),
            message.arg(sandbox.root()));
    }

    void titlesAndName()
    {
        EntryEditor adding(QStringLiteral("/tmp/unused"), std::nullopt);
        QCOMPARE(adding.title(), QStringLiteral("Add Windows App"));
        QCOMPARE(adding.primaryButtonTitle(), QStringLiteral("Add to Library"));
        QVERIFY(!adding.canSave());
        QVERIFY(!adding.isShowingAdvancedSettings());
        adding.executableChosen(QStringLiteral("/games/Setup.exe"));
        QCOMPARE(adding.draft().name, QStringLiteral("Setup"));
        adding.executableChosen(QStringLiteral("/games/Other.exe"));
        QCOMPARE(adding.draft().name, QStringLiteral("Setup"));
        QVERIFY(adding.canSave());
        EntryDraft draft = adding.draft();
        draft.createNewPrefix = true;
        adding.setDraft(draft);
        QCOMPARE(adding.primaryButtonTitle(), QStringLiteral("Create Prefix & Add"));

        GameEntry entry;
        entry.name = QStringLiteral("Old");
        entry.arguments = {QStringLiteral("a"), QStringLiteral("b c")};
        entry.environment = {{"B", "2"}, {"A", "1"}};
        EntryEditor editing(QStringLiteral("/tmp/unused"), entry);
        QCOMPARE(editing.title(), QStringLiteral("Edit Wine App"));
        QCOMPARE(editing.primaryButtonTitle(), QStringLiteral("Save Changes"));
        QVERIFY(editing.isShowingAdvancedSettings());
        QVERIFY(!editing.canCreateNewPrefix());
        QCOMPARE(editing.draft().argumentText, QStringLiteral("a\nb c"));
        QCOMPARE(editing.draft().environmentText, QStringLiteral("A=1\nB=2"));
    }

    void savesWithANewPrefix()
    {
        Sandbox sandbox;
        const GameEntry ready = sandbox.readyEntry();
        EntryEditor editor(sandbox.dataFolder(), std::nullopt);
        EntryDraft draft = EntryEditor::draftFor(ready);
        draft.prefixPath = sandbox.path(QStringLiteral("brand/new"));
        draft.createNewPrefix = true;
        editor.setDraft(draft);
        QSignalSpy saved(&editor, &EntryEditor::saved);
        editor.save();
        QVERIFY(editor.isPreparing());
        QVERIFY(!editor.canSave());
        QVERIFY(saved.wait(10000));
        QVERIFY(!editor.isPreparing());
        const GameEntry entry = saved.first().first().value<GameEntry>();
        QCOMPARE(entry.prefixPath, sandbox.path(QStringLiteral("brand/new")));
        QVERIFY(QFile::exists(entry.prefixPath + QStringLiteral("/system.reg")));
        QVERIFY(QFile::exists(sandbox.dataFolder() + QStringLiteral("/Logs/prefix-")
            + entry.idString() + QStringLiteral(".log")));

        // A second save into the same, now initialised, folder is refused before anything runs.
        editor.save();
        QCOMPARE(editor.errorMessage(),
            QStringLiteral("That prefix already contains a Wine registry, so Quillmere left it "
                           "unchanged:\n")
                + entry.prefixPath);
        QCOMPARE(saved.count(), 1);
    }

    void savesWithoutANewPrefix()
    {
        Sandbox sandbox;
        GameEntry ready = sandbox.readyEntry();
        EntryEditor editor(sandbox.dataFolder(), ready);
        EntryDraft draft = editor.draft();
        draft.environmentText = QStringLiteral("GOOD=1\n1BAD=2");
        editor.setDraft(draft);
        QSignalSpy saved(&editor, &EntryEditor::saved);
        editor.save();
        QCOMPARE(editor.errorMessage(), QString()); // the bad name is dropped silently
        QCOMPARE(saved.count(), 1);
        QCOMPARE(saved.first().first().value<GameEntry>().environment,
            (QMap<QString, QString> {{"GOOD", "1"}}));
    }
};

QTEST_GUILESS_MAIN(TestEntryEditor)
#include "tst_entryeditor.moc"
