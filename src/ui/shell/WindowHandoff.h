#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <memory>
#include <optional>

class MainWindow;
class QLocalServer;
class QLocalSocket;
class QWidget;

// One window per user and data folder. A second start of the window hands its request (a file to
// run, or just "come forward") to the running window through a local socket and leaves; the
// running window listens on that socket and also takes the desktop's file-open events. The
// socket lives in a folder only the user can enter, and both ends hang up on a peer of another
// user, so no one else learns which files the user opens or answers in the window's place.
//
// On the wire, UTF-8 lines, one connection per request. The start asks "show", or "run\t" and the
// percent-encoded absolute path, or "launch\t" and a library entry's id (an applications-menu
// shortcut, which does not open a window when there is none); when the desktop gave the start an
// activation token, a second line "activate\t" and the percent-encoded token follows, which a
// window that does not know it leaves unread. The window handles the request before it answers in
// one line, so the start leaves with the outcome: "ok" when it came forward and runs the file (or
// has put it in line behind a program it is preparing) or launched the entry, else "refused\t" and
// the percent-encoded sentence it also shows, which the start prints before it fails.
class WindowHandoff : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        handedOff, // the running window did what was asked: this start is done
        refused, // the running window could not do it (see problem())
        listening, // no window was running: this one listens now and opens its own
        unanswered, // a window holds the socket but did not answer (see problem())
        notListening, // the socket could not be set up (see problem()); a window works without it
    };

    explicit WindowHandoff(QObject *parent = nullptr);
    ~WindowHandoff() override;

    // A full path in the user's private folder (see SameUser::privateFolder), distinct for each
    // data folder, so a sandbox never reaches the user's window.
    static QString socketName(const QString &dataFolder);

    // A start of the window: hands `path` (empty: just come forward) to a running window, or
    // listens when there is none. Waits a few seconds at most; call it before the window exists.
    Outcome offer(const QString &dataFolder, const QString &path);
    // Listens on the data folder's socket, replacing one left behind by a window that died.
    // Returns why it could not, or an empty text.
    QString listen(const QString &dataFolder);
    bool isListening() const;
    // The command line's side of "launch": nothing when no window of this user listens, else
    // the window's sentence why it did not launch the entry (empty: it did).
    static QCoro::Task<std::optional<QString>> askToLaunch(QString dataFolder, QUuid id);
    QString problem() const { return m_problem; }

    // Sends the requests this object receives, and the desktop's file-open events, to the window,
    // which then decides the answers.
    void attach(MainWindow &window);
    // Brings a window to the front, keeping it maximised or full screen if it was.
    static void bringForward(QWidget *window, const QByteArray &activationToken = {});

    static constexpr qsizetype maximumRequestSize = 64 * 1024;

Q_SIGNALS:
    void showRequested(const QByteArray &activationToken);
    void runRequested(const QString &path, const QByteArray &activationToken);
    void launchRequested(const QUuid &id);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<QLocalSocket> connectOrListen(const QString &name);
    void acceptConnections();
    void readRequest(QLocalSocket *socket);
    // Why the window did not do it, or empty.
    QString handle(const QString &path, const QByteArray &activationToken = {});
    QString launch(const QUuid &id, const QByteArray &activationToken);
    static QString unansweredProblem();

    QLocalServer *m_server = nullptr;
    QPointer<MainWindow> m_window;
    QString m_problem;
};
