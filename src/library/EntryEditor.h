#pragma once

#include "library/GameEntry.h"
#include "library/QuillmereError.h"

#include <QObject>
#include <QString>

#include <optional>

// The entry editor's fields as the user typed them.
struct EntryDraft
{
    QString name;
    QString executablePath;
    QString prefixPath;
    QString winePath;
    QString wineServerPath;
    QString argumentText; // one argument a line
    QString environmentText; // one KEY=VALUE a line
    bool createNewPrefix = false;

    bool operator==(const EntryDraft &) const = default;
};

// The logic behind the add/edit sheet: loading an entry, turning the draft into a checked
// entry, and saving it, with a new prefix made by wineboot away from the GUI thread.
class EntryEditor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isPreparing READ isPreparing NOTIFY changed)
    Q_PROPERTY(QString errorMessage READ errorMessage WRITE setErrorMessage NOTIFY changed)

public:
    // `dataFolder` holds the Logs folder for the wineboot log; `entry` is the one being edited.
    EntryEditor(QString dataFolder, std::optional<GameEntry> entry, QObject *parent = nullptr);

    const EntryDraft &draft() const { return m_draft; }
    void setDraft(const EntryDraft &draft);
    bool isEditing() const { return m_entry.has_value(); }
    bool isShowingAdvancedSettings() const { return m_isShowingAdvancedSettings; }
    bool isPreparing() const { return m_isPreparing; }
    QString errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const QString &message);

    QString title() const;
    QString primaryButtonTitle() const;
    bool canSave() const;
    bool canCreateNewPrefix() const { return !isEditing(); }

    // A file picked for the executable: fills the name from it when the name is still empty.
    void executableChosen(const QString &path);

    static EntryDraft draftFor(const GameEntry &entry);
    // The entry the draft describes, keeping the id and date of `base` when editing.
    static GameEntry makeEntry(const EntryDraft &draft, const std::optional<GameEntry> &base);
    // The editor's checks, in order; the first failure wins. Text that can't reach the program
    // whole is refused along with the paths.
    static Result<void> validatePaths(const GameEntry &entry, bool createNewPrefix);

    // Builds and checks the entry, makes the prefix when asked, then emits `saved`; a failure
    // ends in `errorMessage`.
    void save();

Q_SIGNALS:
    void changed();
    void saved(const GameEntry &entry);

private:
    QString m_dataFolder;
    std::optional<GameEntry> m_entry;
    EntryDraft m_draft;
    bool m_isShowingAdvancedSettings = false;
    bool m_isPreparing = false;
    QString m_errorMessage;
};
