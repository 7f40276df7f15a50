#include "TestSupport.h"

#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace TestSupport {

QString fakeWine()
{
    return QStringLiteral(QUILLMERE_TEST_SUPPORT_DIR "/fake-wine");
}

QString fakeWineServer()
{
    return QStringLiteral(QUILLMERE_TEST_SUPPORT_DIR "/fake-wineserver");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

static QList<QByteArray> nulSeparated(const QString &path)
{
    QList<QByteArray> parts = readFile(path).split('\0');
    if (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

QStringList recordedArguments(const QString &recordDir, const QString &call)
{
    QStringList out;
    for (const QByteArray &part : nulSeparated(recordDir + u'/' + call + QStringLiteral(".args")))
        out.append(QString::fromUtf8(part));
    return out;
}

Environment recordedEnvironment(const QString &recordDir, const QString &call)
{
    Environment out;
    for (const QByteArray &part : nulSeparated(recordDir + u'/' + call + QStringLiteral(".env"))) {
        const qsizetype equals = part.indexOf('=');
        out.insert(QString::fromUtf8(part.left(equals)), QString::fromUtf8(part.mid(equals + 1)));
    }
    return out;
}

QString recordedWorkingFolder(const QString &recordDir, const QString &call)
{
    return QString::fromUtf8(readFile(recordDir + u'/' + call + QStringLiteral(".cwd"))).trimmed();
}

Sandbox::Sandbox()
{
    QDir().mkpath(recordDir());
}

QString Sandbox::path(const QString &relative) const
{
    return m_dir.filePath(relative);
}

LibraryContext Sandbox::context() const
{
    return {dataFolder(), std::make_shared<UserDefaults>(path(QStringLiteral("defaults.ini"))),
        desktop};
}

std::unique_ptr<LibraryModel> Sandbox::model() const
{
    return std::make_unique<LibraryModel>(context());
}

GameEntry Sandbox::readyEntry(const QString &name) const
{
    GameEntry entry;
    entry.name = name;
    entry.executablePath = path(name + QStringLiteral("/bin/game.exe"));
    entry.prefixPath = path(name + QStringLiteral("/prefix"));
    entry.winePath = fakeWine();
    entry.wineServerPath = fakeWineServer();
    entry.environment.insert(QStringLiteral("FAKE_RECORD_DIR"), recordDir());
    writeFile(entry.executablePath, "MZ");
    writeFile(entry.prefixPath + QStringLiteral("/system.reg"), "WINE REGISTRY Version 2\n");
    return entry;
}

} // namespace TestSupport
