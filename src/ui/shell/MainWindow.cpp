#include "ui/shell/MainWindow.h"

#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/kit/Widgets.h"
#include "ui/library/GameDetailView.h"
#include "ui/library/LibrarySidebar.h"
#include "ui/profiles/SteamGamesView.h"
#include "ui/rules/LibraryPresentation.h"
#include "ui/rules/PlatformWording.h"
#include "ui/shell/WindowOverlays.h"
#include "ui/shell/WindowToolbar.h"

#include "games/SteamLibraryWatcher.h"
#include "games/SteamShortcuts.h"
#include "library/LibraryModel.h"
#include "library/PrefixStorage.h"
#include "platform/Background.h"
#include "platform/DesktopServices.h"
#include "platform/ThemeIcon.h"
#include "profiles/GameProfileCatalogStore.h"
#include "setup/MachineProbe.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

GameProfileCatalogStore &catalogOf(const WindowContext &context)
{
    Q_ASSERT_X(context.catalog, "MainWindow", "the window needs the application's catalogue");
    return *context.catalog;
}

} // namespace

MainWindow::MainWindow(LibraryModel &library, WindowContext context, QWidget *parent)
    : QMainWindow(parent)
    , m_library(library)
    , m_context(std::move(context))
    , m_flow(library,
          [setup = m_context.setupContext] {
              const SetupContext context = setup();
              return MachineProbe::of(context).readyRuntime(context);
          })
    , m_sheets(*this, library, m_flow, m_context)
{
    setObjectName(u"libraryWindow"_s);
    setWindowTitle(u"Quillmere"_s);
    setWindowIcon(Symbols::applicationIcon());
    setMinimumSize(880, 600);
    resize(1120, 760);
    setAcceptDrops(true);
    setUnifiedTitleAndToolBarOnMac(true);

    const WindowToolbarActions actions = addWindowToolbar(*this);
    m_runAction = actions.run;
    m_addAction = actions.add;

    // The overlays float over the whole content, so they are children of a plain holder: a
    // splitter would take any child as another pane.
    auto *content = new QWidget(this);
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    auto *splitter = new QSplitter(content);
    contentLayout->addWidget(splitter);
    splitter->setObjectName(u"splitter"_s);
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(1);
    m_sidebar = new LibrarySidebar(library, splitter);
    m_sidebar->setMinimumWidth(200);
    m_detail = new QStackedWidget(splitter);
    m_detail->setObjectName(u"detailPane"_s);
    m_gamesPage = buildGamesPage();
    m_detailView = new GameDetailView(catalogOf(m_context), m_detail);
    m_detailView->setObjectName(u"gameDetail"_s);
    m_emptyState = buildEmptyState();
    m_detail->addWidget(m_gamesPage);
    m_detail->addWidget(m_detailView);
    m_detail->addWidget(m_emptyState);
    splitter->addWidget(m_sidebar);
    splitter->addWidget(m_detail);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 870});
    setCentralWidget(content);

    m_overlays = std::make_unique<WindowOverlays>(content);

    connect(m_sidebar, &LibrarySidebar::destinationPicked, &m_flow,
        &WindowFlow::setSelectedDestination);
    connect(m_sidebar, &LibrarySidebar::editRequested, this,
        [this](const GameEntry &entry) { showEditor(entry); });
    connect(m_sidebar, &LibrarySidebar::revealRequested, this,
        [this](const GameEntry &entry) { reveal(entry.executablePath); });
    connect(m_sidebar, &LibrarySidebar::removeRequested, this, &MainWindow::confirmRemoval);
    connect(
        m_sidebar, &LibrarySidebar::menuShortcutRequested, this, &MainWindow::toggleMenuShortcut);

    // Each of the pane's requests acts on the entry as the library holds it now.
    auto onShownEntry = [this](auto signal, auto action) {
        connect(m_detailView, signal, this, [this, action] {
            if (const GameEntry *entry = m_library.entry(m_detailView->entry().id))
                action(GameEntry(*entry));
        });
    };
    onShownEntry(
        &GameDetailView::launchRequested, [this](const GameEntry &e) { m_library.launch(e); });
    onShownEntry(&GameDetailView::stopRequested, [this](const GameEntry &e) { m_library.stop(e); });
    onShownEntry(&GameDetailView::editRequested, [this](const GameEntry &e) { showEditor(e); });
    onShownEntry(
        &GameDetailView::openLogRequested, [this](const GameEntry &e) { m_library.openLog(e); });
    onShownEntry(&GameDetailView::showFilesRequested,
        [this](const GameEntry &e) { reveal(e.executablePath); });
    onShownEntry(
        &GameDetailView::showPrefixRequested, [this](const GameEntry &e) { reveal(e.prefixPath); });
    onShownEntry(
        &GameDetailView::removeRequested, [this](const GameEntry &e) { confirmRemoval(e); });
    onShownEntry(&GameDetailView::menuShortcutRequested,
        [this](const GameEntry &e) { toggleMenuShortcut(e); });
    m_detailView->setMenuShortcutQuery([this](const QUuid &id) { return hasMenuShortcut(id); });
    // Entries renamed or removed while the window was closed.
    m_library.followShortcuts();
    onShownEntry(&GameDetailView::deleteRequested, [this](const GameEntry &e) {
        if (const std::optional<qint64> bytes = m_library.prefixBytes(e))
            m_sheets.confirmRemoval(e, PrefixStorage::byteText(*bytes));
    });

    connect(&m_flow, &WindowFlow::selectedDestinationChanged, this, &MainWindow::showDestination);
    connect(
        &m_flow, &WindowFlow::runtimeSetupRequested, &m_sheets, &WindowSheets::showRuntimeSetup);
    connect(&library, &LibraryModel::entriesChanged, this, &MainWindow::showDestination);
    connect(&library, &LibraryModel::runningIDsChanged, this, &MainWindow::showDestination);
    connect(&library, &LibraryModel::playRecordsChanged, this, &MainWindow::showDestination);
    connect(&library, &LibraryModel::prefixSizesChanged, this, &MainWindow::showDestination);
    connect(
        &library, &LibraryModel::preparingExecutableChanged, this, &MainWindow::updatePreparing);
    connect(&library, &LibraryModel::errorMessageChanged, &m_sheets, &WindowSheets::showNextAlert);
    connect(&library, &LibraryModel::noticeChanged, &m_sheets, &WindowSheets::showNextAlert);

    // Other windows and commands may change the library; the window shows it within a moment.
    library.followFileChanges();
    // Shortcuts of games Steam has uninstalled since the last start go.
    SteamShortcuts(library).removeUninstalledSteamGameShortcuts(m_context.catalog->games());
    // Steam's finished installs come in, when it finishes a game the user is waiting for.
    new SteamLibraryWatcher(
        library, [catalog = m_context.catalog] { return catalog->games(); }, this);
    // The first page is chosen before the window shows, so the profiles page does not start
    // its refresh for a window that opens on an entry.
    m_flow.initializeDestination();
    showDestination();
    updatePreparing();
}

MainWindow::~MainWindow() = default;

QWidget *MainWindow::buildGamesPage()
{
    auto *page = new SteamGamesView(
        m_library, catalogOf(m_context), [this] { return m_flow.readyRuntime().has_value(); },
        m_context.desktop, m_detail);
    connect(page, &SteamGamesView::setUpStoreRequested, &m_flow, &WindowFlow::setUpStore);
    return page;
}

QWidget *MainWindow::buildEmptyState()
{
    auto *page = new QWidget(m_detail);
    page->setObjectName(u"emptyState"_s);
    auto *column = new QVBoxLayout(page);
    column->setAlignment(Qt::AlignCenter);
    column->setSpacing(10);
    auto *symbol = new SymbolView(u"wineglass"_s, 46, Theme::secondaryText(), page);
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    column->addSpacing(4);
    auto *title = makeLabel(u"No Games Yet"_s, Theme::TextStyle::title2, page, QFont::DemiBold);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    auto *text = makeLabel(u"Choose a Windows .exe to launch it in Wine, or add an app to your "
                           "library. You can also drag an .exe onto this window."_s,
        Theme::TextStyle::body, page, QFont::Normal, true);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    text->setMaximumWidth(420);
    column->addWidget(text, 0, Qt::AlignHCenter);
    column->addSpacing(8);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    auto *explore = makeButton(u"Explore Game Profiles"_s, u"gamecontroller"_s, u"bordered"_s,
        u"exploreProfilesButton"_s, page);
    connect(explore, &QPushButton::clicked, this,
        [this] { m_flow.setSelectedDestination(LibraryDestination::games()); });
    auto *run = makeButton(
        u"Run Windows .exe…"_s, u"play.rectangle"_s, u"prominent"_s, u"emptyRunButton"_s, page);
    connect(run, &QPushButton::clicked, this, &MainWindow::chooseExecutableToRun);
    m_preparingDisables << run;
    buttons->addWidget(explore);
    buttons->addWidget(run);
    column->addLayout(buttons);
    return page;
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    m_flow.initializeDestination();
    m_overlays->place();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_overlays->place();
}

void MainWindow::showDestination()
{
    const LibraryDestination destination = m_flow.selectedDestination();
    m_sidebar->setDestination(destination);
    if (destination.isGames()) {
        m_detail->setCurrentWidget(m_gamesPage);
        return;
    }
    const GameEntry *entry = m_library.entry(destination.id);
    if (!entry) {
        m_detail->setCurrentWidget(m_emptyState);
        return;
    }
    m_detailView->setEntry(
        *entry, m_library.isRunning(entry->id), m_library.isLaunchable(entry->id));
    m_library.measurePrefix(*entry);
    const std::optional<qint64> prefixBytes = m_library.prefixBytes(*entry);
    m_detailView->setPrefixStorage(prefixBytes ? PrefixStorage::byteText(*prefixBytes) : QString(),
        m_library.canDeletePrefix(*entry));
    m_detailView->setPlayLine(LibraryPresentation::playLine(
        m_library.playRecord(entry->id), QDateTime::currentDateTime()));
    m_detail->setCurrentWidget(m_detailView);
}

void MainWindow::updatePreparing()
{
    const QString preparing = m_library.preparingExecutable();
    const bool busy = !preparing.isEmpty();
    m_runAction->setEnabled(!busy);
    m_addAction->setEnabled(!busy);
    for (QWidget *widget : std::as_const(m_preparingDisables))
        widget->setEnabled(!busy);
    m_overlays->setPreparing(preparing);
}

void MainWindow::chooseExecutableToRun()
{
    if (!m_library.preparingExecutable().isEmpty())
        return;
    FilePanelRequest request;
    request.title = u"Choose a Windows executable to run"_s;
    request.message
        = u"Quillmere will create a Wine prefix, launch the executable, and add it to your library."_s;
    request.preferredSuffixes = {u"exe"_s};
    QPointer<MainWindow> self(this);
    m_context.filePanels(this, request, [self](const QString &path) {
        if (self)
            self->runFile(path);
    });
}

QString MainWindow::launchEntry(const QUuid &id)
{
    const GameEntry *entry = m_library.entry(id);
    if (!entry) {
        QString gone = u"This applications menu shortcut is for a program that is no "
                       "longer in Quillmere’s library."_s;
        m_library.setErrorMessage(gone);
        return gone;
    }
    m_library.setSelectedID(id);
    const Outcome outcome = m_library.launch(*entry);
    return outcome.failed() ? outcome.message : QString();
}

std::optional<bool> MainWindow::hasMenuShortcut(const QUuid &id) const
{
    if (PlatformWording::isMac() || !m_library.shortcuts().isEnabled())
        return std::nullopt;
    return m_library.shortcuts().has(id);
}

void MainWindow::toggleMenuShortcut(const GameEntry &entry)
{
    const MenuShortcuts shortcuts = m_library.shortcuts();
    const bool adding = !shortcuts.has(entry.id);
    Background::run(
        this,
        [shortcuts, entry, adding] {
            if (!adding)
                return shortcuts.remove(entry);
            return shortcuts.add(entry,
                entry.launchesSteamGame() ? std::nullopt
                                          : WindowsIcon::forTheme(entry.executablePath));
        },
        [this](const Expected<void, QString> &done) {
            if (!done)
                m_library.setErrorMessage(done.error());
        });
}

QString MainWindow::runFile(const QString &path)
{
    const QString waiting = m_flow.pendingExecutable();
    if (!waiting.isEmpty() && waiting != path) {
        // The flow keeps one file for after Wine setup; the one waiting longer goes first.
        m_library.setErrorMessage(
            u"Quillmere is already waiting for Wine setup to run “%1”, so it "
            "didn’t take “%2”."_s.arg(QFileInfo(waiting).fileName(), QFileInfo(path).fileName()));
        return m_library.errorMessage();
    }
    // What the model refuses while it takes the file is the answer.
    QString refusal;
    bool setupRequested = false;
    const QMetaObject::Connection refused
        = connect(&m_library, &LibraryModel::errorMessageChanged, this, [this, &refusal] {
              if (!m_library.errorMessage().isEmpty())
                  refusal = m_library.errorMessage();
          });
    const QMetaObject::Connection setup = connect(&m_flow, &WindowFlow::runtimeSetupRequested, this,
        [&setupRequested] { setupRequested = true; });
    m_flow.runExecutable(path);
    disconnect(refused);
    disconnect(setup);
    if (setupRequested && m_flow.pendingExecutable().isEmpty()) {
        // The setup sheet could not open over another sheet, and the file went with it.
        m_library.setErrorMessage(
            u"Quillmere can’t set up Wine to run “%1” while another sheet is open."_s.arg(
                QFileInfo(path).fileName()));
        refusal = m_library.errorMessage();
    }
    return refusal;
}

void MainWindow::reveal(const QString &path)
{
    if (!m_context.desktop)
        return;
    m_context.desktop->revealInFileManager(
        {path}, [library = QPointer<LibraryModel>(&m_library), path] {
            if (library)
                library->setErrorMessage(DesktopServices::cannotReveal(path));
        });
}

void MainWindow::setFileDropTargeted(bool targeted)
{
    m_isFileDropTargeted = targeted;
    m_overlays->setDropTargeted(targeted);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return; // a web link is not a program to run
    event->acceptProposedAction();
    setFileDropTargeted(true);
}

void MainWindow::dragLeaveEvent(QDragLeaveEvent *)
{
    setFileDropTargeted(false);
}

void MainWindow::dropEvent(QDropEvent *event)
{
    setFileDropTargeted(false);
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    // Only the first item counts; the file itself is checked by the direct launch.
    runFile(urls.first().toLocalFile());
}
