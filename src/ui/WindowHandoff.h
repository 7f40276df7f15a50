#pragma once

#include <QObject>

#include <memory>

class LibraryView;
class QLocalServer;
class QLocalSocket;
class QWidget;

// One window per user and data folder. A second start of the window hands its request (a file to
// run, or just "come forward") to the running window through a local socket and leaves; the
// running window listens on that socket and also takes the desktop's file-open events.
//
// On the wire, one UTF-8 line per connection: "show", or "run\t" and the percent-encoded absolute
// path; the window answers "ok" once it has taken the request.
class WindowHandoff : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        handedOff, // the running window took the request: this start is done
        listening, // no window was running: this one listens now and opens its own
        unanswered, // a window holds the socket but did not answer (see problem())
        notListening, // the socket could not be set up (see problem()); a window works without it
    };

    explicit WindowHandoff(QObject *parent = nullptr);
    ~WindowHandoff() override;

    // A full path in the user's runtime folder (the temporary folder where there is none),
    // distinct for each user and each data folder, so a sandbox never reaches the user's window.
    static QString socketName(const QString &dataFolder);

    // A start of the window: hands `path` (empty: just come forward) to a running window, or
    // listens when there is none. Waits a few seconds at most; call it before the window exists.
    Outcome offer(const QString &dataFolder, const QString &path);
    // Listens on the data folder's socket, replacing one left behind by a window that died.
    // Returns why it could not, or an empty text.
    QString listen(const QString &dataFolder);
    bool isListening() const;
    QString problem() const { return m_problem; }

    // Sends the requests this object receives, and the desktop's file-open events, to the window.
    void attach(LibraryView &window);
    // Brings a window to the front, keeping it maximised or full screen if it was.
    static void bringForward(QWidget *window);

    static constexpr qsizetype maximumRequestSize = 64 * 1024;

Q_SIGNALS:
    void showRequested();
    void runRequested(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<QLocalSocket> connectOrListen(const QString &name);
    void acceptConnections();
    void readRequest(QLocalSocket *socket);

    QLocalServer *m_server = nullptr;
    QString m_problem;
};
