#include "support/TestSupport.h"
#include "ui/editor/EntryEditorView.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {

// Fills the sheet by typing, as a user would, for a new prefix at `prefix`.
void typeNewEntry(EntryEditorView &view, const Sandbox &sandbox, const QString &prefix,
    const QString &environment)
{
    const GameEntry ready = sandbox.readyEntry();
    QTest::keyClicks(child<QLineEdit>(view, u"nameField"_s), u"  Game"_s);
    QTest::keyClicks(child<QLineEdit>(view, u"executableField"_s), ready.executablePath);
    child<QCheckBox>(view, u"createPrefixToggle"_s)->click();
    QTest::keyClicks(child<QLineEdit>(view, u"prefixField"_s), prefix);
    QTest::keyClicks(child<QLineEdit>(view, u"wineField"_s), ready.winePath);
    QTest::keyClicks(child<QLineEdit>(view, u"wineServerField"_s), ready.wineServerPath);
    QTest::keyClicks(child<QPlainTextEdit>(view, u"environmentEditor"_s), environment);
}

} // namespace

class TestEditorView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editingShowsTheEntry()
    {
        EntryEditorView view(u"/tmp/unused"_s, GameEntry {.name = u"Old"_s}, {});
        QCOMPARE(view.windowTitle(), u"Edit Wine App"_s);
        QCOMPARE(child<QPushButton>(view, u"saveButton"_s)->text(), u"Save Changes"_s);
        QCOMPARE(child<QLineEdit>(view, u"nameField"_s)->text(), u"Old"_s);
    }

    // A failed save shows the alert and keeps the fields; put right, the prefix is created, with
    // the sheet held open meanwhile, and the entry saved.
    void failsThenCreatesThePrefixAndSaves()
    {
        Sandbox sandbox;
        EntryEditorView view(sandbox.dataFolder(), std::nullopt, {});
        view.show();
        typeNewEntry(view, sandbox, sandbox.path(u"broken"_s), u"FAKE_WINEBOOT_EXIT=1"_s);
        QCOMPARE(view.windowTitle(), u"Add Windows App"_s);
        // "&&" is how a button shows a plain ampersand rather than a mnemonic.
        QCOMPARE(child<QPushButton>(view, u"saveButton"_s)->text(), u"Create Prefix && Add"_s);
        QSignalSpy saved(&view, &EntryEditorView::saved);
        QSignalSpy cancelled(&view, &EntryEditorView::cancelled);
        child<QPushButton>(view, u"saveButton"_s)->click();

        QTRY_VERIFY_WITH_TIMEOUT(view.findChild<QMessageBox *>(u"saveErrorAlert"_s), 10000);
        auto *alert = child<QMessageBox>(view, u"saveErrorAlert"_s);
        QCOMPARE(alert->windowTitle(), u"Couldn\u2019t Save Entry"_s);
        QVERIFY2(alert->informativeText().startsWith(u"Wine could not initialize the prefix."_s),
            qPrintable(alert->informativeText()));
        QCOMPARE(saved.count(), 0);
        QCOMPARE(child<QLineEdit>(view, u"nameField"_s)->text(), u"  Game"_s);
        QVERIFY(child<QPushButton>(view, u"saveButton"_s)->isEnabled());
        QTest::keyClick(alert, Qt::Key_Escape); // any dismissal clears the message
        QCOMPARE(view.editor().errorMessage(), QString());
        QTRY_VERIFY(!view.findChild<QMessageBox *>(u"saveErrorAlert"_s));

        const QString prefix = sandbox.path(u"brand/new"_s);
        child<QLineEdit>(view, u"prefixField"_s)->selectAll();
        QTest::keyClicks(child<QLineEdit>(view, u"prefixField"_s), prefix);
        child<QPlainTextEdit>(view, u"environmentEditor"_s)
            ->setPlainText(u"FAKE_RECORD_DIR="_s + sandbox.recordDir());
        QTest::keyClick(child<QLineEdit>(view, u"nameField"_s), Qt::Key_Return); // the default
        QVERIFY(!child<QPushButton>(view, u"saveButton"_s)->isEnabled());
        QVERIFY(!child<QPushButton>(view, u"cancelButton"_s)->isEnabled());
        QVERIFY(child<QWidget>(view, u"preparingLabel"_s)->isVisible());
        QTest::keyClick(&view, Qt::Key_Escape); // the sheet stays until wineboot is done
        view.close();
        QVERIFY(view.isVisible());
        QVERIFY(saved.wait(10000));
        QCOMPARE(cancelled.count(), 0);
        const GameEntry entry = saved.first().first().value<GameEntry>();
        QCOMPARE(entry.name, u"Game"_s);
        QCOMPARE(entry.prefixPath, prefix);
        QVERIFY(
            QFile::exists(sandbox.recordDir() + u"/wineboot.args"_s)); // with the typed variable
        QVERIFY(QFile::exists(
            sandbox.dataFolder() + u"/Logs/prefix-"_s + entry.idString() + u".log"_s));
    }

    void choosingAFile_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("panelTitle");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("name"); // what the empty name becomes
        QTest::newRow("executable") << u"chooseExecutableButton"_s << u"executableField"_s
                                    << u"Choose a Windows application"_s << false << u"Setup"_s;
        QTest::newRow("prefix") << u"choosePrefixButton"_s << u"prefixField"_s
                                << u"Choose a Wine prefix folder"_s << true << QString();
        QTest::newRow("wineserver") << u"chooseWineServerButton"_s << u"wineServerField"_s
                                    << u"Choose the wineserver binary"_s << false << QString();
    }
    void choosingAFile()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        FilePanelRequest asked;
        const FilePanels panels
            = [&](QWidget *, const FilePanelRequest &request, std::function<void(QString)> chosen) {
                  asked = request;
                  chosen(u"/games/Setup.exe"_s);
              };
        EntryEditorView view(u"/tmp/unused"_s, std::nullopt, panels);
        child<QPushButton>(view, button)->click();
        QTEST(asked.title, "panelTitle");
        QTEST(asked.kind == FilePanelRequest::Kind::folder, "folder");
        QCOMPARE(child<QLineEdit>(view, field)->text(), u"/games/Setup.exe"_s);
        QTEST(child<QLineEdit>(view, u"nameField"_s)->text(), "name");
    }
};

QTEST_MAIN(TestEditorView)
#include "tst_editorview.moc"
