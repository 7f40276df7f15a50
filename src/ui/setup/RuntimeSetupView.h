#pragma once

#include "library/GameEntry.h"
#include "setup/RuntimeSetupModel.h"

#include <QCoroTask>
#include <QDialog>
#include <QList>
#include <QPointer>

#include <memory>

class Card;
class QLabel;
class QMessageBox;
class QWidget;
class SetupActionButton;
class SetupAdvancedOptions;
class SetupIntroCard;
class SetupRequirementRow;

// The Wine setup sheet: checks the machine, runs the automatic setup as soon as it appears,
// offers one button for the next sensible step and Steam once Wine is ready. Each sheet owns a
// fresh model.
class RuntimeSetupView : public QDialog
{
    Q_OBJECT

public:
    RuntimeSetupView(SetupContext context, bool showAdvancedOptions, QWidget *parent = nullptr);
    ~RuntimeSetupView() override;

    RuntimeSetupModel &model() { return *m_model; }

    void done(int result) override;

Q_SIGNALS:
    // A Steam install finished; emitted before `doneRequested`.
    void steamAdded(const GameEntry &entry);
    // "Done" was pressed, or a Steam install finished and the sheet closes.
    void doneRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeHeader();
    QWidget *makeContent(bool showAdvancedOptions);
    QWidget *makeFooter();
    void render();
    void syncErrorAlert();
    void pressMainButton();
    void checkAgain();
    void startAutomaticSetup();
    void cancelAutomaticSetup();
    void finishWithSteam(const GameEntry &entry);

    // Runs that outlive the sheet keep the model alive until they end.
    static QCoro::Task<> keepAlive(std::shared_ptr<RuntimeSetupModel> model, QCoro::Task<> step);
    static QCoro::Task<> installSteam(
        std::shared_ptr<RuntimeSetupModel> model, QPointer<RuntimeSetupView> view);

    std::shared_ptr<RuntimeSetupModel> m_model;
    // The run started when the sheet appeared; it is tied to the sheet and stops with it.
    QCoro::Task<> m_automaticRun;
    bool m_hasAppeared = false;
    QPointer<QMessageBox> m_errorAlert;

    SetupIntroCard *m_intro = nullptr;
    QList<SetupRequirementRow *> m_rows;
    SetupActionButton *m_mainButton = nullptr;
    Card *m_statusLine = nullptr;
    QLabel *m_statusText = nullptr;
    Card *m_steamCard = nullptr;
    SetupActionButton *m_steamButton = nullptr;
    SetupAdvancedOptions *m_advancedOptions = nullptr;
};
