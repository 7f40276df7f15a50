#include "ui/setup/RuntimeSetupView.h"

#include "ui/kit/Symbols.h"
#include "ui/kit/Widgets.h"
#include "ui/rules/PlatformWording.h"
#include "ui/rules/SetupPresentation.h"
#include "ui/setup/SetupRequirementRow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Theme::TextStyle;

namespace {

// Deleted from the event loop: the last owner may let go while one of the model's own replies
// or worker results is still on the stack.
std::shared_ptr<RuntimeSetupModel> makeModel(SetupContext context)
{
    return {new RuntimeSetupModel(std::move(context)),
        [](RuntimeSetupModel *model) { model->deleteLater(); }};
}

} // namespace

RuntimeSetupView::RuntimeSetupView(SetupContext context, bool showAdvancedOptions, QWidget *parent)
    : QDialog(parent)
    , m_model(makeModel(std::move(context)))
{
    setWindowTitle(u"Wine Setup"_s);
    setWindowModality(Qt::WindowModal);
    setMinimumSize(570, 500);
    resize(620, 680);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());
    column->addWidget(makeDivider(this));
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Thin and quiet: at its smaller sizes the sheet scrolls most of the time.
    QColor handle = Theme::secondaryText();
    handle.setAlphaF(0.4f);
    scroll->verticalScrollBar()->setStyleSheet(
        u"QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }"
        "QScrollBar::handle:vertical { background: %1; border-radius: 4px; min-height: 32px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"_s.arg(
            handle.name(QColor::HexArgb)));
    scroll->setWidget(makeContent(showAdvancedOptions));
    column->addWidget(scroll, 1);
    column->addWidget(makeDivider(this));
    column->addWidget(makeFooter());

    connect(m_model.get(), &RuntimeSetupModel::changed, this, &RuntimeSetupView::render);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
        [this](Qt::ApplicationState state) {
            // Back from Terminal, the installer or Finder: pick up where the setup waited.
            if (state == Qt::ApplicationActive && isVisible())
                checkAgain();
        });
    render();
}

RuntimeSetupView::~RuntimeSetupView()
{
    m_model->disconnect(this);
    if (m_errorAlert) {
        m_errorAlert->disconnect(this);
        delete m_errorAlert;
    }
    cancelAutomaticSetup();
}

void RuntimeSetupView::done(int result)
{
    cancelAutomaticSetup();
    if (m_errorAlert)
        m_errorAlert->done(QMessageBox::Ok);
    QDialog::done(result);
}

void RuntimeSetupView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    syncErrorAlert();
    if (m_hasAppeared)
        return;
    m_hasAppeared = true;
    // From the event loop, so the first frame shows the machine as found.
    QTimer::singleShot(0, this, &RuntimeSetupView::startAutomaticSetup);
}

void RuntimeSetupView::startAutomaticSetup()
{
    if (isVisible())
        m_automaticRun = m_model->prepareWineAutomatically();
}

void RuntimeSetupView::cancelAutomaticSetup()
{
    // Only the run the sheet started; the user's own runs go on after it closes.
    if (!m_automaticRun.isReady())
        m_model->cancel();
}

QCoro::Task<> RuntimeSetupView::keepAlive(
    std::shared_ptr<RuntimeSetupModel> model, QCoro::Task<> step)
{
    Q_UNUSED(model);
    co_await std::move(step);
}

QCoro::Task<> RuntimeSetupView::installSteam(
    std::shared_ptr<RuntimeSetupModel> model, QPointer<RuntimeSetupView> view)
{
    auto installing = model->installSteam();
    const std::optional<GameEntry> entry = co_await std::move(installing);
    if (entry && view)
        view->finishWithSteam(*entry);
}

void RuntimeSetupView::finishWithSteam(const GameEntry &entry)
{
    QPointer<RuntimeSetupView> self(this);
    Q_EMIT steamAdded(entry);
    // A sheet the user already closed has had its say; "Done" would resume a later sheet's run.
    if (self && isVisible()) {
        Q_EMIT doneRequested();
        accept();
    }
}

void RuntimeSetupView::pressMainButton()
{
    if (SetupPresentation::mainButton(*m_model).continuesAfterApproval) {
        m_model->continueAfterWineApproval();
        return;
    }
    auto run = keepAlive(m_model, m_model->prepareWineAutomatically());
}

void RuntimeSetupView::checkAgain()
{
    m_model->refresh();
    auto run = keepAlive(m_model, m_model->resumeAutomaticSetupAfterSystemStep());
}

QWidget *RuntimeSetupView::makeHeader()
{
    auto *header = new QWidget;
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(22, 22, 22, 22);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(3);
    titles->addWidget(makeLabel(u"Wine Setup"_s, TextStyle::title2, nullptr, QFont::DemiBold));
    QLabel *subtitle = makeWrappingLabel(TextStyle::subheadline, QFont::Normal, true);
    subtitle->setText(
        PlatformWording::text(u"Quillmere checks this Mac and installs what Windows apps need."_s));
    titles->addWidget(subtitle);
    row->addLayout(titles, 1);

    auto *refresh = new QToolButton;
    refresh->setObjectName(u"refreshButton"_s);
    refresh->setProperty("kind", u"borderless"_s);
    refresh->setIcon(
        Symbols::icon(u"arrow.clockwise"_s, QApplication::palette().color(QPalette::ButtonText)));
    refresh->setIconSize(QSize(17, 17));
    refresh->setToolTip(u"Check setup again"_s);
    refresh->setAccessibleName(u"Check setup again"_s);
    refresh->setCursor(Qt::PointingHandCursor);
    connect(refresh, &QToolButton::clicked, this, &RuntimeSetupView::checkAgain);
    row->addWidget(refresh, 0, Qt::AlignTop);
    return header;
}

QWidget *RuntimeSetupView::makeContent(bool showAdvancedOptions)
{
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(14);

    m_intro = new SetupIntroCard;
    column->addWidget(m_intro);

    auto *requirements = new Card(content);
    auto *list = new QVBoxLayout(requirements);
    list->setContentsMargins(14, 0, 14, 0);
    list->setSpacing(0);
    const qsizetype rowCount = SetupPresentation::requirementRows(*m_model).size();
    for (qsizetype i = 0; i < rowCount; ++i) {
        if (i > 0)
            list->addWidget(makeDivider());
        auto *row = new SetupRequirementRow;
        row->setObjectName(u"requirementRow"_s + QString::number(i));
        m_rows.append(row);
        list->addWidget(row);
    }
    column->addWidget(requirements);

    m_mainButton = new SetupActionButton(u"prominent"_s, u"mainSetupButton"_s);
    m_mainButton->progressBar()->setObjectName(u"downloadProgress"_s);
    connect(m_mainButton, &QPushButton::clicked, this, &RuntimeSetupView::pressMainButton);
    column->addWidget(m_mainButton);

    m_statusLine = new Card(content, 10, Card::Fill::quaternary);
    m_statusLine->setObjectName(u"statusLine"_s);
    auto *statusRow = new QHBoxLayout(m_statusLine);
    statusRow->setContentsMargins(13, 13, 13, 13);
    statusRow->setSpacing(8);
    statusRow->addWidget(
        new SymbolView(u"info.circle"_s, 15, Theme::secondaryText()), 0, Qt::AlignTop);
    m_statusText = makeWrappingLabel(TextStyle::callout, QFont::Normal, true);
    statusRow->addWidget(m_statusText, 1);
    column->addWidget(m_statusLine);

    m_steamCard = new Card(content);
    m_steamCard->setObjectName(u"steamCard"_s);
    auto *steam = new QVBoxLayout(m_steamCard);
    steam->setContentsMargins(16, 16, 16, 16);
    steam->setSpacing(8);
    auto *steamTitle = new QHBoxLayout;
    steamTitle->setSpacing(8);
    steamTitle->addWidget(new SymbolView(u"gamecontroller.fill"_s, 18, Theme::accent()));
    steamTitle->addWidget(makeLabel(u"Steam is optional"_s, TextStyle::headline), 1);
    steam->addLayout(steamTitle);
    QLabel *steamText = makeWrappingLabel(TextStyle::subheadline, QFont::Normal, true);
    steamText->setText(u"Install Steam in its own Wine prefix, then sign in and install games "
                       "inside Steam."_s);
    steam->addWidget(steamText);
    m_steamButton = new SetupActionButton(u"bordered"_s, u"installSteamButton"_s);
    connect(m_steamButton, &QPushButton::clicked, this,
        [this] { auto run = installSteam(m_model, QPointer<RuntimeSetupView>(this)); });
    steam->addSpacing(4);
    steam->addWidget(m_steamButton, 0, Qt::AlignLeft);
    column->addWidget(m_steamCard);

    m_advancedOptions = new SetupAdvancedOptions(showAdvancedOptions);
    connect(m_advancedOptions, &SetupAdvancedOptions::runtimeChosen, this,
        [this](const QString &winePath) { m_model->setSelectedRuntimeID(winePath); });
    connect(m_advancedOptions, &SetupAdvancedOptions::revealRequested, this,
        [this] { m_model->revealSelectedRuntime(); });
    connect(m_advancedOptions, &SetupAdvancedOptions::sourceRequested, this,
        [this] { m_model->openWineSource(); });
    column->addWidget(m_advancedOptions);
    column->addStretch(1);
    return content;
}

QWidget *RuntimeSetupView::makeFooter()
{
    auto *footer = new QWidget;
    auto *row = new QHBoxLayout(footer);
    row->setContentsMargins(16, 16, 16, 16);
    row->addStretch(1);
    QPushButton *done = makeButton(u"Done"_s, {}, u"prominent"_s, u"doneButton"_s);
    done->setMinimumWidth(84);
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, [this] {
        QPointer<RuntimeSetupView> self(this);
        // The analyzer loses track of the captured `this` across the QPointer; it is never null.
        Q_EMIT doneRequested(); // NOLINT(clang-analyzer-core.CallAndMessage)
        if (self)
            accept();
    });
    row->addWidget(done);
    return footer;
}

void RuntimeSetupView::render()
{
    const RuntimeSetupModel &model = *m_model;
    m_intro->setIntro(SetupPresentation::introCard(model));

    const auto rows = SetupPresentation::requirementRows(model);
    for (qsizetype i = 0; i < m_rows.size() && i < rows.size(); ++i)
        m_rows[i]->setRequirement(rows[i]);

    const auto main = SetupPresentation::mainButton(model);
    m_mainButton->setLabel(main.label);
    m_mainButton->setEnabled(main.isEnabled);
    m_mainButton->setVisible(main.isVisible);

    const QString status = model.statusMessage();
    m_statusText->setText(status);
    m_statusLine->setAccessibleName(status);
    m_statusLine->setVisible(!status.isEmpty());

    const auto steam = SetupPresentation::steamCard(model);
    m_steamButton->setLabel(steam.button);
    m_steamButton->setEnabled(steam.isEnabled);
    m_steamCard->setVisible(steam.isVisible);

    m_advancedOptions->setOptions(SetupPresentation::advancedOptions(model));
    syncErrorAlert();
}

void RuntimeSetupView::syncErrorAlert()
{
    const QString message = m_model->errorMessage();
    if (message.isEmpty()) {
        if (m_errorAlert)
            m_errorAlert->done(QMessageBox::Ok);
        return;
    }
    if (!isVisible())
        return; // shown when the sheet appears
    if (m_errorAlert) {
        m_errorAlert->setInformativeText(message);
        return;
    }
    auto *alert = new QMessageBox(this);
    alert->setObjectName(u"setupErrorAlert"_s);
    alert->setWindowTitle(u"Wine Setup"_s);
    styleAlert(alert);
    alert->setText(u"Wine Setup"_s);
    alert->setInformativeText(message);
    QPushButton *ok = alert->addButton(u"OK"_s, QMessageBox::RejectRole);
    ok->setObjectName(u"setupErrorOK"_s);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    // However the alert goes away, the message it showed is cleared.
    connect(alert, &QMessageBox::finished, this, [this, alert] {
        if (m_errorAlert == alert)
            m_errorAlert = nullptr;
        m_model->setErrorMessage({});
    });
    m_errorAlert = alert;
    alert->open();
}
