#pragma once

#include "ui/kit/FilePanels.h"

#include "library/EntryEditor.h"
#include "library/GameEntry.h"

#include <QDialog>
#include <QList>
#include <QPointer>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class PathField;
class Spinner;

// The sheet that adds a Windows program to the library or edits an entry. It only hands the
// finished entry on; the window adds or updates it and closes the sheet.
class EntryEditorView : public QDialog
{
    Q_OBJECT

public:
    EntryEditorView(QString dataFolder, std::optional<GameEntry> entry, FilePanels panels,
        QWidget *parent = nullptr);

    EntryEditor &editor() { return *m_editor; }

    // Escape and Cancel leave the sheet, except while wineboot is still at work.
    void reject() override;

Q_SIGNALS:
    void saved(const GameEntry &entry);
    void cancelled();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    using TextMember = QString EntryDraft::*;

    QWidget *makeHeader();
    QWidget *makeForm();
    QWidget *makeAdvancedBlock();
    QWidget *makeFooter();
    PathField *makePathField(QWidget *parent, const QString &title, const QString &name,
        const FilePanelRequest &request, TextMember member);
    void bind(QLineEdit *field, TextMember member);
    void bind(QPlainTextEdit *editor, TextMember member);
    void editDraft(const std::function<void(EntryDraft &)> &edit);
    void render();
    void showError(const QString &message);

    EntryEditor *m_editor;
    FilePanels m_panels;
    bool m_rendering = false;
    bool m_hasCancelled = false;

    // Every text the sheet shows, with the draft field it edits.
    QList<std::pair<QLineEdit *, TextMember>> m_lines;
    QList<std::pair<QPlainTextEdit *, TextMember>> m_texts;
    QWidget *m_form = nullptr;
    QWidget *m_advanced = nullptr;
    QCheckBox *m_createPrefix = nullptr;
    Spinner *m_spinner = nullptr;
    QLabel *m_preparing = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_save = nullptr;
    QPointer<QMessageBox> m_alert;
};
