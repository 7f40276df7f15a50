#include "ui/shell/WindowSheets.h"

#include "ui/editor/EntryEditorView.h"
#include "ui/kit/Widgets.h"
#include "ui/rules/LibraryPresentation.h"
#include "ui/rules/WindowFlow.h"
#include "ui/setup/RuntimeSetupView.h"
#include "ui/shell/MainWindow.h"

#include "library/LibraryModel.h"
#include "setup/RuntimeSetupModel.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace {

void centreOver(QWidget *dialog, const QWidget &window)
{
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(window.window()->frameGeometry().center());
    if (const QScreen *screen = window.screen()) {
        const QRect room = screen->availableGeometry();
        frame.moveLeft(
            qBound(room.left(), frame.left(), qMax(room.left(), room.right() - frame.width())));
        frame.moveTop(
            qBound(room.top(), frame.top(), qMax(room.top(), room.bottom() - frame.height())));
    }
    dialog->move(frame.topLeft());
}

// Keeps a sheet or alert centred over its window as it settles its size once shown.
class Centring : public QObject
{
public:
    Centring(QDialog *dialog, const QWidget &window)
        : QObject(dialog)
        , m_window(window)
    {
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            centreOver(static_cast<QWidget *>(watched), m_window);
        return false;
    }

private:
    const QWidget &m_window;
};

// Opens a sheet or alert over the window, and gives the focus back to where it was once it
// closes (the button that opened it, or the field being typed in).
void present(QDialog *dialog, QWidget &window)
{
    if (!dialog->property("centred").toBool()) {
        dialog->setProperty("centred", true);
        new Centring(dialog, window);
    }
    // Placed before it shows, the dialog skips its own placement, which guesses the height of
    // the title bar and so sits above the middle.
    centreOver(dialog, window);
    QPointer<QWidget> before = QApplication::focusWidget();
    if (before && before->window() != window.window())
        before = nullptr;
    QObject::connect(
        dialog, &QDialog::finished, &window,
        [before] {
            if (!before || !before->isVisible() || !before->isEnabled())
                return;
            before->activateWindow();
            before->setFocus(Qt::OtherFocusReason);
        },
        Qt::SingleShotConnection);
    dialog->open();
}

} // namespace

WindowSheets::WindowSheets(
    QWidget &window, LibraryModel &library, WindowFlow &flow, const WindowContext &context)
    : m_window(window)
    , m_library(library)
    , m_flow(flow)
    , m_context(context)
{
}

void WindowSheets::showEditor(const std::optional<GameEntry> &entry)
{
    if (currentSheet())
        return;
    if (!entry && !m_library.preparingExecutable().isEmpty())
        return;
    auto *editor
        = new EntryEditorView(m_library.dataFolder(), entry, m_context.filePanels, &m_window);
    connect(editor, &QDialog::finished, editor, &QObject::deleteLater);
    const bool isEditing = entry.has_value();
    connect(
        editor, &EntryEditorView::saved, this, [this, editor, isEditing](const GameEntry &saved) {
            m_flow.saveEntry(saved, isEditing);
            editor->accept();
        });
    connect(editor, &EntryEditorView::cancelled, editor, &QDialog::reject);
    m_sheet = editor;
    present(editor, m_window);
}

void WindowSheets::showRuntimeSetup()
{
    if (currentSheet()) {
        // Another sheet is up; this request ends as if the setup sheet had been closed.
        m_flow.resumeAfterSetup();
        return;
    }
    if (m_setupSheet) {
        // A closed sheet still installing Steam comes back, rather than a second install.
        m_sheet = m_setupSheet;
        present(m_setupSheet, m_window);
        return;
    }
    auto *setup = new RuntimeSetupView(m_context.setupContext(), false, &m_window);
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
    present(setup, m_window);
}

void WindowSheets::confirmRemoval(const GameEntry &entry, const QString &deletedPrefixSize)
{
    if (currentAlert())
        return;
    const bool deletes = !deletedPrefixSize.isEmpty();
    const QString title
        = deletes ? u"Remove this entry and delete its prefix?"_s : u"Remove this entry?"_s;
    auto *alert
        = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, &m_window);
    alert->setObjectName(deletes ? u"deletionAlert"_s : u"removalAlert"_s);
    styleAlert(alert);
    alert->setInformativeText(deletes
            ? LibraryPresentation::deletionMessage(entry.name, entry.prefixPath, deletedPrefixSize)
            : LibraryPresentation::removalMessage(entry.name));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QPushButton *remove = alert->addButton(
        deletes ? u"Delete Prefix"_s : u"Remove Entry"_s, QMessageBox::DestructiveRole);
    remove->setObjectName(deletes ? u"deletePrefixButton"_s : u"removeEntryButton"_s);
    setButtonKind(remove, u"destructive"_s);
    QPushButton *cancel = alert->addButton(QMessageBox::Cancel);
    cancel->setText(u"Cancel"_s);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    connect(alert, &QMessageBox::buttonClicked, this,
        [this, remove, entry, deletes](QAbstractButton *button) {
            if (button != remove)
                return;
            if (deletes)
                m_library.removeWithPrefix(entry);
            else
                m_library.remove(entry);
        });
    connect(alert, &QObject::destroyed, this, &WindowSheets::showNextAlert, Qt::QueuedConnection);
    m_alert = alert;
    present(alert, m_window);
}

void WindowSheets::showNextAlert()
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
        u"Quillmere"_s, u"Quillmere"_s, QMessageBox::NoButton, &m_window);
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
    connect(alert, &QObject::destroyed, this, &WindowSheets::showNextAlert, Qt::QueuedConnection);
    m_alert = alert;
    present(alert, m_window);
}

QWidget *WindowSheets::currentSheet() const
{
    // A closed sheet may linger until its work ends; only one on show counts.
    return m_sheet && m_sheet->isVisible() ? m_sheet.data() : nullptr;
}

QMessageBox *WindowSheets::currentAlert() const
{
    return m_alert && m_alert->isVisible() ? m_alert.data() : nullptr;
}
