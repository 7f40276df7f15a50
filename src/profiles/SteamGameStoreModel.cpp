#include "SteamGameStoreModel.h"

#include "profiles/SteamGameCatalog.h"

#include <QPointer>

#include <vector>

SteamGameStoreModel::SteamGameStoreModel(WebAccess web, QObject *parent)
    : QObject(parent)
    , m_popularityRanks(SteamGameCatalog::fallbackPopularityRanks())
    , m_web(std::move(web))
{
}

QCoro::Task<> SteamGameStoreModel::load(QList<GameCompatibilityProfile> profiles)
{
    QPointer<SteamGameStoreModel> self(this);
    // The chart runs alongside the store requests; its answer is applied last.
    QCoro::Task<std::optional<QHash<QString, int>>> chart
        = SteamChartsAPI::fetchPopularityRanks(m_web);

    QList<GameCompatibilityProfile> pending;
    for (const GameCompatibilityProfile &profile : profiles) {
        if (profile.appID && !m_requestedIDs.contains(profile.id)) {
            pending.append(profile);
            m_requestedIDs.insert(profile.id);
            m_loadingIDs.insert(profile.id);
        }
    }
    if (!pending.isEmpty())
        Q_EMIT loadingIDsChanged();

    for (qsizetype start = 0; start < pending.size(); start += batchSize) {
        const QList<GameCompatibilityProfile> batch = pending.mid(start, batchSize);
        std::vector<QCoro::Task<std::optional<SteamStoreGameData>>> requests;
        for (const GameCompatibilityProfile &profile : batch)
            requests.push_back(SteamStoreAPI::fetchGameData(m_web, *profile.appID));
        QList<std::optional<SteamStoreGameData>> results;
        for (auto &request : requests)
            results.append(co_await std::move(request));
        if (!self)
            co_return;
        bool gotData = false;
        for (qsizetype i = 0; i < batch.size(); ++i) {
            m_loadingIDs.remove(batch.at(i).id);
            if (results.at(i)) {
                m_games.insert(batch.at(i).id, *results.at(i));
                gotData = true;
            }
        }
        Q_EMIT loadingIDsChanged();
        if (gotData)
            Q_EMIT gamesChanged();
    }

    const std::optional<QHash<QString, int>> ranks = co_await std::move(chart);
    if (!self)
        co_return;
    if (ranks && !ranks->isEmpty()) {
        m_popularityRanks = *ranks;
        Q_EMIT popularityRanksChanged();
    }
}
