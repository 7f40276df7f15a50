// quillmere-screenshots OUTDIR: renders every screen of the window to PNG, in light and dark,
// from fixed sample data (the fake Wine, a temporary data folder, artwork served on loopback).
#include "BrowserScenes.h"
#include "Renderer.h"
#include "SetupScenes.h"
#include "library/PlayTimes.h"

#include "profiles/ProfileEndpoints.h"
#include "profiles/SteamGameCatalog.h"
#include "support/LoopbackServer.h"
#include "ui/WindowHarness.h"
#include "ui/kit/SteamArtworkView.h"
#include "ui/kit/Theme.h"
#include "ui/library/GameDetailView.h"
#include "ui/rules/PlatformWording.h"

#include <QApplication>
#include <QBuffer>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace TestSupport;

using namespace Screens;

namespace {

// A made-up header image: a dusk landscape in the store's 460:215 shape.
QByteArray sampleArtwork()
{
    QImage image(920, 430, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 430);
    sky.setColorAt(0, QColor(0x1b, 0x10, 0x3a));
    sky.setColorAt(0.55, QColor(0xc2, 0x4d, 0x2c));
    sky.setColorAt(1, QColor(0xf0, 0xa3, 0x4a));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(QPointF(640, 250), 120);
    sun.setColorAt(0, QColor(255, 236, 180, 255));
    sun.setColorAt(1, QColor(255, 200, 120, 0));
    painter.setBrush(sun);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(640, 250), 120, 120);
    const QList<QPair<QColor, int>> ridges = {{QColor(0x3b, 0x1f, 0x3f), 250},
        {QColor(0x26, 0x13, 0x2c), 300}, {QColor(0x12, 0x0a, 0x18), 350}};
    for (const auto &[color, base] : ridges) {
        QPainterPath ridge(QPointF(0, 430));
        for (int x = 0; x <= 920; x += 46)
            ridge.lineTo(x, base - 40 * std::sin(x / 97.0 + base) - 25 * std::cos(x / 41.0));
        ridge.lineTo(920, 430);
        painter.setBrush(color);
        painter.drawPath(ridge);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// Steam's two services on loopback: every app has the sample header image; no chart.
void serveSteam(LoopbackServer &server)
{
    server.route(u"/header.jpg"_s, {200, sampleArtwork(), {{"Content-Type", "image/jpeg"}}});
    server.route(u"/ISteamChartsService/GetMostPlayedGames/v1/"_s, {404, {}});
    const QString image = server.url(u"/header.jpg"_s).toString();
    QHash<QString, QString> names;
    for (const GameCompatibilityProfile &profile : SteamGameCatalog::games())
        names.insert(profile.appID.value_or(QString()), profile.name);
    server.handle(u"/api/appdetails"_s, [image, names](const QString &target) {
        const QString appID = target.section(u"appids="_s, 1).section(u'&', 0, 0);
        const QJsonObject data {{u"name"_s, names.value(appID)}, {u"header_image"_s, image},
            {u"is_free"_s, false}, {u"platforms"_s, QJsonObject {{u"mac"_s, false}}}};
        const QJsonObject answer {{appID, QJsonObject {{u"success"_s, true}, {u"data"_s, data}}}};
        return LoopbackServer::Response {200, QJsonDocument(answer).toJson(QJsonDocument::Compact),
            {{"Content-Type", "application/json"}}};
    });
    // The web site answers with the included catalogue, so the page reads "Synced from …".
    QJsonArray games;
    for (const GameCompatibilityProfile &profile : SteamGameCatalog::games())
        games.append(profile.toJson());
    const QJsonObject catalog {{u"schemaVersion"_s, 1}, {u"games"_s, games}};
    server.route(u"/game-profiles.json"_s,
        {200, QJsonDocument(catalog).toJson(QJsonDocument::Compact),
            {{"Content-Type", "application/json"}}});
}

GameEntry sampleEntry(const Sandbox &sandbox, const QString &name)
{
    GameEntry entry = sandbox.readyEntry(name);
    entry.executablePath = sandbox.path(name + u"/drive_c/Games/"_s + name + u"/Launcher.exe"_s);
    // A real program with an icon of its own, when the build made one, for the notepad.
    const QString program = QStringLiteral(QUILLMERE_ICON_PROGRAM);
    writeFile(entry.executablePath,
        name == u"Notepad++" && !program.isEmpty() ? readFile(program) : "MZ"_ba);
    entry.environment.insert(u"FAKE_WINE_SLEEP"_s, u"20"_s);
    return entry;
}

void renderAll(
    QApplication &app, Theme::Appearance appearance, const QString &folder, const QUrl &webHost)
{
    Theme::apply(app, appearance);
    Renderer renderer(
        folder, appearance == Theme::Appearance::dark ? u"dark"_s : u"light"_s, webHost);

    {
        WindowHarness harness(renderer.webHost());
        MainWindow &window = harness.open();
        renderer.window(u"window-profiles-empty"_s, &window);
        window.setFileDropTargeted(true);
        renderer.window(u"window-drop-overlay"_s, &window);
        window.setFileDropTargeted(false);
        window.showEditor(std::nullopt);
        renderer.overWindow(u"editor-add"_s, &window, window.currentSheet());
        window.currentSheet()->close();
        settle();
        // Downloads, approval and Rosetta exist only on macOS, so these scenes use its wording.
        const PlatformWording::Platform platform = PlatformWording::current();
        PlatformWording::setCurrent(PlatformWording::Platform::macOS);
        SetupScenes::render(&window, [&](const QString &name, QWidget *sheet) {
            renderer.overWindow(name, &window, sheet, false, false);
        });
        PlatformWording::setCurrent(platform);
    }
    BrowserScenes::render(renderer);

    WindowHarness harness(renderer.webHost());
    *harness.wineReady = true;
    MainWindow &window = harness.open();
    const QStringList names
        = {u"elden ring"_s, u"Hogwarts Legacy"_s, u"Notepad++"_s, u"Overwatch"_s, u"Winamp"_s};
    QList<GameEntry> entries;
    for (const QString &name : names) {
        entries << sampleEntry(harness.sandbox, name);
        harness.library->add(entries.last());
    }
    // Read by the window when the launch below writes its session.
    PlayTimes::update(harness.sandbox.dataFolder(), [&](PlayRecords &records) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        records[entries.at(0).id] = {3 * 3600 + 12 * 60, now.addSecs(-60), {}, {}};
        records[entries.at(2).id] = {47 * 60, now.addDays(-3), {}, {}};
    });
    harness.library->launch(entries.at(1));
    waitFor([&] { return harness.library->isRunning(entries.at(1).id); });

    auto show = [&](const GameEntry &entry) {
        window.flow().setSelectedDestination(LibraryDestination::app(entry.id));
        auto *artwork
            = harness.find<GameDetailView>(u"gameDetail"_s)->findChild<SteamArtworkView *>();
        waitFor([&] { return !artwork || artwork->hasImage(); }, 5000);
    };
    show(entries.at(0));
    renderer.window(u"window-detail-artwork"_s, &window);
    show(entries.at(1));
    renderer.window(u"window-detail-running"_s, &window);
    show(entries.at(2));
    renderer.window(u"window-detail-plain"_s, &window);
    auto *more = harness.find<QToolButton>(u"moreButton"_s);
    // Opened upwards: the button is near the window's bottom edge.
    more->menu()->popup(more->mapToGlobal(QPoint(0, -more->menu()->sizeHint().height() - 4)));
    renderer.popup(u"window-detail-menu"_s, &window, more->menu());
    more->menu()->hide();

    window.showEditor(entries.at(2));
    renderer.overWindow(u"editor-edit"_s, &window, window.currentSheet());
    window.currentSheet()->close();
    settle();

    harness.library->setNotice({}); // the launch's notice, read
    settle();
    window.confirmRemoval(entries.at(2));
    renderer.overWindow(u"alert-remove"_s, &window, window.currentAlert(), true);
    window.currentAlert()->reject();
    settle();

    // The preparing capsule shows while a dropped program's prefix is being made.
    const QString dropped = harness.sandbox.path(u"Downloads/Setup.exe"_s);
    writeFile(dropped, "MZ");
    qputenv("FAKE_WINEBOOT_REGISTRY", "late");
    window.runFile(dropped);
    renderer.window(u"window-preparing"_s, &window);
    waitFor([&] { return harness.library->preparingExecutable().isEmpty(); });
    qunsetenv("FAKE_WINEBOOT_REGISTRY");
    if (QWidget *alert = window.currentAlert())
        alert->close();
    settle();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Quillmere"_s);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmere-screenshots OUTDIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    LoopbackServer server;
    serveSteam(server);
    for (Theme::Appearance appearance : {Theme::Appearance::light, Theme::Appearance::dark})
        renderAll(app, appearance, folder, server.url(u"/"_s));
    return 0;
}
