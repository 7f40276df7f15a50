#include "ui/shell/WindowHandoff.h"

#include "ui/shell/MainWindow.h"

#include "library/GameEntry.h"
#include "platform/SameUser.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QFileOpenEvent>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStringDecoder>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// A lock holder keeps it for a connect or a listen, milliseconds; a dead holder's lock goes stale.
constexpr int lockWaitMs = 3000;
constexpr int connectWaitMs = 1000;
// Long enough for a window that is still being built when the request arrives.
constexpr auto answerWait = 5s;
// A client that never finishes its line does not hold a connection open for ever.
constexpr auto idleLimit = 10s;

struct Request
{
    enum class Kind { show, run, launch };
    Kind kind = Kind::show;
    QString path; // run: the file
    QUuid id; // launch: the library entry
};

QByteArray encode(const QByteArray &line, const QByteArray &activationToken)
{
    // On a line of its own after the request, which a window from before it answers without.
    if (activationToken.isEmpty())
        return line + '\n';
    return line + "\nactivate\t" + activationToken.toPercentEncoding() + '\n';
}

QByteArray request(const QString &path, const QByteArray &activationToken)
{
    // Encoded, so that a file name with a line break still fits on one line.
    return encode(
        path.isEmpty() ? QByteArray("show") : "run\t" + path.toUtf8().toPercentEncoding("/"),
        activationToken);
}

// Nothing for anything malformed.
std::optional<Request> parse(const QByteArray &line)
{
    if (line == "show")
        return Request {};
    if (line.startsWith("launch\t")) {
        const QByteArray id = line.mid(7);
        if (!isUuidText(QString::fromLatin1(id)))
            return std::nullopt;
        return Request {Request::Kind::launch, {}, QUuid::fromString(QLatin1String(id))};
    }
    if (!line.startsWith("run\t"))
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString path = utf8.decode(QByteArray::fromPercentEncoding(line.mid(4)));
    if (utf8.hasError() || !QDir::isAbsolutePath(path) || path.contains(QChar(0)))
        return std::nullopt;
    return Request {Request::Kind::run, QDir::cleanPath(path), {}};
}

QString decoded(const QByteArray &encoded)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded));
}

QByteArray answer(const QString &refusal)
{
    if (refusal.isEmpty())
        return "ok\n";
    return "refused\t" + refusal.toUtf8().toPercentEncoding() + '\n';
}

bool isSameUser(const QLocalSocket &socket)
{
    return SameUser::trusts(SameUser::peer(socket.socketDescriptor()), SameUser::current());
}

// Resumes its coroutine at the first of: a whole answer line, the window closing the
// connection, the time limit. The application keeps handling its events meanwhile.
class AnswerLine
{
public:
    explicit AnswerLine(QLocalSocket &socket)
        : m_socket(socket)
        , m_limit(std::make_unique<QTimer>())
    {
    }
    bool await_ready() const
    {
        return m_socket.canReadLine() || m_socket.state() != QLocalSocket::ConnectedState;
    }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_waiting = waiting;
        m_read = QObject::connect(&m_socket, &QLocalSocket::readyRead, [this] {
            if (m_socket.canReadLine())
                finish();
        });
        m_closed = QObject::connect(&m_socket, &QLocalSocket::disconnected, [this] { finish(); });
        m_limit->setSingleShot(true);
        m_limit->callOnTimeout([this] { finish(); });
        m_limit->start(answerWait);
    }
    QByteArray await_resume() const
    {
        return m_socket.canReadLine() ? m_socket.readLine().chopped(1) : QByteArray();
    }

private:
    void finish()
    {
        QObject::disconnect(m_read);
        QObject::disconnect(m_closed);
        m_limit->stop();
        // From the event loop, not inside the socket's signal: the coroutine may end the socket.
        QMetaObject::invokeMethod(
            m_limit.get(), [waiting = m_waiting] { waiting.resume(); }, Qt::QueuedConnection);
    }

    QLocalSocket &m_socket;
    std::coroutine_handle<> m_waiting;
    QMetaObject::Connection m_read;
    QMetaObject::Connection m_closed;
    std::unique_ptr<QTimer> m_limit; // moves with the awaiter until it waits
};

// The window's answer line without its end, or nothing when it did not answer.
QCoro::Task<QByteArray> deliver(QLocalSocket &socket, QByteArray line)
{
    socket.write(line);
    // Named before co_await: GCC 12 may destroy temporaries of a co_await expression twice.
    AnswerLine answer(socket);
    co_return co_await std::move(answer);
}

void drop(QLocalSocket *socket)
{
    socket->abort();
    socket->deleteLater();
}

} // namespace

WindowHandoff::WindowHandoff(QObject *parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &WindowHandoff::acceptConnections);
}

WindowHandoff::~WindowHandoff() = default;

QString WindowHandoff::socketName(const QString &dataFolder)
{
    const QString folder = SameUser::privateFolder(
        qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(), SameUser::current());
    const QByteArray key = QDir::cleanPath(QDir(dataFolder).absolutePath()).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex();
    return QDir(folder).filePath(u"quillmere-%1.socket"_s.arg(QString::fromLatin1(hash.left(12))));
}

WindowHandoff::Outcome WindowHandoff::offer(const QString &dataFolder, const QString &path)
{
    const QString name = socketName(dataFolder);
    std::unique_ptr<QLocalSocket> window = connectOrListen(name);
    if (!window)
        return isListening() ? Outcome::listening : Outcome::notListening;
    // Before the window exists nothing else needs the event loop, so this start may wait here.
    const QByteArray answer
        = QCoro::waitFor(deliver(*window, request(path, qgetenv("XDG_ACTIVATION_TOKEN"))));
    if (answer == "ok")
        return Outcome::handedOff;
    if (answer.startsWith("refused\t")) {
        m_problem = decoded(answer.mid(8));
        return Outcome::refused;
    }
    // No answer: take the socket over only if its window has gone meanwhile. A live window keeps
    // it, since a second window beside it would not get the next start's request either.
    window = connectOrListen(name);
    if (!window)
        return isListening() ? Outcome::listening : Outcome::notListening;
    m_problem = unansweredProblem();
    return Outcome::unanswered;
}

QString WindowHandoff::listen(const QString &dataFolder)
{
    if (connectOrListen(socketName(dataFolder)))
        m_problem = u"Another Quillmere window is listening at %1."_s.arg(socketName(dataFolder));
    return isListening() ? QString() : m_problem;
}

bool WindowHandoff::isListening() const
{
    return m_server->isListening();
}

// Under a lock beside the socket, so that two starts at the same moment do not both listen and
// one does not remove the socket the other has just made.
std::unique_ptr<QLocalSocket> WindowHandoff::connectOrListen(const QString &name)
{
    if (isListening())
        return nullptr;
    const QString folder = QFileInfo(name).path();
    if (const QString problem = SameUser::makePrivateFolder(folder, SameUser::current());
        !problem.isEmpty()) {
        m_problem
            = u"Quillmere doesn’t listen for other starts, because “%1” %2."_s.arg(folder, problem);
        return nullptr;
    }
    QLockFile lock(name + u".lock"_s);
    // Going on without the lock beats not starting at all.
    lock.tryLock(lockWaitMs);
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(name);
    if (socket->waitForConnected(connectWaitMs)) {
        if (isSameUser(*socket))
            return socket;
        // Not this user's window: it learns no path, and its socket is not taken over either.
        m_problem = u"Quillmere doesn’t hand over to the program listening at “%1”, because it "
                    "belongs to another user."_s.arg(name);
        return nullptr;
    }
    if (SameUser::holdsNonSocket(name)) {
        m_problem
            = u"Quillmere can’t listen for other starts, because something else is at “%1”."_s.arg(
                name);
        return nullptr;
    }
    // Nobody behind it: the socket was left by a window that died.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        m_problem = u"Quillmere can’t listen for other starts at “%1”."_s.arg(name);
    return nullptr;
}

void WindowHandoff::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (!isSameUser(*socket)) {
            drop(socket);
            continue;
        }
        socket->setReadBufferSize(maximumRequestSize);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(idleLimit, socket, [socket] { drop(socket); });
        readRequest(socket);
    }
}

void WindowHandoff::readRequest(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= maximumRequestSize)
            drop(socket);
        return;
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    const std::optional<Request> request = parse(socket->readLine().chopped(1));
    if (!request) {
        drop(socket);
        return;
    }
    // The start writes both lines at once; a token that is late only costs the focus.
    QByteArray activationToken;
    if (socket->canReadLine()) {
        if (const QByteArray line = socket->readLine().chopped(1); line.startsWith("activate\t"))
            activationToken = QByteArray::fromPercentEncoding(line.mid(9));
    }
    const QPointer<QLocalSocket> client(socket);
    const QString refusal = request->kind == Request::Kind::launch
        ? launch(request->id, activationToken)
        : handle(request->path, activationToken);
    if (!client)
        return;
    client->write(answer(refusal));
    client->disconnectFromServer();
}

QString WindowHandoff::handle(const QString &path, const QByteArray &activationToken)
{
    if (path.isEmpty())
        Q_EMIT showRequested(activationToken);
    else
        Q_EMIT runRequested(path, activationToken);
    if (!m_window)
        return {};
    bringForward(m_window, activationToken);
    return path.isEmpty() ? QString() : m_window->runFile(path);
}

QString WindowHandoff::launch(const QUuid &id, const QByteArray &activationToken)
{
    Q_EMIT launchRequested(id);
    if (!m_window)
        return {};
    // The game comes forward, not the window, unless the window has something to say.
    QString refusal = m_window->launchEntry(id);
    if (!refusal.isEmpty())
        bringForward(m_window, activationToken);
    return refusal;
}

QCoro::Task<std::optional<QString>> WindowHandoff::askToLaunch(QString dataFolder, QUuid id)
{
    QLocalSocket window;
    window.connectToServer(socketName(dataFolder));
    if (!window.waitForConnected(connectWaitMs) || !isSameUser(window))
        co_return std::nullopt;
    auto delivering = deliver(
        window, encode("launch\t" + uuidText(id).toLatin1(), qgetenv("XDG_ACTIVATION_TOKEN")));
    const QByteArray answer = co_await std::move(delivering);
    if (answer == "ok")
        co_return QString();
    if (answer.startsWith("refused\t"))
        co_return decoded(answer.mid(8));
    co_return unansweredProblem();
}

QString WindowHandoff::unansweredProblem()
{
    return u"Quillmere’s window is open but does not answer. Close it, then start Quillmere "
           "again."_s;
}

void WindowHandoff::attach(MainWindow &window)
{
    m_window = &window;
    QCoreApplication::instance()->installEventFilter(this);
}

void WindowHandoff::bringForward(QWidget *window, const QByteArray &activationToken)
{
    // A Wayland compositor focuses a window only with the token of the start that asked for it;
    // Qt's Wayland plugin reads it from the environment when the window asks to be activated.
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken);
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
    // Used once at most, and never passed on to the programs the window starts later.
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

// The desktop's "open this file with Quillmere" on macOS arrives as an event, not as arguments.
bool WindowHandoff::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::FileOpen || watched != QCoreApplication::instance())
        return QObject::eventFilter(watched, event);
    const QString path = static_cast<QFileOpenEvent *>(event)->file();
    if (!path.isEmpty())
        handle(path);
    return true;
}
