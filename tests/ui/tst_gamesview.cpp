#include "WindowHarness.h"

#include "games/SteamLibraryWatcher.h"
#include "profiles/SteamGameCatalog.h"
#include "ui/profiles/SteamGamesView.h"
#include "ui/setup/RuntimeSetupView.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {

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

class TestGamesView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

QTEST_MAIN(TestGamesView)
#include "tst_gamesview.moc"
