#pragma once

#include "library/GameEntry.h"

#include <QObject>
#include <QPointer>

#include <optional>

class LibraryModel;
class QMessageBox;
class QWidget;
class RuntimeSetupView;
class WindowFlow;
struct WindowContext;

// The sheets and alerts over the window, one of each at a time: the entry editor, Wine setup, the
// removal question, and the alert that shows the library's error or notice until it is read.
class WindowSheets : public QObject
{
    Q_OBJECT

public:
    WindowSheets(
        QWidget &window, LibraryModel &library, WindowFlow &flow, const WindowContext &context);

    void showEditor(const std::optional<GameEntry> &entry);
    void showRuntimeSetup();
    // With the prefix's size: the entry goes with its prefix, which the alert names.
    void confirmRemoval(const GameEntry &entry, const QString &deletedPrefixSize = {});
    void showNextAlert();

    QWidget *currentSheet() const;
    QMessageBox *currentAlert() const;

private:
    QWidget &m_window;
    LibraryModel &m_library;
    WindowFlow &m_flow;
    const WindowContext &m_context;
    QPointer<QWidget> m_sheet;
    QPointer<RuntimeSetupView> m_setupSheet; // shown, or closed and finishing a Steam install
    QPointer<QMessageBox> m_alert;
};
