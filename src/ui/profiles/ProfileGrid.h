#pragma once

#include "profiles/GameBrowser.h"
#include "profiles/SteamClients.h"

#include <QAbstractListModel>
#include <QListView>
#include <QSet>
#include <QStyledItemDelegate>
#include <QUrl>

// The profiles page's list: each section's heading followed by its cards, as one flat list so
// a single view lays out and paints only what is on screen, however large the catalogue.
class ProfileGridModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        kindRole = Qt::UserRole + 1, // 0 heading, 1 card
        profileIDRole,
        subtitleRole,
        symbolRole,
        countRole,
        sectionIDRole,
        genreRole,
        tagRole,
        imageRole, // header image URL, invalid when none
        loadingRole,
    };

    using QAbstractListModel::QAbstractListModel;

    void setSections(const QList<GameBrowser::SteamGameSection> &sections,
        const QHash<QString, SteamStoreGameData> &storeGames, const QHash<QString, int> &ranks,
        const QSet<QString> &loadingIDs);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QModelIndex indexOfProfile(const QString &id) const;

private:
    struct Row
    {
        bool isHeading = false;
        QString id; // profile id, or section id for a heading
        QString title;
        QString subtitle; // heading: subtitle; card: genre
        QString symbol;
        QString tag;
        QUrl image;
        bool isLoading = false;
        int count = 0;
        QString accessibleLabel;
    };
    QList<Row> m_rows;
};

// Draws headings and cards; fetches a card's artwork only when the card is painted.
class ProfileCardDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ProfileCardDelegate(QListView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Columns 145 to 220 wide, 12 apart, as many as fit in the viewport.
    static int cardWidth(int viewportWidth);
    static int cardHeight(int width);

private:
    void paintHeading(QPainter *painter, const QRect &rect, const QModelIndex &index) const;
    void paintCard(
        QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const;
    const QImage *artwork(const QUrl &url) const;

    QListView *m_view;
    mutable QSet<QUrl> m_requested;
    mutable QImage m_scratch;
};

class ProfileGrid : public QListView
{
    Q_OBJECT

public:
    explicit ProfileGrid(QWidget *parent = nullptr);
    ProfileGridModel &gridModel() { return m_model; }
    static constexpr int spacing = 12; // between cards, and before the first of a row

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    ProfileGridModel m_model;
    int m_lastCardWidth = 0;
};
