#pragma once

#include <QUrl>

class QNetworkAccessManager;

// The web hosts the profiles subsystem talks to or links to, kept in one place. Tests, and the
// command line through QUILLMERE_*_URL variables, point them at a server of their own; pages
// only opened in the browser always use the standard hosts.
struct ProfileEndpoints
{
    QUrl website; // the product web site: catalogue document and game directory
    QUrl guideDirectory; // the public guide pages of each game
    QUrl steamStore; // store pages and the app-details service
    QUrl steamWebAPI; // the most-played chart
    QUrl battleNet; // Blizzard's site with the Battle.net app download
    // Whole-request deadlines, from the request to the last byte: a server that trickles its
    // answer cannot hold a request open past them.
    int catalogTimeoutMs = 20000;
    int steamTimeoutMs = 15000;

    static ProfileEndpoints standard();
    // The standard ones, with QUILLMERE_WEBSITE_URL, QUILLMERE_STEAM_STORE_URL and
    // QUILLMERE_STEAM_API_URL applied when set. Read once, where the application starts.
    static ProfileEndpoints fromEnvironment();

    // `base` with `path` (and an optional query) in place of its own.
    static QUrl at(const QUrl &base, const QString &path, const QString &query = {});
};

// How the profiles reach the web: the hosts to ask, and the network access manager the
// application made for its GUI thread (owned by the application, which outlives every user).
struct WebAccess
{
    QNetworkAccessManager *network = nullptr;
    ProfileEndpoints endpoints = ProfileEndpoints::standard();
};
