#include "WindowHarness.h"

#include "games/SteamLibraryWatcher.h"
#include "profiles/SteamGameCatalog.h"
#include "ui/editor/EntryEditorView.h"
#include "ui/kit/Widgets.h"
#include "ui/library/LibrarySidebar.h"
#include "ui/profiles/SteamGamesView.h"
#include "ui/setup/RuntimeSetupView.h"

#include <QAction>
#include <QMenu>
#include <QStackedWidget>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {

void clickOK(MainWindow &window)
{
    QTest::mouseClick(child<QPushButton>(*window.currentAlert(), u"okButton"_s), Qt::LeftButton);
}

// Answers "OK" to the library's notices until the alert with this object name shows.
bool waitForAlert(MainWindow &window, const QString &name)
{
    for (int i = 0; i < 5; ++i) {
        if (!QTest::qWaitFor([&] { return window.currentAlert() != nullptr; }))
            return false;
        if (window.currentAlert()->objectName() == name)
            return true;
        clickOK(window);
    }
    return false;
}

QString detailPage(const WindowHarness &harness)
{
    return harness.find<QStackedWidget>(u"detailPane"_s)->currentWidget()->objectName();
}

QString actionTitle(const SteamGamesView &page)
{
    auto *button = page.findChild<QPushButton *>(u"guideActionButton"_s);
    return button ? button->text() : QString();
}

void clickAction(const SteamGamesView &page)
{
    QTest::mouseClick(page.findChild<QPushButton *>(u"guideActionButton"_s), Qt::LeftButton);
}

} // namespace

// The main window over the library and the games' guide.
class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensOnProfilesThenFollowsTheLibrary()
    {
        WindowHarness harness;
        MainWindow &window = harness.open();
        QCOMPARE(detailPage(harness), u"game-profiles-page"_s);

        // Added through the editor while on the profiles page: the sidebar stays there. Typing
        // into the sheet is the editor view's own test.
        window.findChild<QAction *>(u"addAppAction"_s)->trigger();
        auto *editor = qobject_cast<EntryEditorView *>(window.currentSheet());
        QVERIFY(editor);
        editor->editor().setDraft(EntryEditor::draftFor(harness.sandbox.readyEntry(u"Tomb"_s)));
        QTest::mouseClick(editor->findChild<QPushButton *>(u"saveButton"_s), Qt::LeftButton);
        QTRY_VERIFY(!window.currentSheet());
        QCOMPARE(harness.library->entries().size(), 1);
        QCOMPARE(detailPage(harness), u"game-profiles-page"_s);

        // Removing the selected entry through its alert leaves the last one: back to profiles.
        window.flow().setSelectedDestination(
            LibraryDestination::app(harness.library->entries().first().id));
        QCOMPARE(detailPage(harness), u"gameDetail"_s);
        window.confirmRemoval(harness.library->entries().first());
        QMessageBox *alert = window.currentAlert();
        QVERIFY(alert);
        QVERIFY(alert->informativeText().startsWith(u"This removes Tomb from Quillmere."_s));
        QTest::mouseClick(child<QPushButton>(*alert, u"removeEntryButton"_s), Qt::LeftButton);
        QVERIFY(harness.library->entries().isEmpty());
        QCOMPARE(detailPage(harness), u"game-profiles-page"_s);
    }

    // The chosen program waits for Wine setup, and "Done" without a ready Wine explains why; once
    // Wine is ready, a drop runs its first file only.
    void choosingWaitsForSetupThenDropsRunTheFirstFile()
    {
        WindowHarness harness;
        MainWindow &window = harness.open();
        *harness.nextChosenFile = harness.sandbox.path(u"Setup.exe"_s);
        writeFile(*harness.nextChosenFile, "MZ");
        window.chooseExecutableToRun();
        auto *setup = qobject_cast<RuntimeSetupView *>(window.currentSheet());
        QVERIFY(setup);
        QTest::mouseClick(setup->findChild<QPushButton *>(u"doneButton"_s), Qt::LeftButton);
        QTRY_VERIFY(!window.currentSheet());
        QVERIFY(waitForAlert(window, u"errorAlert"_s));
        QCOMPARE(window.currentAlert()->informativeText(), WindowFlow::wineNotReadyMessage());
        QVERIFY(harness.library->entries().isEmpty());
        clickOK(window);

        *harness.wineReady = true;
        const QString first = harness.sandbox.path(u"First.exe"_s);
        const QString second = harness.sandbox.path(u"Second.exe"_s);
        writeFile(first, "MZ");
        writeFile(second, "MZ");
        harness.drop({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
        QVERIFY(!window.isFileDropTargeted());
        QCOMPARE(harness.find<Capsule>(u"preparingCapsule"_s)->text(), u"Preparing First…"_s);
        QVERIFY(!window.findChild<QAction *>(u"runExecutableAction"_s)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(harness.library->preparingExecutable().isEmpty(), 10000);
        QCOMPARE(harness.library->entries().size(), 1);
        QCOMPARE(harness.library->entries().first().executablePath, first);

        // Not a Windows program: the model's sentence in the "Quillmere" alert, cleared by OK.
        const QString notes = harness.sandbox.path(u"notes.txt"_s);
        writeFile(notes, "hello");
        harness.drop({QUrl::fromLocalFile(notes)});
        QVERIFY(waitForAlert(window, u"errorAlert"_s));
        QCOMPARE(window.currentAlert()->informativeText(),
            u"Choose a Windows executable file ending in .exe."_s);
        clickOK(window);
        QCOMPARE(harness.library->errorMessage(), QString());
    }

    // Each desktop action says so in the window's alert when nothing on this computer opens it.
    void failedDesktopActionsAreSaid_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("sentence");
        const QString open
            = u"Quillmere couldn’t open “%1”: no application on this computer opens it."_s;
        const QString show
            = u"Quillmere couldn’t show “%1”: no file manager on this computer opens its folder."_s;
        QTest::newRow("Open Last Log") << u"openLogButton"_s << u"log"_s << open;
        QTest::newRow("Show Game File") << u"showFilesAction"_s << u"game"_s << show;
        QTest::newRow("Show Wine Prefix") << u"showPrefixAction"_s << u"prefix"_s << show;
        QTest::newRow("Game Directory") << u"gameDirectoryButton"_s << u"directory"_s << open;
        QTest::newRow("guide link") << u"guideSourceLink"_s << u"guide"_s << open;
    }
    void failedDesktopActionsAreSaid()
    {
        QFETCH(QString, control);
        QFETCH(QString, subject);
        QFETCH(QString, sentence);
        WindowHarness harness;
        MainWindow &window = harness.open();
        const GameEntry game = harness.sandbox.readyEntry(u"Game"_s);
        harness.library->add(game);
        writeFile(harness.library->logPath(game), "a run");
        const bool onProfiles = subject == u"directory"_s || subject == u"guide"_s;
        window.flow().setSelectedDestination(
            onProfiles ? LibraryDestination::games() : LibraryDestination::app(game.id));
        const QMap<QString, QString> subjects {{u"log"_s, harness.library->logPath(game)},
            {u"game"_s, game.executablePath}, {u"prefix"_s, game.prefixPath},
            {u"directory"_s,
                SteamGameCatalog::directoryURL(harness.web.endpoints).toDisplayString()},
            {u"guide"_s, catalogProfile(u"counter-strike-2"_s).guideURL.toDisplayString()}};

        harness.sandbox.desktop->succeeds = false;
        if (auto *button = harness.find<QPushButton>(control))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            harness.find<QAction>(control)->trigger();
        QVERIFY(waitForAlert(window, u"errorAlert"_s));
        QCOMPARE(window.currentAlert()->informativeText(), sentence.arg(subjects.value(subject)));
    }

    void runningEntryOffersStop()
    {
        WindowHarness harness;
        GameEntry game = harness.sandbox.readyEntry(u"Game"_s);
        game.environment.insert(u"FAKE_WINE_SLEEP"_s, u"8"_s);
        MainWindow &window = harness.open();
        harness.library->add(game);
        window.flow().setSelectedDestination(LibraryDestination::app(game.id));

        QTest::keyClick(&window, Qt::Key_Return); // Return launches
        QTRY_VERIFY(harness.library->isRunning(game.id));
        QVERIFY(harness.find(u"stopButton"_s)->isVisible());
        const QModelIndex row = harness.find<LibrarySidebar>(u"sidebar"_s)->currentIndex();
        QCOMPARE(row.data(SidebarModel::stateRole).toString(), u"Running"_s);

        // The "…" menu's stop asks first; only the alert's "Stop Wine" runs wineserver -k.
        window.findChild<QAction *>(u"stopPrefixAction"_s)->trigger();
        auto *confirmation = harness.find<QMessageBox>(u"stopConfirmation"_s);
        QTRY_VERIFY(confirmation && confirmation->isVisible());
        QTest::mouseClick(
            confirmation->findChild<QPushButton *>(u"confirmStopButton"_s), Qt::LeftButton);
        QTRY_VERIFY(!recordedArguments(harness.sandbox.recordDir(), u"wineserver-k"_s).isEmpty());

        // Removing it while it runs: the model refuses and the window says why.
        QTRY_VERIFY(!harness.library->notice().isEmpty()); // the stop's outcome
        QVERIFY(!waitForAlert(window, u"none"_s));
        window.confirmRemoval(game);
        QCOMPARE(window.currentAlert()->objectName(), u"removalAlert"_s);
        QTest::mouseClick(
            child<QPushButton>(*window.currentAlert(), u"removeEntryButton"_s), Qt::LeftButton);
        QVERIFY(waitForAlert(window, u"errorAlert"_s));
        QCOMPARE(window.currentAlert()->informativeText(),
            u"Stop this Wine session before removing its library entry."_s);
        QCOMPARE(harness.library->entries().size(), 1);
    }

    // The "…" menu puts the entry in the applications menu and takes it out again; its shortcut
    // follows a rename and goes with the entry, and a file of that name that is not ours stays.
    void menuShortcutFollowsTheEntry()
    {
        WindowHarness harness;
        MainWindow &window = harness.open();
        GameEntry game = harness.sandbox.readyEntry(u"Game"_s);
        harness.library->add(game);
        window.flow().setSelectedDestination(LibraryDestination::app(game.id));
        const QString file = harness.library->shortcuts().desktopFilePath(game.id);
        const QString foreign = harness.library->shortcuts().desktopFilePath(QUuid::createUuid());
        writeFile(foreign, "[Desktop Entry]\nName=Someone else's\n");
        auto *action = harness.find<QAction>(u"menuShortcutAction"_s);
        const auto choose = [&](const QString &text) {
            Q_EMIT harness.find<QMenu>(u"moreMenu"_s)->aboutToShow();
            QVERIFY(action->isVisible());
            QCOMPARE(action->text(), text);
            action->trigger();
        };
        choose(u"Add to Applications Menu"_s);
        QTRY_VERIFY(QFile::exists(file));
        choose(u"Remove from Applications Menu"_s);
        QTRY_VERIFY(!QFile::exists(file));
        choose(u"Add to Applications Menu"_s);
        QTRY_VERIFY(QFile::exists(file));

        game.name = u"Renamed"_s;
        harness.library->update(game);
        QTRY_VERIFY(readFile(file).contains("\nName=Renamed\n"));
        harness.library->remove(game);
        QTRY_VERIFY(!QFile::exists(file));
        QVERIFY(QFile::exists(foreign));
        QCOMPARE(harness.library->errorMessage(), QString());
    }

    void searchAndStorePickerMoveTheGuide()
    {
        WindowHarness harness;
        harness.open();
        auto *page = harness.find<SteamGamesView>(u"game-profiles-page"_s);
        QCOMPARE(page->selectedGameID(), u"counter-strike-2"_s);
        QCOMPARE(page->visibleProfiles().size(), SteamGameCatalog::games().size());

        const GameCompatibilityProfile battleNet = catalogProfile(u"diablo-ii-resurrected"_s);
        harness.find<QLineEdit>(u"searchField"_s)->setText(battleNet.name.toUpper());
        QCOMPARE(page->selectedGameID(), battleNet.id);
        QCOMPARE(page->selectedStorefrontID(), u"battleNet"_s);
        QCOMPARE(actionTitle(*page), u"Set Up Wine"_s); // Wine isn't ready here

        // "Set Up Wine" opens Wine setup; closing it ends with the Battle.net notice.
        clickAction(*page);
        QWidget *sheet = harness.window->currentSheet();
        QVERIFY(qobject_cast<RuntimeSetupView *>(sheet));
        qobject_cast<QDialog *>(sheet)->reject();
        QTRY_COMPARE(harness.library->notice(), WindowFlow::battleNetNotice());

        harness.find<QLineEdit>(u"searchField"_s)->setText(u"no such game"_s);
        QVERIFY(page->visibleProfiles().isEmpty());
        QVERIFY(harness.find(u"guideEmptyState"_s)->isVisible());

        // With Wine ready, the store picker switches the guide.
        *harness.wineReady = true;
        harness.find<QLineEdit>(u"searchField"_s)->clear();
        page->selectGame(u"diablo-iv"_s); // on Steam and Battle.net
        QCOMPARE(actionTitle(*page), u"Set Up Steam"_s);
        QTest::mouseClick(
            page->findChild<QPushButton *>(u"storefront-battleNet"_s), Qt::LeftButton);
        QCOMPARE(page->selectedStorefrontID(), u"battleNet"_s);
        QCOMPARE(actionTitle(*page), u"Get Battle.net PC installer"_s);
        clickAction(*page);
        QCOMPARE(harness.sandbox.desktop->openedUrls,
            QList<QUrl> {Storefronts::downloadURL(GameStorefront::battleNet)});
    }

    // From "Open in Steam" to launching the game, as Steam's own files change, with no
    // activation of the window.
    void steamInstallBecomesALaunch()
    {
        WindowHarness harness;
        *harness.wineReady = true;
        qputenv("FAKE_RECORD_DIR", harness.sandbox.recordDir().toUtf8());
        harness.open();
        const GameEntry steam = harness.addSteam();
        harness.window->flow().setSelectedDestination(LibraryDestination::games());
        auto *page = harness.find<SteamGamesView>(u"game-profiles-page"_s);
        QTRY_COMPARE(actionTitle(*page), u"Open in Steam"_s);

        clickAction(*page); // Steam opened the page: the install is pending
        QTRY_COMPARE(actionTitle(*page), u"Continue in Steam"_s);

        // Steam installs it on another drive while the user stays in Steam.
        const QString apps = addSteamLibraryOnDriveD(steam, harness.sandbox.path(u"d"_s));
        const auto *watcher = harness.window->findChild<SteamLibraryWatcher *>();
        QTRY_VERIFY(watcher
            && watcher->watchedPaths().contains( // the list is followed
                steam.prefixPath + u"/dosdevices/d:/SteamLibrary/steamapps"_s));
        installSteamGameIn(apps, u"730"_s);
        QTRY_COMPARE(harness.window->currentAlert()->informativeText(),
            u"Counter-Strike 2 finished installing and is ready in your Quillmere library."_s);
        QCOMPARE(harness.library->entries().size(), 2); // the shortcut, added by itself
        QTRY_COMPARE(actionTitle(*page), u"Launch Counter-Strike 2"_s);
        clickAction(*page);
        QTRY_VERIFY(recordedArguments(harness.sandbox.recordDir(), u"wine"_s).contains(u"730"_s));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
