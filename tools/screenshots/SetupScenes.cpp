#include "SetupScenes.h"

#include "support/SetupSupport.h"
#include "ui/setup/RuntimeSetupView.h"

#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace SetupScenes {

namespace {

constexpr int stallMs = 600000; // a server that never gets round to answering
const QString wineRoute = u"/wine.tar.xz"_s;
const QString steamRoute = u"/client/installer/SteamSetup.exe"_s;

// An Intel Mac in a temporary folder; every download stalls unless a scene serves it.
SetupContext intelMac(
    const Sandbox &sandbox, LoopbackServer &server, bool gstreamer, bool packagedWine)
{
    SetupSystem system = SetupSystem::forMac(u"x86_64"_s);
    system.gstreamerPaths = {sandbox.path(u"probe/GStreamer.framework/Versions/Current"_s)};
    if (gstreamer)
        writeFile(system.gstreamerPaths.first(), "");
    SetupContext context = setupContext(sandbox, server, system);
    LoopbackServer::Response stalled;
    stalled.delayMs = stallMs;
    for (const QString &route : {u"/gstreamer.pkg"_s, wineRoute, steamRoute})
        server.route(route, stalled);
    if (packagedWine) {
        installFakeRuntime(sandbox.path(u"homebrew/bin"_s));
        context.places.binaries = {{sandbox.path(u"homebrew/bin/wine"_s), {}}};
    }
    return context;
}

// Lays a freshly shown sheet out without running queued calls, which would start the setup.
void settle()
{
    for (int pass = 0; pass < 4; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

class Scene
{
public:
    Scene(QWidget *window, const SetupContext &context, bool advanced)
        : m_sheet(new RuntimeSetupView(context, advanced, window))
    {
        m_sheet->show();
    }
    ~Scene()
    {
        m_sheet->close();
        delete m_sheet;
    }
    RuntimeSetupView &sheet() { return *m_sheet; }
    RuntimeSetupModel &model() { return m_sheet->model(); }

    // Waits for the state, lets the layout settle, then hands the sheet over.
    void captureWhen(const QString &name, const std::function<bool()> &reached,
        const std::function<void(const QString &, QWidget *)> &capture, int timeoutMs = 15000)
    {
        if (!QTest::qWaitFor(reached, timeoutMs))
            qWarning("%s: the sheet never reached its state", qPrintable(name));
        QTest::qWait(150);
        capture(name, m_sheet);
    }

private:
    RuntimeSetupView *m_sheet;
};

} // namespace

void render(
    QWidget *window, const std::function<void(const QString &name, QWidget *sheet)> &capture)
{
    LoopbackServer server;
    {
        // Captured as it first appears, before the automatic run starts on the next turn of
        // the event loop.
        Sandbox sandbox;
        Scene scene(window, intelMac(sandbox, server, false, false), false);
        settle();
        capture(u"setup-fresh"_s, &scene.sheet());
    }
    {
        Sandbox sandbox;
        LoopbackServer::Response slow {200, QByteArray(100000, 'w')};
        slow.delayMs = 200; // Qt reports no progress in a reply's first 100 ms
        slow.chunkSize = 42000;
        slow.chunkDelayMs = stallMs;
        const SetupContext context = intelMac(sandbox, server, true, false);
        server.route(wineRoute, slow);
        Scene scene(window, context, false);
        scene.captureWhen(
            u"setup-downloading"_s,
            [&] { return scene.model().nextSetupActionTitle().endsWith(u" 42%"_s); }, capture);
    }
    {
        Sandbox sandbox;
        SetupContext context = intelMac(sandbox, server, true, false);
        const QByteArray archive
            = readFile(buildWineArchive(sandbox.path(u"wine.tar.xz"_s), ArchiveLayout::good));
        server.route(wineRoute, {200, archive});
        context.sources.wineSHA256 = sha256Hex(archive);
        Scene scene(window, context, false);
        scene.captureWhen(
            u"setup-approval"_s,
            [&] {
                return scene.model().automaticSetupPause() == AutomaticSetupPause::wineApproval;
            },
            capture, 60000);
    }
    {
        Sandbox sandbox;
        Scene scene(window, intelMac(sandbox, server, true, true), false);
        scene.captureWhen(
            u"setup-ready"_s,
            [&] {
                return scene.model().isReadyForWindowsApps()
                    && !scene.model().statusMessage().isEmpty();
            },
            capture);
    }
    {
        Sandbox sandbox;
        Scene scene(window, intelMac(sandbox, server, true, true), false);
        if (QTest::qWaitFor([&] { return scene.model().isReadyForWindowsApps(); }, 5000)) {
            if (auto *steam = scene.sheet().findChild<QPushButton *>(u"installSteamButton"_s))
                steam->click();
        }
        scene.captureWhen(
            u"setup-installing-steam"_s, [&] { return scene.model().isInstallingSteam(); },
            capture);
    }
    {
        Sandbox sandbox;
        Scene scene(window, intelMac(sandbox, server, false, false), false);
        scene.sheet().resize(570, 500);
        settle();
        scene.sheet().findChild<QToolButton *>(u"advancedToggle"_s)->click();
        capture(u"setup-no-runtime-advanced"_s, &scene.sheet());
    }
}

} // namespace SetupScenes
