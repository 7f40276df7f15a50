#include "ui/shell/MainWindow.h"

#include "ui/editor/EntryEditorView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/kit/Widgets.h"
#include "ui/library/GameDetailView.h"
#include "ui/library/LibrarySidebar.h"
#include "ui/profiles/SteamGamesView.h"
#include "ui/rules/LibraryPresentation.h"
#include "ui/rules/PlatformWording.h"
#include "ui/setup/RuntimeSetupView.h"

#include "library/LibraryModel.h"
#include "library/SteamLibraryWatcher.h"
#include "platform/DesktopServices.h"
#include "profiles/GameProfileCatalogStore.h"
#include "setup/RuntimeSetupModel.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
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
    , m_flow(library, [setup = m_context.setupContext] {
        return RuntimeSetupModel::runtimeReadyForDirectLaunch(setup());
    })
{
    setObjectName(u"libraryWindow"_s);
    setWindowTitle(u"Quillmere"_s);
    setWindowIcon(Symbols::applicationIcon());
    setMinimumSize(880, 600);
    resize(1120, 760);
    setAcceptDrops(true);
    setUnifiedTitleAndToolBarOnMac(true);

    buildToolbar();

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

    m_dropShade = new DropShade(content);
    m_dropShade->setObjectName(u"dropShade"_s);
    m_dropShade->hide();
    m_dropCapsule = new Capsule(content);
    m_dropCapsule->setObjectName(u"dropCapsule"_s);
    m_dropCapsule->setLook({Theme::cardBackground(), {}, Theme::accent(),
        Theme::font(Theme::TextStyle::callout, QFont::Medium), 14, 9, true, true});
    m_dropCapsule->setSymbol(u"arrow.down.doc.fill"_s);
    m_dropCapsule->setText(u"Drop a Windows .exe to launch it"_s);
    m_dropCapsule->setAccessibleName(u"Drop a Windows executable to launch it"_s);
    m_dropCapsule->hide();
    m_preparingCapsule = new Capsule(content);
    m_preparingCapsule->setObjectName(u"preparingCapsule"_s);
    m_preparingCapsule->setLook({Theme::cardBackground(), {}, {},
        Theme::font(Theme::TextStyle::callout), 14, 10, true, true});
    m_preparingCapsule->setSpinning(true);
    m_preparingCapsule->hide();

    connect(m_sidebar, &LibrarySidebar::destinationPicked, &m_flow,
        &WindowFlow::setSelectedDestination);
    connect(m_sidebar, &LibrarySidebar::editRequested, this,
        [this](const GameEntry &entry) { showEditor(entry); });
    connect(m_sidebar, &LibrarySidebar::revealRequested, this,
        [this](const GameEntry &entry) { reveal(entry.executablePath); });
    connect(m_sidebar, &LibrarySidebar::removeRequested, this, &MainWindow::confirmRemoval);

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

    connect(&m_flow, &WindowFlow::selectedDestinationChanged, this, &MainWindow::showDestination);
    connect(&m_flow, &WindowFlow::runtimeSetupRequested, this, &MainWindow::showRuntimeSetup);
    connect(&library, &LibraryModel::entriesChanged, this, &MainWindow::showDestination);
    connect(&library, &LibraryModel::runningIDsChanged, this, &MainWindow::showDestination);
    connect(
        &library, &LibraryModel::preparingExecutableChanged, this, &MainWindow::updatePreparing);
    connect(&library, &LibraryModel::errorMessageChanged, this, &MainWindow::showNextAlert);
    connect(&library, &LibraryModel::noticeChanged, this, &MainWindow::showNextAlert);

    // Other windows and commands may change the library; the window shows it within a moment.
    library.followFileChanges();
    // So does Steam, when it finishes a game the user is waiting for.
    new SteamLibraryWatcher(
        library, [catalog = m_context.catalog] { return catalog->games(); }, this);
    // The first page is chosen before the window shows, so the profiles page does not start
    // its refresh for a window that opens on an entry.
    m_flow.initializeDestination();
    showDestination();
    updatePreparing();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildToolbar()
{
    auto *toolbar = addToolBar(u"Quillmere"_s);
    toolbar->setObjectName(u"toolbar"_s);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(17, 17));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    auto *title = makeLabel(u"Quillmere"_s, Theme::TextStyle::headline, toolbar);
    title->setContentsMargins(12, 0, 0, 0);
    toolbar->addWidget(title);
    auto *spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    const QColor text = palette().color(QPalette::WindowText);
    auto *setup = new QToolButton(toolbar);
    setup->setObjectName(u"wineSetupButton"_s);
    setup->setProperty("kind", u"borderless"_s);
    setup->setText(u"Wine Setup"_s);
    setup->setIcon(Symbols::icon(u"wineglass"_s, text));
    setup->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setup->setToolTip(PlatformWording::text(u"Check or install Wine and its macOS requirements"_s));
    setup->setAccessibleDescription(setup->toolTip());
    connect(setup, &QToolButton::clicked, &m_flow, &WindowFlow::showRuntimeSetup);
    toolbar->addWidget(setup);

    auto *menu = new QMenu(this);
    menu->setObjectName(u"addMenu"_s);
    QAction *browse
        = menu->addAction(Symbols::icon(u"gamecontroller"_s, text), u"Browse Game Profiles"_s, this,
            [this] { m_flow.setSelectedDestination(LibraryDestination::games()); });
    browse->setObjectName(u"browseProfilesAction"_s);
    menu->addSeparator();
    m_runAction = menu->addAction(Symbols::icon(u"play.rectangle"_s, text), u"Run Windows .exe…"_s,
        this, &MainWindow::chooseExecutableToRun);
    m_runAction->setObjectName(u"runExecutableAction"_s);
    m_runAction->setShortcut(QKeySequence::Open);
    m_addAction = menu->addAction(Symbols::icon(u"plus.app"_s, text), u"Add Windows App…"_s, this,
        [this] { showEditor(std::nullopt); });
    m_addAction->setObjectName(u"addAppAction"_s);
    m_addAction->setShortcut(QKeySequence::New);
    // The menu's shortcuts work while it is closed, too.
    addAction(m_runAction);
    addAction(m_addAction);
    auto *quit = new QAction(u"Quit Quillmere"_s, this);
    quit->setObjectName(u"quitAction"_s);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    addAction(quit);

    auto *add = new QToolButton(toolbar);
    add->setObjectName(u"addButton"_s);
    add->setProperty("kind", u"borderless"_s);
    add->setIcon(Symbols::icon(u"plus"_s, text));
    add->setToolTip(u"Add a game or Windows app"_s);
    add->setAccessibleName(u"Add a game or Windows app"_s);
    add->setMenu(menu);
    add->setPopupMode(QToolButton::InstantPopup);
    toolbar->addWidget(add);
}

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
    placeOverlays();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    placeOverlays();
}

void MainWindow::placeOverlays()
{
    QWidget *area = centralWidget();
    m_dropShade->setGeometry(area->rect());
    m_dropCapsule->adjustSize();
    m_dropCapsule->move((area->width() - m_dropCapsule->width()) / 2, 12 + 8);
    m_preparingCapsule->adjustSize();
    m_preparingCapsule->move(area->width() - m_preparingCapsule->width() - 18,
        area->height() - m_preparingCapsule->height() - 18);
    m_dropShade->raise();
    m_dropCapsule->raise();
    m_preparingCapsule->raise();
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
    m_detailView->setEntry(*entry, m_library.isRunning(entry->id));
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
    m_preparingCapsule->setText(u"Preparing "_s + preparing + u"…"_s);
    m_preparingCapsule->setVisible(busy);
    placeOverlays();
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

void MainWindow::showEditor(const std::optional<GameEntry> &entry)
{
    if (currentSheet())
        return;
    if (!entry && !m_library.preparingExecutable().isEmpty())
        return;
    auto *editor = new EntryEditorView(m_library.dataFolder(), entry, m_context.filePanels, this);
    connect(editor, &QDialog::finished, editor, &QObject::deleteLater);
    const bool isEditing = entry.has_value();
    connect(
        editor, &EntryEditorView::saved, this, [this, editor, isEditing](const GameEntry &saved) {
            m_flow.saveEntry(saved, isEditing);
            editor->accept();
        });
    connect(editor, &EntryEditorView::cancelled, editor, &QDialog::reject);
    m_sheet = editor;
    editor->open();
}

void MainWindow::showRuntimeSetup()
{
    if (currentSheet()) {
        // Another sheet is up; this request ends as if the setup sheet had been closed.
        m_flow.resumeAfterSetup();
        return;
    }
    if (m_setupSheet) {
        // A closed sheet still installing Steam comes back, rather than a second install.
        m_sheet = m_setupSheet;
        m_setupSheet->open();
        return;
    }
    auto *setup = new RuntimeSetupView(m_context.setupContext(), false, this);
    m_setupSheet = setup;
    connect(setup, &RuntimeSetupView::steamAdded, &m_flow, &WindowFlow::steamAdded);
    connect(setup, &RuntimeSetupView::doneRequested, &m_flow, &WindowFlow::setupDone);
    connect(setup, &QDialog::finished, &m_flow, &WindowFlow::resumeAfterSetup);
    // A Steam install outlives a closed sheet; the sheet stays until it can hand the entry
    // over, and a failure it meets after closing reaches the window's alert.
    auto release = [this, setup] {
        if (setup->isVisible() || setup->model().isInstallingSteam())
            return;
        if (!setup->model().errorMessage().isEmpty()) {
            m_library.setErrorMessage(setup->model().errorMessage());
            setup->model().setErrorMessage({});
        }
        setup->deleteLater();
    };
    connect(setup, &QDialog::finished, setup, release);
    connect(&setup->model(), &RuntimeSetupModel::changed, setup, release);
    m_sheet = setup;
    setup->open();
}

void MainWindow::confirmRemoval(const GameEntry &entry)
{
    if (currentAlert())
        return;
    auto *alert = new QMessageBox(QMessageBox::Warning, u"Remove this entry?"_s,
        u"Remove this entry?"_s, QMessageBox::NoButton, this);
    alert->setObjectName(u"removalAlert"_s);
    styleAlert(alert);
    alert->setInformativeText(LibraryPresentation::removalMessage(entry.name));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QPushButton *remove = alert->addButton(u"Remove Entry"_s, QMessageBox::DestructiveRole);
    remove->setObjectName(u"removeEntryButton"_s);
    setButtonKind(remove, u"destructive"_s);
    QPushButton *cancel = alert->addButton(QMessageBox::Cancel);
    cancel->setText(u"Cancel"_s);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    connect(
        alert, &QMessageBox::buttonClicked, this, [this, remove, entry](QAbstractButton *button) {
            if (button == remove)
                m_library.remove(entry);
        });
    connect(alert, &QObject::destroyed, this, &MainWindow::showNextAlert, Qt::QueuedConnection);
    m_alert = alert;
    alert->open();
}

void MainWindow::showNextAlert()
{
    if (m_alert) {
        // The alert on show follows its slot: a new message replaces the text (so OK never
        // clears one that was not read), and a message cleared elsewhere takes the alert away.
        const QString kind = m_alert->property("slot").toString();
        if (kind.isEmpty() || !m_alert->isVisible())
            return;
        const QString message = kind == u"error"_s ? m_library.errorMessage() : m_library.notice();
        if (message.isEmpty())
            m_alert->done(0);
        else
            m_alert->setInformativeText(message);
        return;
    }
    const bool isError = !m_library.errorMessage().isEmpty();
    const QString message = isError ? m_library.errorMessage() : m_library.notice();
    if (message.isEmpty())
        return;
    auto *alert = new QMessageBox(isError ? QMessageBox::Warning : QMessageBox::Information,
        u"Quillmere"_s, u"Quillmere"_s, QMessageBox::NoButton, this);
    alert->setObjectName(isError ? u"errorAlert"_s : u"noticeAlert"_s);
    alert->setProperty("slot", isError ? u"error"_s : u"notice"_s);
    styleAlert(alert);
    alert->setInformativeText(message);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QPushButton *ok = alert->addButton(u"OK"_s, QMessageBox::RejectRole);
    ok->setObjectName(u"okButton"_s);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    // However the alert goes away, its message has been seen.
    connect(alert, &QDialog::finished, this, [this, isError] {
        if (isError)
            m_library.setErrorMessage({});
        else
            m_library.setNotice({});
    });
    connect(alert, &QObject::destroyed, this, &MainWindow::showNextAlert, Qt::QueuedConnection);
    m_alert = alert;
    alert->open();
}

QWidget *MainWindow::currentSheet() const
{
    // A closed sheet may linger until its work ends; only one on show counts.
    return m_sheet && m_sheet->isVisible() ? m_sheet.data() : nullptr;
}

QMessageBox *MainWindow::currentAlert() const
{
    return m_alert && m_alert->isVisible() ? m_alert.data() : nullptr;
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
    m_dropShade->setVisible(targeted);
    m_dropCapsule->setVisible(targeted);
    placeOverlays();
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
