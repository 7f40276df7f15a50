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

QTEST_GUILESS_MAIN(TestEntryEditor)
#include "tst_entryeditor.moc"
