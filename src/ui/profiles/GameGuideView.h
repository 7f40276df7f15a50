#pragma once

#include "games/GameGuide.h"
#include "profiles/GameCompatibilityProfile.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class DesktopServices;
class LibraryModel;
class QScrollArea;
class SteamGameStoreModel;

// A capsule label with a symbol, as the guide's overview shows three of them.
class CatalogBadge : public QWidget
{
    Q_OBJECT

public:
    CatalogBadge(const QString &text, const QString &symbol, QWidget *parent = nullptr);
    QString text() const { return m_text; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QString m_symbol;
};

// One numbered step of the install guide, with its completion mark.
class GuideStepRow : public QWidget
{
    Q_OBJECT

public:
    GuideStepRow(int number, const QString &title, const QString &detail, bool isComplete,
        bool isLast, QWidget *parent = nullptr);
    bool isComplete() const { return m_isComplete; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_number;
    bool m_isComplete;
    bool m_isLast;
};

// The right half of the profiles page: what the selected game is, where to get it, what it
// needs, the four install steps as the machine stands now, and the one action that moves on.
class GameGuideView : public QWidget
{
    Q_OBJECT

public:
    GameGuideView(LibraryModel &library, SteamGameStoreModel &store,
        std::function<bool()> isWineReady, std::shared_ptr<DesktopServices> desktop,
        QWidget *parent = nullptr);

    // Rebuilds the pane; every fact is read again.
    void showGuide(const std::optional<GameCompatibilityProfile> &profile,
        const QString &selectedStorefrontID);
    void rebuild() { showGuide(m_profile, m_storefrontID); }

Q_SIGNALS:
    void storefrontPicked(const QString &rawValue);
    void setUpStoreRequested(const GameCompatibilityProfile &profile, GameStorefront storefront);

private:
    QWidget *buildGuide(const GameCompatibilityProfile &profile, GameStorefront storefront);
    QWidget *buildOverview(const GameCompatibilityProfile &profile, GameStorefront storefront,
        const QString &title, QWidget *parent);
    QWidget *buildProfileCard(const GameCompatibilityProfile &profile, QWidget *parent);
    QWidget *buildSteps(const GameCompatibilityProfile &profile, GameStorefront storefront,
        const QString &title, const GameGuide::InstallFacts &facts, QWidget *parent);
    void openUrl(const QUrl &url);

    LibraryModel &m_library;
    SteamGameStoreModel &m_store;
    std::function<bool()> m_isWineReady;
    std::shared_ptr<DesktopServices> m_desktop;
    std::optional<GameCompatibilityProfile> m_profile;
    QString m_storefrontID;
    QScrollArea *m_scroll;
    QWidget *m_empty;
};
