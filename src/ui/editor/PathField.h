#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// A path typed or chosen: a rounded field whose placeholder is the title, and a button that
// opens a panel.
class PathField : public QWidget
{
    Q_OBJECT

public:
    PathField(const QString &title, const QString &buttonTitle, const QString &fieldObjectName,
        const QString &buttonObjectName, std::function<void()> choose, QWidget *parent = nullptr);

    QString path() const;
    // Leaves the field alone when it already shows `path`, so the caret stays where it is.
    void setPath(const QString &path);
    QLineEdit *lineEdit() const { return m_field; }
    QPushButton *button() const { return m_button; }

Q_SIGNALS:
    // Typed by the user; a path set from code is not echoed.
    void pathEdited(const QString &path);

private:
    QLineEdit *m_field;
    QPushButton *m_button;
};

// The entry form's other rows, drawn to match the path rows.

// A monospaced multi-line editor that grows between the two heights.
QPlainTextEdit *makeTextEditor(const QString &objectName, const QString &title, int minimumHeight,
    int maximumHeight, QWidget *parent);
// A checkable disclosure row: a chevron that turns down while open, a symbol and the title.
QToolButton *makeDisclosure(
    const QString &title, const QString &symbol, const QString &objectName, QWidget *parent);
