#pragma once

#include "profiles/GameCompatibilityProfile.h"
#include "profiles/SteamClients.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>

// What Steam said about the profiles on one screen: store data per profile id, which are still
// being fetched, and the most-played chart. Each profile is asked for at most once.
class SteamGameStoreModel : public QObject
{
    Q_OBJECT

public:
    explicit SteamGameStoreModel(WebAccess web, QObject *parent = nullptr);

    const QHash<QString, SteamStoreGameData> &games() const { return m_games; }
    const QSet<QString> &loadingIDs() const { return m_loadingIDs; }
    const QHash<QString, int> &popularityRanks() const { return m_popularityRanks; }
    const QSet<QString> &requestedIDs() const { return m_requestedIDs; }

    static constexpr int batchSize = 6;

    // Fetches store data for the profiles not asked for yet, six at a time in list order, and
    // refreshes the chart; returns when everything has arrived.
    QCoro::Task<> load(QList<GameCompatibilityProfile> profiles);

Q_SIGNALS:
    void gamesChanged();
    void loadingIDsChanged();
    void popularityRanksChanged();

private:
    QHash<QString, SteamStoreGameData> m_games;
    QSet<QString> m_loadingIDs;
    QHash<QString, int> m_popularityRanks;
    QSet<QString> m_requestedIDs;
    WebAccess m_web;
};
