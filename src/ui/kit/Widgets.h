#pragma once

#include "ui/kit/Theme.h"

#include <QColor>
#include <QFrame>
#include <QPushButton>
#include <QString>
#include <QWidget>

class QLabel;
class QMessageBox;
class QTimer;

// Small painted pieces the screens share. Each reads its colours from the theme when it paints.

// A rounded card with a hairline outline.
class Card : public QFrame
{
    Q_OBJECT

public:
    enum class Fill { card, quaternary, none };
    explicit Card(QWidget *parent = nullptr, int radius = 14, Fill fill = Fill::card);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_radius;
    Fill m_fill;
};

// A symbol drawn at a fixed size in one colour.
class SymbolView : public QWidget
{
    Q_OBJECT

public:
    SymbolView(const QString &symbol, int size, const QColor &color, QWidget *parent = nullptr);
    void setSymbol(const QString &symbol, const QColor &color);
    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    int m_size;
    QColor m_color;
};

// An indeterminate progress spinner; it only animates while visible.
class Spinner : public QWidget
{
    Q_OBJECT

public:
    explicit Spinner(int size = 16, QWidget *parent = nullptr, QColor color = QColor());
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    int m_size;
    QColor m_color;
    int m_step = 0;
    QTimer *m_timer;
};

// A pill holding an optional spinner or symbol and a text.
class Capsule : public QWidget
{
    Q_OBJECT

public:
    struct Look
    {
        QColor background;
        QColor foreground;
        QColor symbolColor;
        QFont font;
        int horizontalMargin = 14;
        int verticalMargin = 9;
        bool shadow = false;
        bool outline = false;
    };

    explicit Capsule(QWidget *parent = nullptr);
    void setLook(const Look &look);
    void setText(const QString &text);
    void setSymbol(const QString &symbol);
    void setSpinning(bool spinning);
    QString text() const;
    QString symbol() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void restyle();

    Look m_look;
    QLabel *m_label;
    SymbolView *m_symbol;
    Spinner *m_spinner;
};

// Veils the window while a file is dragged over it, so the drop target reads as one state
// rather than a capsule floating over whatever lies below.
class DropShade : public QWidget
{
    Q_OBJECT

public:
    explicit DropShade(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A hairline separator in the theme's separator colour.
QFrame *makeDivider(QWidget *parent = nullptr, Qt::Orientation orientation = Qt::Horizontal);

// A label in one of the theme's text styles; secondary labels use the secondary colour.
QLabel *makeLabel(const QString &text, Theme::TextStyle style, QWidget *parent = nullptr,
    QFont::Weight weight = QFont::Normal, bool secondary = false);

// A push button in one of the design's button styles: "bordered", "prominent", "destructive".
QPushButton *makeButton(const QString &text, const QString &symbol, const QString &kind,
    const QString &objectName, QWidget *parent = nullptr);
void setButtonKind(QPushButton *button, const QString &kind);

// Gives an alert the application's look: its icon instead of the style's generic one, plain
// text (names may hold "<"), room for a sentence per line, and modality over its window only.
void styleAlert(QMessageBox *alert);
