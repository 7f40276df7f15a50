#include "ui/editor/EntryEditorView.h"

#include "ui/editor/PathField.h"
#include "ui/kit/Widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString kChoose = u"Choose\u2026"_s;

} // namespace

EntryEditorView::EntryEditorView(
    QString dataFolder, std::optional<GameEntry> entry, FilePanels panels, QWidget *parent)
    : QDialog(parent)
    , m_editor(new EntryEditor(std::move(dataFolder), std::move(entry), this))
    , m_panels(std::move(panels))
{
    setObjectName(u"entryEditor"_s);
    setWindowTitle(m_editor->title());
    setWindowModality(Qt::WindowModal);
    setMinimumSize(640, 560);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());
    column->addWidget(makeDivider(this));
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(u"editorScroll"_s);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(makeForm());
    column->addWidget(scroll, 1);
    column->addWidget(makeDivider(this));
    column->addWidget(makeFooter());

    connect(m_editor, &EntryEditor::changed, this, &EntryEditorView::render);
    connect(m_editor, &EntryEditor::saved, this, &EntryEditorView::saved);
    render();
    resize(minimumSize());
    // Typing goes to the name first, the one thing every entry needs.
    findChild<QLineEdit *>(u"nameField"_s)->setFocus();
}

QWidget *EntryEditorView::makeHeader()
{
    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(22, 22, 22, 22);
    auto *text = new QVBoxLayout;
    text->setSpacing(4);
    auto *title = makeLabel(m_editor->title(), Theme::TextStyle::title2, header, QFont::DemiBold);
    title->setObjectName(u"editorTitle"_s);
    text->addWidget(title);
    auto *subtitle = makeLabel(u"Add an executable to your library. Wine and launch settings are "
                               "available below."_s,
        Theme::TextStyle::subheadline, header, QFont::Normal, true);
    subtitle->setWordWrap(true);
    text->addWidget(subtitle);
    row->addLayout(text, 1);
    return header;
}

QWidget *EntryEditorView::makeForm()
{
    m_form = new QWidget;
    m_form->setFont(Theme::font(Theme::TextStyle::body));
    auto *column = new QVBoxLayout(m_form);
    column->setContentsMargins(10 + 10, 16, 10 + 10, 16);
    column->setSpacing(6);

    auto *appHeader
        = makeLabel(u"APP"_s, Theme::TextStyle::sectionHeader, m_form, QFont::DemiBold, true);
    appHeader->setContentsMargins(8, 0, 0, 0);
    column->addWidget(appHeader);
    auto *app = new Card(m_form, 10);
    auto *appRows = new QVBoxLayout(app);
    appRows->setContentsMargins(14, 12, 14, 12);
    appRows->setSpacing(10);
    auto *name = new QLineEdit(app);
    name->setObjectName(u"nameField"_s);
    name->setPlaceholderText(u"Name"_s);
    name->setAccessibleName(u"Name"_s);
    name->setToolTip(u"Name"_s);
    bind(name, &EntryDraft::name);
    appRows->addWidget(name);
    appRows->addWidget(makePathField(app, u"Windows executable"_s, u"Executable"_s,
        {u"Choose a Windows application"_s, QString(), FilePanelRequest::Kind::file, {u"exe"_s}},
        &EntryDraft::executablePath));
    column->addWidget(app);
    column->addSpacing(18);

    auto *advancedCard = new Card(m_form, 10);
    auto *advancedRows = new QVBoxLayout(advancedCard);
    advancedRows->setContentsMargins(8, 8, 14, 8);
    advancedRows->setSpacing(0);
    auto *toggle = makeDisclosure(u"Advanced Wine and launch options"_s, u"slider.horizontal.3"_s,
        u"advancedToggle"_s, advancedCard);
    advancedRows->addWidget(toggle, 0, Qt::AlignLeft);
    m_advanced = makeAdvancedBlock();
    m_advanced->setParent(advancedCard);
    advancedRows->addWidget(m_advanced);
    toggle->setChecked(m_editor->isShowingAdvancedSettings());
    m_advanced->setVisible(toggle->isChecked());
    connect(toggle, &QToolButton::toggled, m_advanced, &QWidget::setVisible);
    column->addWidget(advancedCard);
    column->addStretch(1);
    return m_form;
}

QWidget *EntryEditorView::makeAdvancedBlock()
{
    auto *block = new QWidget;
    auto *column = new QVBoxLayout(block);
    column->setContentsMargins(6, 10, 0, 6);
    column->setSpacing(18);

    auto *wine = new QVBoxLayout;
    wine->setSpacing(10);
    wine->addWidget(makeLabel(u"Wine"_s, Theme::TextStyle::headline, block));
    m_createPrefix = new QCheckBox(u"Create a new prefix with wineboot"_s, block);
    m_createPrefix->setObjectName(u"createPrefixToggle"_s);
    m_createPrefix->setEnabled(m_editor->canCreateNewPrefix());
    connect(m_createPrefix, &QCheckBox::toggled, this,
        [this](bool on) { editDraft([&](EntryDraft &draft) { draft.createNewPrefix = on; }); });
    wine->addWidget(m_createPrefix);

    wine->addWidget(makePathField(block, u"Wine prefix"_s, u"Prefix"_s,
        {u"Choose a Wine prefix folder"_s, QString(), FilePanelRequest::Kind::folder, {}},
        &EntryDraft::prefixPath));
    wine->addWidget(makePathField(block, u"Wine binary"_s, u"Wine"_s,
        {u"Choose the Wine binary"_s, QString(), FilePanelRequest::Kind::file, {}},
        &EntryDraft::winePath));
    wine->addWidget(makePathField(block, u"Wineserver binary"_s, u"WineServer"_s,
        {u"Choose the wineserver binary"_s, QString(), FilePanelRequest::Kind::file, {}},
        &EntryDraft::wineServerPath));
    column->addLayout(wine);
    column->addWidget(makeDivider(block));

    auto *launch = new QVBoxLayout;
    launch->setSpacing(10);
    launch->addWidget(makeLabel(u"Launch options"_s, Theme::TextStyle::headline, block));
    const QString argumentsTitle = u"Arguments (one per line)"_s;
    launch->addWidget(makeLabel(argumentsTitle, Theme::TextStyle::subheadline, block));
    auto *arguments = makeTextEditor(u"argumentsEditor"_s, argumentsTitle, 62, 90, block);
    bind(arguments, &EntryDraft::argumentText);
    launch->addWidget(arguments);
    const QString environmentTitle = u"Environment overrides (KEY=VALUE, one per line)"_s;
    launch->addWidget(makeLabel(environmentTitle, Theme::TextStyle::subheadline, block));
    auto *environment = makeTextEditor(u"environmentEditor"_s, environmentTitle, 70, 112, block);
    bind(environment, &EntryDraft::environmentText);
    launch->addWidget(environment);
    column->addLayout(launch);
    return block;
}

QWidget *EntryEditorView::makeFooter()
{
    auto *footer = new QWidget(this);
    auto *row = new QHBoxLayout(footer);
    row->setContentsMargins(18, 18, 18, 18);
    row->setSpacing(8);
    m_spinner = new Spinner(14, footer);
    row->addWidget(m_spinner);
    m_preparing = makeLabel(u"Initializing Wine prefix\u2026"_s, Theme::TextStyle::caption, footer,
        QFont::Normal, true);
    m_preparing->setObjectName(u"preparingLabel"_s);
    row->addWidget(m_preparing);
    row->addStretch(1);
    m_cancel = makeButton(u"Cancel"_s, QString(), u"bordered"_s, u"cancelButton"_s, footer);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &EntryEditorView::reject);
    row->addWidget(m_cancel);
    m_save = makeButton(QString(), QString(), u"prominent"_s, u"saveButton"_s, footer);
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, m_editor, &EntryEditor::save);
    row->addWidget(m_save);
    return footer;
}

PathField *EntryEditorView::makePathField(QWidget *parent, const QString &title,
    const QString &name, const FilePanelRequest &request, TextMember member)
{
    const auto choose = [this, request, member] {
        if (!m_panels)
            return;
        QPointer<EntryEditorView> guard(this);
        m_panels(this, request, [guard, member](const QString &path) {
            // A panel answering after the sheet has gone, or during wineboot, changes nothing.
            if (!guard || guard->m_editor->isPreparing())
                return;
            if (member == &EntryDraft::executablePath)
                guard->m_editor->executableChosen(path);
            else
                guard->editDraft([&](EntryDraft &draft) { draft.*member = path; });
        });
    };
    QString field = name + u"Field"_s;
    field[0] = field[0].toLower();
    auto *row
        = new PathField(title, kChoose, field, u"choose"_s + name + u"Button"_s, choose, parent);
    bind(row->lineEdit(), member);
    return row;
}

void EntryEditorView::bind(QLineEdit *field, TextMember member)
{
    m_lines.append({field, member});
    connect(field, &QLineEdit::textEdited, this, [this, member](const QString &text) {
        editDraft([&](EntryDraft &draft) { draft.*member = text; });
    });
}

void EntryEditorView::bind(QPlainTextEdit *editor, TextMember member)
{
    m_texts.append({editor, member});
    connect(editor, &QPlainTextEdit::textChanged, this, [this, editor, member] {
        editDraft([&](EntryDraft &draft) { draft.*member = editor->toPlainText(); });
    });
}

void EntryEditorView::editDraft(const std::function<void(EntryDraft &)> &edit)
{
    if (m_rendering)
        return;
    EntryDraft draft = m_editor->draft();
    edit(draft);
    m_editor->setDraft(draft);
}

void EntryEditorView::render()
{
    const EntryDraft &draft = m_editor->draft();
    m_rendering = true;
    // A text that already matches is left alone, so typing never loses the caret.
    for (const auto &[field, member] : std::as_const(m_lines)) {
        if (field->text() != draft.*member)
            field->setText(draft.*member);
    }
    for (const auto &[editor, member] : std::as_const(m_texts)) {
        if (editor->toPlainText() != draft.*member)
            editor->setPlainText(draft.*member);
    }
    m_createPrefix->setChecked(draft.createNewPrefix);
    m_rendering = false;

    // Nothing typed during wineboot could reach the entry being saved, so the form rests.
    const bool preparing = m_editor->isPreparing();
    m_form->setEnabled(!preparing);
    m_spinner->setVisible(preparing);
    m_preparing->setVisible(preparing);
    m_cancel->setEnabled(!preparing);
    // A button reads "&" as a mnemonic marker; the title means a plain ampersand.
    const QString primaryTitle = m_editor->primaryButtonTitle();
    m_save->setText(QString(primaryTitle).replace(u'&', u"&&"_s));
    m_save->setAccessibleName(primaryTitle);
    m_save->setEnabled(m_editor->canSave());

    if (!m_editor->errorMessage().isEmpty())
        showError(m_editor->errorMessage());
    else if (m_alert)
        std::exchange(m_alert, nullptr)->done(QMessageBox::Ok);
}

void EntryEditorView::showError(const QString &message)
{
    if (m_alert) {
        m_alert->setInformativeText(message);
        return;
    }
    auto *alert = new QMessageBox(QMessageBox::Warning, u"Couldn\u2019t Save Entry"_s,
        u"Couldn\u2019t Save Entry"_s, QMessageBox::Ok, this);
    alert->setObjectName(u"saveErrorAlert"_s);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    styleAlert(alert); // plain text: paths may hold "<"
    alert->setInformativeText(message);
    alert->setTextInteractionFlags(Qt::TextSelectableByMouse);
    alert->button(QMessageBox::Ok)->setText(u"OK"_s);
    // However the alert goes away, the message goes with it.
    connect(alert, &QDialog::finished, this, [this] {
        m_alert = nullptr;
        m_editor->setErrorMessage(QString());
    });
    m_alert = alert;
    alert->open();
}

void EntryEditorView::reject()
{
    if (m_editor->isPreparing())
        return;
    if (!m_hasCancelled) {
        m_hasCancelled = true;
        QPointer<EntryEditorView> guard(this);
        Q_EMIT cancelled();
        if (!guard)
            return;
    }
    if (isVisible())
        QDialog::reject();
}

void EntryEditorView::closeEvent(QCloseEvent *event)
{
    if (m_editor->isPreparing()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
