#pragma once

#include "profiles/GameProfileCatalogStore.h"
#include "profiles/ProfileEndpoints.h"
#include "support/SetupSupport.h"
#include "ui/kit/ImageLoader.h"
#include "ui/shell/MainWindow.h"

// What the harness needs, and the widgets its tests look for.
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QUrl>

#include <memory>

// The real window over a sandboxed library, the fake Wine, and a machine whose Wine is ready
// or not at the test's word. Open panels answer with the test's file instead of asking.
struct WindowHarness
{
    TestSupport::Sandbox sandbox;
    LoopbackServer server; // the web site and Steam, unless the caller names another host
    QNetworkAccessManager network;
    WebAccess web {&network};
    std::shared_ptr<bool> wineReady = std::make_shared<bool>(false);
    std::shared_ptr<QString> nextChosenFile = std::make_shared<QString>();
    std::unique_ptr<GameProfileCatalogStore> catalog;
    std::unique_ptr<LibraryModel> library;
    std::unique_ptr<MainWindow> window;

    explicit WindowHarness(const QUrl &webHost = {})
    {
        web.endpoints.website = web.endpoints.steamStore = web.endpoints.steamWebAPI
            = webHost.isEmpty() ? server.url(QStringLiteral("/")) : webHost;
    }

    // A Linux desktop with GStreamer, and a package-manager Wine once `wineReady`. The Wine is
    // written once: a run may be starting it when the window asks for the context again.
    SetupContext setupContext() const
    {
        SetupContext context
            = TestSupport::machineContext(sandbox, server, QStringLiteral("linux"), true, false);
        context.dataFolder = sandbox.dataFolder();
        context.defaults = sandbox.context().defaults;
        const QString bin = sandbox.path(QStringLiteral("wine/bin"));
        if (*wineReady && !QFile::exists(bin + QStringLiteral("/wine")))
            TestSupport::installFakeRuntime(bin);
        if (*wineReady)
            context.places.binaries
                = {{bin + QStringLiteral("/wine"), QStringLiteral("Test Wine")}};
        return context;
    }

    MainWindow &open()
    {
        ImageLoader::shared().setCacheDirectory(sandbox.path(QStringLiteral("cache")));
        catalog = std::make_unique<GameProfileCatalogStore>(web);
        LibraryContext libraryContext = sandbox.context();
        libraryContext.saveInBackground = true; // as the window saves
        libraryContext.prefixWatchInterval = std::chrono::seconds(2);
        libraryContext.shortcuts
            = MenuShortcuts(sandbox.root(), QStringLiteral("/usr/bin/quillmere"));
        library = std::make_unique<LibraryModel>(libraryContext);
        WindowContext context;
        context.catalog = catalog.get();
        context.setupContext = [this] { return setupContext(); };
        context.filePanels = [chosen = nextChosenFile](QWidget *, const FilePanelRequest &,
                                 std::function<void(QString)> done) {
            if (!chosen->isEmpty())
                done(*chosen);
        };
        context.desktop = sandbox.desktop;
        window = std::make_unique<MainWindow>(*library, context);
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("the window did not become active");
        return *window;
    }

    // The Steam client in its own prefix, run by the fake Wine, added to the library.
    GameEntry addSteam() const
    {
        const GameEntry steam = sandbox.steamEntry();
        library->add(steam);
        return steam;
    }

    template <class T = QWidget> T *find(const QString &name) const
    {
        return window->findChild<T *>(name);
    }

    // Drops files on the window as the desktop would.
    void drop(const QList<QUrl> &urls) const
    {
        QMimeData data;
        data.setUrls(urls);
        const QPoint point = window->rect().center();
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        QDropEvent dropped(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &dropped);
    }
};
