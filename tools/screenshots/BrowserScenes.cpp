#include "BrowserScenes.h"
#include "games/SteamShortcuts.h"

#include "profiles/SteamGameCatalog.h"
#include "ui/WindowHarness.h"
#include "ui/profiles/SteamGamesView.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;
using namespace Screens;

namespace BrowserScenes {

namespace {

GameCompatibilityProfile profileWith(const QList<GameStorefront> &storefronts)
{
    for (const GameCompatibilityProfile &profile : SteamGameCatalog::games()) {
        if (profile.storefronts == storefronts)
            return profile;
    }
    return SteamGameCatalog::games().first();
}

// The whole guide, however tall, as the reader scrolls through it.
void guide(Renderer &renderer, const QString &name, SteamGamesView *page, const QString &id)
{
    // Selecting another game and back reads every install fact again.
    page->selectGame(u"overwatch"_s == id ? u"elden-ring"_s : u"overwatch"_s);
    page->selectGame(id);
    settle(200);
    QWidget *content = page->findChild<QWidget *>(u"guideContent"_s);
    content->adjustSize();
    // The pane's own background sits behind the scroll area; put it back under the content.
    const QImage front = content->grab().toImage();
    QImage image(front.size(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(front.devicePixelRatio());
    image.fill(Theme::windowBackground());
    QPainter painter(&image);
    painter.drawImage(QPointF(0, 0), front);
    painter.end();
    renderer.save(name, image);
}

} // namespace

void render(Renderer &renderer)
{
    {
        WindowHarness harness(renderer.webHost());
        MainWindow &window = harness.open();
        auto *page = harness.find<SteamGamesView>(u"game-profiles-page"_s);
        // Drawn at once, before Steam's answers arrive: placeholders and the built-in titles.
        renderer.window(u"profiles-before-store"_s, &window, false);
        waitFor([page] { return page->hasRefreshed(); });
        settle(400); // the header images, once fetched
        renderer.window(u"profiles-after-store"_s, &window);
        harness.find<QLineEdit>(u"searchField"_s)->setText(u"Zelda"_s);
        renderer.window(u"profiles-no-results"_s, &window);
        harness.find<QLineEdit>(u"searchField"_s)->clear();
        guide(renderer, u"guide-set-up-wine"_s, page, u"counter-strike-2"_s);
    }

    WindowHarness harness(renderer.webHost());
    *harness.wineReady = true;
    MainWindow &window = harness.open();
    auto *page = harness.find<SteamGamesView>(u"game-profiles-page"_s);
    waitFor([page] { return page->hasRefreshed(); });
    const QString id = u"counter-strike-2"_s;
    guide(renderer, u"guide-set-up-steam"_s, page, id);
    guide(renderer, u"guide-battle-net"_s, page, profileWith({GameStorefront::battleNet}).id);

    const GameEntry steam = harness.addSteam();
    window.flow().setSelectedDestination(LibraryDestination::games());
    guide(renderer, u"guide-open-in-steam"_s, page, id);
    guide(renderer, u"guide-store-picker"_s, page,
        profileWith({GameStorefront::steam, GameStorefront::battleNet}).id);

    GameCompatibilityProfile game;
    for (const GameCompatibilityProfile &profile : SteamGameCatalog::games()) {
        if (profile.id == id)
            game = profile;
    }
    SteamShortcuts(*harness.library).openSteamGamePage(game);
    guide(renderer, u"guide-continue-in-steam"_s, page, id);
    TestSupport::installSteamGame(steam, *game.appID);
    guide(renderer, u"guide-add-to-library"_s, page, id);
    SteamShortcuts(*harness.library).addSteamGameShortcut(game);
    window.flow().setSelectedDestination(LibraryDestination::games());
    guide(renderer, u"guide-launch"_s, page, id);
}

} // namespace BrowserScenes
