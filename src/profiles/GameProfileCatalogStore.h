#pragma once

#include "profiles/GameCompatibilityProfile.h"
#include "profiles/ProfileEndpoints.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QNetworkAccessManager;

// The catalogue's failures, each with one sentence.
struct CatalogError
{
    enum class Kind { badResponse, invalidCatalog, timedOut, tooLarge };
    Kind kind;
    QString description() const;
};

// The list of game profiles the whole program shows: the built-in one until the product web
// site's catalogue document has been downloaded and accepted.
class GameProfileCatalogStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<GameCompatibilityProfile> games READ games NOTIFY changed)
    Q_PROPERTY(bool isUsingWebsiteCatalog READ isUsingWebsiteCatalog NOTIFY changed)
    Q_PROPERTY(QString loadError READ loadError NOTIFY changed)

public:
    explicit GameProfileCatalogStore(WebAccess web, QObject *parent = nullptr);
    ~GameProfileCatalogStore() override;

    // The included catalogue is under 20 KB; a document past this is refused as it arrives.
    static constexpr qint64 maximumDocumentBytes = 4 * 1024 * 1024;

    const QList<GameCompatibilityProfile> &games() const { return m_games; }
    // The web this store reads from; the screens showing its profiles ask Steam through it.
    const WebAccess &web() const { return m_web; }
    bool isUsingWebsiteCatalog() const { return m_isUsingWebsiteCatalog; }
    QString loadError() const { return m_loadError; } // empty: none

    // One attempt to fetch and adopt the web site's list. A failure keeps the built-in list
    // (also after an earlier success, so the status line stays true).
    QCoro::Task<> load();

    // The list a downloaded catalogue document holds, or the one sentence that rejects it.
    static Expected<QList<GameCompatibilityProfile>, QString> decodeCatalog(
        const QByteArray &document);

    // Distinct ids; every profile with an id, a name, a storefront, an https guide with a
    // host, and an app ID of ASCII digits or none.
    static bool isValid(const QList<GameCompatibilityProfile> &games);

    // The browser's one-line status for this state.
    static QString statusLine(
        bool isUsingWebsiteCatalog, const QString &loadError, const QString &websiteHost);
    QString statusLine() const
    {
        return statusLine(m_isUsingWebsiteCatalog, m_loadError, m_web.endpoints.website.host());
    }

Q_SIGNALS:
    void changed();

private:
    void fail(const QString &message);

    WebAccess m_web;
    QList<GameCompatibilityProfile> m_games;
    bool m_isUsingWebsiteCatalog = false;
    QString m_loadError;
};
