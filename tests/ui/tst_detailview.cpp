#include "WindowHarness.h"
#include "ui/kit/SteamArtworkView.h"
#include "ui/kit/Widgets.h"
#include "ui/library/GameDetailView.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

class TestDetailView : public QObject
{
    Q_OBJECT

    WindowHarness harness; // its server and web access; no window opens
    LoopbackServer &server = harness.server;
    GameProfileCatalogStore catalog {harness.web};

    GameEntry entry(const QString &name) const { return harness.sandbox.readyEntry(name); }

private Q_SLOTS:
    void initTestCase()
    {
        ImageLoader::shared().setCacheDirectory(harness.sandbox.path(u"cache"_s));

        QImage header(92, 43, QImage::Format_RGB32);
        header.fill(Qt::darkCyan);
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        header.save(&png, "PNG");
        for (const QString &path : {u"/header.png"_s, u"/other.png"_s})
            server.route(path, {200, png.data(), {{"Content-Type", "image/png"}}});
        server.route(u"/ISteamChartsService/GetMostPlayedGames/v1/"_s,
            {200, R"({"response": {"ranks": []}})"});
        server.handle(u"/api/appdetails"_s, [this](const QString &target) {
            const QString app = QUrlQuery(QUrl(target).query()).queryItemValue(u"appids"_s);
            const QJsonObject data {{u"name"_s, u"Store name"_s},
                {u"header_image"_s, server.url(u"/header.png"_s).toString()}};
            const QJsonObject answer {{app, QJsonObject {{u"success"_s, true}, {u"data"_s, data}}}};
            return LoopbackServer::Response {200, QJsonDocument(answer).toJson()};
        });
    }

    // An entry no profile matches shows the placeholder and asks nothing; renamed to a game's
    // name, it shows the genre and the store's image, fetched once.
    void artworkFollowsTheMatchedProfile()
    {
        const GameCompatibilityProfile profile = *std::find_if(catalog.games().begin(),
            catalog.games().end(), [](const auto &game) { return game.appID.has_value(); });
        GameDetailView view(catalog);
        view.setEntry(entry(u"Spreadsheet Wizard 97"_s), false);
        view.show();
        QTest::qWait(100);
        QCOMPARE(view.findChild<QLabel *>(u"heroSubtitle"_s)->text(), u"Windows app"_s);
        QCOMPARE(view.artworkView()->symbol(), u"gamecontroller.fill"_s);
        QVERIFY(!view.artworkView()->hasImage() && !view.artworkView()->isLoading());
        QCOMPARE(server.totalRequests(), 0);

        const GameEntry game = entry(profile.name.toLower()); // as a user might type it
        view.setEntry(game, false);
        QCOMPARE(view.findChild<QLabel *>(u"heroSubtitle"_s)->text(), profile.genre);
        QTRY_VERIFY(view.artworkView()->hasImage());
        QCOMPARE(server.requestCount(u"/header.png"_s), 1);
        // A change of running state is not a new entry: no second trip to the store.
        const int before = server.totalRequests();
        view.setEntry(game, true);
        QTest::qWait(50);
        QCOMPARE(server.totalRequests(), before);
        QVERIFY(view.artworkView()->hasImage());
    }

    // Idle: Return launches, stopping the prefix asks first, and the game file's and prefix's
    // cards reveal them (the runtime's has no button). Running: the other button, no editing,
    // and Return launches nothing.
    void idleThenRunning()
    {
        GameDetailView view(catalog);
        view.setEntry(entry(u"Tool"_s), true); // the other state first: the switch must stick
        view.setEntry(entry(u"Tool"_s), false);
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QSignalSpy launches(&view, &GameDetailView::launchRequested);
        QSignalSpy stops(&view, &GameDetailView::stopRequested);
        const auto shows = [&](const QString &shown, const QString &hidden, const QString &status) {
            QVERIFY(view.findChild<QPushButton *>(shown)->isVisible());
            QVERIFY(!view.findChild<QPushButton *>(hidden)->isVisible());
            QCOMPARE(view.findChild<Capsule *>(u"statusCapsule"_s)->text(), status);
        };
        shows(u"launchButton"_s, u"stopButton"_s, u"Ready to launch"_s);
        QVERIFY(view.findChild<QPushButton *>(u"editButton"_s)->isEnabled());
        QTest::keyClick(&view, Qt::Key_Return);
        QTRY_COMPARE(launches.count(), 1); // the button animates its click
        for (const QString &answer : {u"cancelStopButton"_s, u"confirmStopButton"_s}) {
            view.findChild<QAction *>(u"stopPrefixAction"_s)->trigger();
            auto *alert = view.findChild<QMessageBox *>(u"stopConfirmation"_s);
            QVERIFY(alert && alert->isVisible());
            QCOMPARE(stops.count(), 0);
            alert->findChild<QPushButton *>(answer)->click();
            QTRY_VERIFY(!view.findChild<QMessageBox *>(u"stopConfirmation"_s));
        }
        QCOMPARE(stops.count(), 1);
        QSignalSpy files(&view, &GameDetailView::showFilesRequested);
        QSignalSpy prefix(&view, &GameDetailView::showPrefixRequested);
        auto reveal = [&view](const QString &card) {
            return view.findChild<QWidget *>(card)->findChild<QToolButton *>(u"revealButton"_s);
        };
        QVERIFY(!reveal(u"runtimeCard"_s));
        reveal(u"executableCard"_s)->click();
        reveal(u"prefixCard"_s)->click();
        QCOMPARE(files.count(), 1);
        QCOMPARE(prefix.count(), 1);

        view.setEntry(entry(u"Tool"_s), true);
        shows(u"stopButton"_s, u"launchButton"_s, u"Wine session active"_s);
        QVERIFY(!view.findChild<QPushButton *>(u"editButton"_s)->isEnabled());
        QTest::keyClick(&view, Qt::Key_Return);
        QTest::keyClick(&view, Qt::Key_Enter);
        QTest::qWait(200);
        QCOMPARE(launches.count(), 1);
    }

    void viewsOfOneImageShareOneRequest()
    {
        SteamArtworkView first, second;
        const QUrl url = server.url(u"/other.png"_s);
        first.setArtwork(url, u"car.fill"_s, false);
        second.setArtwork(url, u"car.fill"_s, false);
        QTRY_VERIFY(first.hasImage() && second.hasImage());
        QCOMPARE(server.requestCount(u"/other.png"_s), 1);
        QVERIFY(ImageLoader::shared().cached(url));
    }
};

QTEST_MAIN(TestDetailView)
#include "tst_detailview.moc"
