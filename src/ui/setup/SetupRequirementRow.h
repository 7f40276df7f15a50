#pragma once

#include "ui/kit/Widgets.h"
#include "ui/rules/SetupPresentation.h"

#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;
class Spinner;
class SymbolView;

// The parts of the Wine setup sheet.

QLabel *makeWrappingLabel(
    Theme::TextStyle style, QFont::Weight weight = QFont::Normal, bool secondary = false);

// What the setup is about to do, or that it is done: an icon tile, a title and a sentence.
class SetupIntroCard : public Card
{
    Q_OBJECT

public:
    explicit SetupIntroCard(QWidget *parent = nullptr);
    void setIntro(const SetupPresentation::IntroCard &intro);

private:
    SymbolView *m_icon;
    QLabel *m_title;
    QLabel *m_text;
};

// One requirement of the Wine setup: its state icon, title, detail and a short state word.
// Assistive tools read it as one element, "title, state".
class SetupRequirementRow : public QWidget
{
    Q_OBJECT

public:
    explicit SetupRequirementRow(QWidget *parent = nullptr);
    void setRequirement(const SetupPresentation::RequirementRow &row);

private:
    SymbolView *m_icon;
    QLabel *m_title;
    QLabel *m_detail;
    QLabel *m_state;
};

// A push button whose label is a row: a leading progress bar, spinner or symbol, the title,
// and a trailing arrow. The setup sheet's main button and its Steam button use it.
class SetupActionButton : public QPushButton
{
    Q_OBJECT

public:
    SetupActionButton(const QString &kind, const QString &objectName, QWidget *parent = nullptr);
    void setLabel(const SetupPresentation::ActionLabel &label);
    QString title() const;
    QProgressBar *progressBar() const { return m_progress; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    void recolor();

    bool m_isFilled;
    QColor m_foreground;
    QProgressBar *m_progress;
    Spinner *m_spinner;
    SymbolView *m_symbol;
    QLabel *m_title;
    SymbolView *m_arrow;
};

// The collapsible "Advanced options" card: the runtime picker with the chosen path, or a note
// when none was found, and the reveal and source actions.
class SetupAdvancedOptions : public Card
{
    Q_OBJECT

public:
    explicit SetupAdvancedOptions(bool expanded, QWidget *parent = nullptr);
    void setOptions(const SetupPresentation::AdvancedOptions &options);

Q_SIGNALS:
    void runtimeChosen(const QString &winePath);
    void revealRequested();
    void sourceRequested();

private:
    void showExpansion();
    void scrollIntoView();

    QToolButton *m_toggle;
    QWidget *m_content;
    QLabel *m_noRuntimeNote;
    QWidget *m_runtimeChoice;
    QComboBox *m_picker;
    QLineEdit *m_path;
    QPushButton *m_revealButton;
};
