#include "EntryEditor.h"
#include "platform/TextLines.h"

#include "library/PathNormalization.h"
#include "library/PrefixTemplates.h"
#include "library/WineRuntime.h"
#include "platform/Background.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

EntryEditor::EntryEditor(QString dataFolder, std::optional<GameEntry> entry, QObject *parent)
    : QObject(parent)
    , m_dataFolder(std::move(dataFolder))
    , m_entry(std::move(entry))
{
    m_isShowingAdvancedSettings = isEditing();
    if (m_entry)
        m_draft = draftFor(*m_entry);
}

void EntryEditor::setDraft(const EntryDraft &draft)
{
    if (m_draft == draft)
        return;
    m_draft = draft;
    if (isEditing())
        m_draft.createNewPrefix = false; // an existing entry keeps its prefix
    Q_EMIT changed();
}

void EntryEditor::setErrorMessage(const QString &message)
{
    m_errorMessage = message;
    Q_EMIT changed();
}

QString EntryEditor::title() const
{
    return isEditing() ? u"Edit Wine App"_s : u"Add Windows App"_s;
}

QString EntryEditor::primaryButtonTitle() const
{
    if (isEditing())
        return u"Save Changes"_s;
    return m_draft.createNewPrefix ? u"Create Prefix & Add"_s : u"Add to Library"_s;
}

bool EntryEditor::canSave() const
{
    return !m_isPreparing && !m_draft.name.trimmed().isEmpty();
}

void EntryEditor::executableChosen(const QString &path)
{
    EntryDraft draft = m_draft;
    draft.executablePath = path;
    if (draft.name.isEmpty())
        draft.name = QFileInfo(path).completeBaseName();
    setDraft(draft);
}

EntryDraft EntryEditor::draftFor(const GameEntry &entry)
{
    EntryDraft draft;
    draft.name = entry.name;
    draft.executablePath = entry.executablePath;
    draft.prefixPath = entry.prefixPath;
    draft.winePath = entry.winePath;
    draft.wineServerPath = entry.wineServerPath;
    draft.argumentText = entry.arguments.join(u'\n');
    draft.environmentText = entry.environmentEditorText();
    return draft;
}

GameEntry EntryEditor::makeEntry(const EntryDraft &draft, const std::optional<GameEntry> &base)
{
    GameEntry entry = base.value_or(GameEntry {});
    entry.name = draft.name.trimmed();
    entry.executablePath = normalizedPath(draft.executablePath);
    entry.prefixPath = normalizedPath(draft.prefixPath);
    entry.winePath = normalizedPath(draft.winePath);
    entry.wineServerPath = normalizedPath(draft.wineServerPath);
    entry.arguments.clear();
    for (const QString &line : splitLines(draft.argumentText)) {
        if (!line.trimmed().isEmpty())
            entry.arguments.append(line.trimmed());
    }
    entry.setEnvironmentEditorText(draft.environmentText);
    return entry;
}

Result<void> EntryEditor::validatePaths(const GameEntry &entry, bool createNewPrefix)
{
    const std::pair<const QString *, QString> required[] = {
        {&entry.name, u"Enter a name for this app."_s},
        {&entry.executablePath, u"Choose the Windows app executable (.exe)."_s},
        {&entry.prefixPath, u"Choose a Wine prefix folder."_s},
        {&entry.winePath, u"Choose the Wine binary."_s},
        {&entry.wineServerPath, u"Choose the wineserver binary."_s},
    };
    for (const auto &[field, message] : required) {
        if (field->isEmpty())
            return unexpected(QuillmereError::processFailed(message));
    }
    const QString cut = u" holds a NUL character, which no program can receive."_s;
    if (const qsizetype argument = entry.argumentWithNul(); argument >= 0) {
        return unexpected(
            QuillmereError::processFailed(u"Argument "_s + QString::number(argument + 1) + cut));
    }
    if (const auto variable = entry.variableWithNul()) {
        return unexpected(QuillmereError::processFailed(
            u"The environment variable ‘"_s + *variable + u"’"_s + cut));
    }
    const QFileInfo executable(entry.executablePath);
    if (!executable.isFile() || !executable.isReadable())
        return unexpected(QuillmereError::missingFile(entry.executablePath));
    for (const QString *binary : {&entry.winePath, &entry.wineServerPath}) {
        const QFileInfo info(*binary);
        if (!info.isFile() || !info.isExecutable())
            return unexpected(QuillmereError::missingFile(*binary));
    }
    const bool initialized = WineRuntime::isInitializedPrefix(entry.prefixPath);
    if (!createNewPrefix) {
        if (!initialized)
            return unexpected(QuillmereError::invalidPrefix(entry.prefixPath));
        return {};
    }
    if (initialized)
        return unexpected(QuillmereError::alreadyInitialized(entry.prefixPath));
    if (WineRuntime::isOccupiedFolder(entry.prefixPath))
        return unexpected(QuillmereError::occupiedPrefix(entry.prefixPath));
    return {};
}

void EntryEditor::save()
{
    if (m_isPreparing)
        return;
    const GameEntry entry = makeEntry(m_draft, m_entry);
    const bool createNewPrefix = m_draft.createNewPrefix && !isEditing();
    if (auto checked = validatePaths(entry, createNewPrefix); !checked) {
        setErrorMessage(checked.error().description());
        return;
    }
    if (!createNewPrefix) {
        if (auto valid = WineRuntime::validate(entry); !valid) {
            setErrorMessage(valid.error().description());
            return;
        }
        Q_EMIT saved(entry);
        return;
    }
    // Every log lives in the application's one Logs folder, on every system.
    const QString log
        = QDir(m_dataFolder).filePath(u"Logs/prefix-"_s + entry.idString() + u".log"_s);
    m_isPreparing = true;
    Q_EMIT changed();
    Background::run(
        this,
        [entry, log, templates = PrefixTemplates::folder(m_dataFolder)] {
            return WineRuntime::createPrefix(entry, log, templates);
        },
        [this, entry](const Result<void> &prepared) {
            m_isPreparing = false;
            Q_EMIT changed();
            if (!prepared) {
                setErrorMessage(prepared.error().description());
                return;
            }
            Q_EMIT saved(entry);
        });
}
