#pragma once

#include "ui/kit/Widgets.h"

#include <QLabel>
#include <QString>

#include <functional>

class QToolButton;

// A path shown in full where it fits and cut in the middle where it does not, so both the
// start of the tree and the file name stay readable.
class MiddleElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit MiddleElidedLabel(QWidget *parent = nullptr);
    void setFullText(const QString &text);
    QString fullText() const { return m_fullText; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString m_fullText;
};

// One file the entry relies on: a titled card with the path and, when the file can be shown,
// a button that reveals it in the file manager.
class PathCard : public Card
{
    Q_OBJECT

public:
    PathCard(const QString &title, const QString &path, const QString &icon,
        std::function<void()> action, QWidget *parent = nullptr);

    void setPath(const QString &path);
    // A short fact after the title ("712 MB"); hidden when empty.
    void setDetail(const QString &detail);
    QString path() const { return m_path->fullText(); }
    QString title() const { return m_title->text(); }
    QToolButton *revealButton() const { return m_reveal; }

private:
    SymbolView *m_symbol;
    QLabel *m_title;
    QLabel *m_detail;
    MiddleElidedLabel *m_path;
    QToolButton *m_reveal = nullptr;
};
