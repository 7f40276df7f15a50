#pragma once

#include "ui/rules/WindowFlow.h"

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

class LibraryModel;

// The sidebar's rows: the "DISCOVER" heading, "Game Profiles", the "LIBRARY" heading, then one
// row per library entry in the model's order.
class SidebarModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum class RowKind { heading, games, entry };
    enum Role {
        kindRole = Qt::UserRole + 1,
        entryIDRole,
        runningRole,
        stateRole,
        iconPathRole, // the executable whose icon the row shows; empty: the symbol
    };

    explicit SidebarModel(LibraryModel &library, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QModelIndex indexFor(const LibraryDestination &destination) const;
    std::optional<LibraryDestination> destinationAt(const QModelIndex &index) const;

    static constexpr int entriesOffset = 3;

private:
    LibraryModel &m_library;
};

// One library entry's line: the program's icon (or the controller symbol), the name, and
// "Running" or "Wine app".
class LibraryRow : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// The sidebar list. Reports the destination the user picks and each entry's context menu.
class LibrarySidebar : public QListView
{
    Q_OBJECT

public:
    explicit LibrarySidebar(LibraryModel &library, QWidget *parent = nullptr);

    void setDestination(const LibraryDestination &destination);
    SidebarModel &sidebarModel() { return m_model; }

Q_SIGNALS:
    void destinationPicked(const LibraryDestination &destination);
    void editRequested(const GameEntry &entry);
    void revealRequested(const GameEntry &entry);
    void removeRequested(const GameEntry &entry);
    void menuShortcutRequested(const GameEntry &entry);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void pickCurrent();

    LibraryModel &m_library;
    SidebarModel m_model;
    LibraryDestination m_destination;
    bool m_settingDestination = false;
};
