#include "TestSupport.h"

#include "library/LibraryFile.h"
#include "platform/UserDefaults.h"
#include "profiles/SteamGameCatalog.h"

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

QStringList items(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QStringList savedNames(const QString &path)
{
    const auto entries = LibraryFile::decode(readFile(path));
    if (!entries)
        return {QStringLiteral("unreadable: ") + entries.error()};
    QStringList names;
    for (const GameEntry &entry : *entries)
        names << entry.name;
    return names;
}

GameCompatibilityProfile catalogProfile(const QString &id)
{
    const auto &games = SteamGameCatalog::games();
    const auto found = std::find_if(
        games.cbegin(), games.cend(), [&](const auto &game) { return game.id == id; });
    if (found == games.cend())
        qFatal("no built-in profile %s", qPrintable(id));
    return *found;
}

QString steamManifest(
    const QString &appID, const QString &flags, const QString &folder, const QString &bytes)
{
    QString text
        = QStringLiteral("\"AppState\"\n{\n\t\"appid\"\t\t\"%1\"\n\t\"StateFlags\"\t\t\"%2\"\n"
                         "\t\"installdir\"\t\t\"%3\"\n")
              .arg(appID, flags, folder);
    if (!bytes.isNull())
        text += QStringLiteral("\t\"BytesToDownload\"\t\t\"") + bytes + QStringLiteral("\"\n");
    return text + QStringLiteral("}\n");
}

QString steamApps(const GameEntry &steam)
{
    return QFileInfo(steam.executablePath).path() + QStringLiteral("/steamapps");
}

void installSteamGame(const GameEntry &steam, const QString &appID, const QString &manifest)
{
    installSteamGameIn(steamApps(steam), appID, manifest);
}

void installSteamGameIn(const QString &apps, const QString &appID, const QString &manifest)
{
    const QString folder = QStringLiteral("Game") + appID;
    writeFile(apps + QStringLiteral("/appmanifest_") + appID + QStringLiteral(".acf"),
        (manifest.isNull() ? steamManifest(appID, QStringLiteral("4"), folder) : manifest)
            .toUtf8());
    writeFile(apps + QStringLiteral("/common/") + folder + QStringLiteral("/game.exe"), "MZ");
}

QByteArray steamLibraryList(const QStringList &windowsPaths)
{
    QByteArray text = "\"libraryfolders\"\n{\n";
    for (qsizetype i = 0; i < windowsPaths.size(); ++i) {
        // Steam escapes backslashes; the "apps" block carries numbers that are no folders.
        text += "\t\"" + QByteArray::number(i) + "\"\n\t{\n\t\t\"path\"\t\t\""
            + windowsPaths.at(i).toUtf8().replace("\\", "\\\\")
            + "\"\n\t\t\"label\"\t\t\"\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"730\"\t\t\"1024\"\n\t\t}"
              "\n\t}\n";
    }
    return text + "}\n";
}

QString addSteamLibraryOnDriveD(const GameEntry &steam, const QString &drive)
{
    QDir().mkpath(drive + QStringLiteral("/SteamLibrary/steamapps"));
    QDir().mkpath(steam.prefixPath + QStringLiteral("/dosdevices"));
    QFile::link(drive, steam.prefixPath + QStringLiteral("/dosdevices/d:"));
    writeFile(steamApps(steam) + QStringLiteral("/libraryfolders.vdf"),
        steamLibraryList({QStringLiteral("C:\\Program Files (x86)\\Steam"),
            QStringLiteral("D:\\SteamLibrary")}));
    return drive + QStringLiteral("/SteamLibrary/steamapps");
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

std::unique_ptr<QProcess> startQuillmere(const Sandbox &sandbox, const QStringList &arguments,
    const QProcessEnvironment &extra, const QString &folder)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), sandbox.root());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), sandbox.path(QStringLiteral("config")));
    for (const char *name :
        {"QUILLMERE_WEBSITE_URL", "QUILLMERE_STEAM_STORE_URL", "QUILLMERE_STEAM_API_URL"})
        environment.insert(QLatin1String(name), QStringLiteral("http://127.0.0.1:9"));
    environment.insert(extra);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(folder.isEmpty() ? sandbox.root() : folder);
    process->start(QStringLiteral(QUILLMERE_EXECUTABLE), arguments);
    return process;
}

bool finishes(QProcess &process, int timeout)
{
    QSignalSpy finished(&process, &QProcess::finished);
    return process.state() == QProcess::NotRunning || finished.wait(timeout);
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
    const GameEntry entry {.name = name,
        .executablePath = path(name + QStringLiteral("/bin/game.exe")),
        .prefixPath = path(name + QStringLiteral("/prefix")),
        .winePath = fakeWine(),
        .wineServerPath = fakeWineServer(),
        .environment = {{QStringLiteral("FAKE_RECORD_DIR"), recordDir()}}};
    writeFile(entry.executablePath, "MZ");
    writeFile(entry.prefixPath + QStringLiteral("/system.reg"), "WINE REGISTRY Version 2\n");
    return entry;
}

GameEntry Sandbox::steamEntry() const
{
    GameEntry steam = readyEntry(QStringLiteral("Steam"));
    steam.executablePath
        = steam.prefixPath + QStringLiteral("/drive_c/Program Files (x86)/Steam/steam.exe");
    writeFile(steam.executablePath, "MZ");
    return steam;
}

} // namespace TestSupport
