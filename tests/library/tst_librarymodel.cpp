#include "library/LibraryFile.h"
#include "library/LibraryModel.h"
#include "platform/RegularFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {
GameEntry namedEntry(const QString &name)
{
    GameEntry entry;
    entry.name = name;
    entry.executablePath = QStringLiteral("/games/") + name + QStringLiteral(".exe");
    entry.prefixPath = QStringLiteral("/prefixes/") + name;
    entry.winePath = QStringLiteral("/wine/bin/wine");
    entry.wineServerPath = QStringLiteral("/wine/bin/wineserver");
    return entry;
}

QString readFailure(const QString &keptAt, const QString &reason)
{
    return QStringLiteral(
               "Quillmere couldn't read its library. The saved file is still available at:\n")
        + keptAt + QStringLiteral("\n\n") + reason;
}

QStringList unreadableCopies(const QString &folder)
{
    return QDir(folder).entryList(
        {QStringLiteral("library-unreadable-*.json")}, QDir::Files, QDir::Name);
}
} // namespace

class TestLibraryModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstStartIsEmptyAndQuiet()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->selectedID().isNull());
        QCOMPARE(model->errorMessage(), QString());
        QVERIFY(QFileInfo(sandbox.dataFolder()).isDir());
        QVERIFY(!QFile::exists(model->libraryURL()));
    }

    void loadsSavedLibraryAndSelectsFirst()
    {
        Sandbox sandbox;
        const QList<GameEntry> saved {namedEntry("One"), namedEntry("Two")};
        writeFile(
            sandbox.dataFolder() + QStringLiteral("/library.json"), LibraryFile::encode(saved));
        const auto model = sandbox.model();
        QVERIFY(model->entries() == saved);
        QCOMPARE(model->selectedID(), saved.first().id);
        QCOMPARE(model->errorMessage(), QString());
    }

    void loadThenSaveKeepsValues()
    {
        // Another program wrote this: shuffled keys, an extra key, escapes, a fine timestamp.
        Sandbox sandbox;
        const QByteArray original = R"([{"addedAt":786745123.4567891,"extra":true,
            "environment":{"A":"1"},"arguments":["a","b c"],"wineServerPath":"\/w\/wineserver",
            "winePath":"\/w\/wine","prefixPath":"\/p","executablePath":"\/g.exe","name":"G",
            "id":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"}])";
        writeFile(sandbox.dataFolder() + QStringLiteral("/library.json"), original);
        const auto model = sandbox.model();
        QCOMPARE(model->entries().size(), 1);
        GameEntry loaded = model->entries().first();
        loaded.name = QStringLiteral("G2"); // a save, with every other value as it was read
        model->update(loaded);
        const QByteArray saved = readFile(model->libraryURL());
        QCOMPARE(saved, LibraryFile::encode({loaded}, LibraryFile::Keys::withUnknown));
        QVERIFY(saved.endsWith(R"("addedAt":786745123.4567891,"extra":true}])"));
        const auto reread = LibraryFile::decode(saved);
        QVERIFY(reread.hasValue());
        QVERIFY(reread->first() == loaded);
        QCOMPARE(reread->first().addedAt, 786745123.4567891);
        QCOMPARE(
            reread->first().idString(), QStringLiteral("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"));
    }

    void unreadableLibraryIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray(
            "{{{") << QStringLiteral("The file isn't valid JSON (unterminated object at byte 2).");
        QTest::newRow("missing arguments") << QByteArray(
            R"([{"id":"6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0B","name":"n","executablePath":"/e",)"
            R"("prefixPath":"/p","winePath":"/w","wineServerPath":"/s","environment":{},"addedAt":1}])")
                                           << QStringLiteral("Entry 1 of the library has no "
                                                             "“arguments” value.");
        QTest::newRow("bad id") << QByteArray(
            R"([{"id":"nope","name":"n","executablePath":"/e","prefixPath":"/p","winePath":"/w",)"
            R"("wineServerPath":"/s","arguments":[],"environment":{},"addedAt":1}])")
                                << QStringLiteral("Entry 1 of the library has an “id” that isn't a "
                                                  "valid UUID.");
    }
    void unreadableLibraryIsKeptAside()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        Sandbox sandbox;
        const QString libraryPath = sandbox.dataFolder() + QStringLiteral("/library.json");
        writeFile(libraryPath, content);

        {
            const auto model = sandbox.model();
            QVERIFY(model->entries().isEmpty());
            QVERIFY(model->selectedID().isNull());
            const QStringList copies = unreadableCopies(sandbox.dataFolder());
            QCOMPARE(copies.size(), 1);
            const QString copy = sandbox.dataFolder() + u'/' + copies.first();
            QCOMPARE(model->errorMessage(), readFailure(copy, reason));
            QCOMPARE(readFile(libraryPath), content); // left as it is until the next change

            model->add(namedEntry("New"));
            QCOMPARE(readFile(copy), content); // the user's bytes survive the save
            const auto saved = LibraryFile::decode(readFile(libraryPath));
            QVERIFY(saved.hasValue());
            QCOMPARE(saved->size(), 1);
        }

        // The same unreadable bytes at a later start reuse their copy instead of piling up
        // new ones, and a different unreadable file never replaces an earlier copy.
        writeFile(libraryPath, content);
        sandbox.model();
        QCOMPARE(unreadableCopies(sandbox.dataFolder()).size(), 1);
        writeFile(libraryPath, content + "junk");
        const auto again = sandbox.model();
        const QStringList copies = unreadableCopies(sandbox.dataFolder());
        QCOMPARE(copies.size(), 2);
        for (const QString &name : copies) {
            const QByteArray bytes = readFile(sandbox.dataFolder() + u'/' + name);
            QVERIFY(bytes == content || bytes == content + "junk");
        }
    }

    // What can't be read and can't be copied aside is refused in one sentence, at once, and is
    // never replaced until the user moves it.
    void notARegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // LIB: the library file, DATA: the data folder
        const QString refused = QStringLiteral("Quillmere couldn't read its library:\n");
        QTest::newRow("named pipe")
            << "pipe" << refused + "The library file “LIB” is a named pipe, not a regular file.";
        QTest::newRow("link to a device") << "device"
                                          << refused
                + "The library file “LIB” links to “/dev/zero”, which is a device, not a regular "
                  "file.";
        QTest::newRow("dangling link")
            << "dangling"
            << refused + "The library file “LIB” links to “DATA/gone.json”, which doesn't exist.";
        QTest::newRow("looping link")
            << "loop"
            << refused + "The library file “LIB” is a link in a loop that never reaches a file.";
        QTest::newRow("folder") << "folder"
                                << refused
                + "The library file “LIB” is a folder, not a regular file.";
        QTest::newRow("larger than the limit") << "huge"
                                               << readFailure(QStringLiteral("LIB"),
                                                      "The file is larger than 256 MiB, far "
                                                      "more than any library needs.");
    }
    void notARegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        Sandbox sandbox;
        const QString libraryPath = sandbox.dataFolder() + QStringLiteral("/library.json");
        const QByteArray name = QFile::encodeName(libraryPath);
        QDir().mkpath(sandbox.dataFolder());
        if (kind == u"pipe")
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        else if (kind == u"device")
            QCOMPARE(::symlink("/dev/zero", name.constData()), 0);
        else if (kind == u"dangling")
            QCOMPARE(::symlink(QFile::encodeName(sandbox.dataFolder() + "/gone.json"), name), 0);
        else if (kind == u"loop")
            QCOMPARE(::symlink(name.constData(), name.constData()), 0);
        else if (kind == u"folder")
            writeFile(libraryPath + QStringLiteral("/inside"), "precious");
        else {
            QFile huge(libraryPath);
            QVERIFY(huge.open(QIODevice::WriteOnly)); // sparse: no disk space taken
            QVERIFY(huge.resize(LibraryStore::maximumFileSize + 1));
        }
        const FileKind before = FileKind::of(libraryPath);

        // Built away from the test's thread: a read that blocks must fail the test, not hang it.
        auto loading = std::async(std::launch::async, [&] {
            auto built = sandbox.model();
            built->moveToThread(QCoreApplication::instance()->thread());
            return built;
        });
        if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
            qFatal("Loading the library blocked.");
        const auto model = loading.get();
        QCOMPARE(model->errorMessage(),
            QString(message).replace("LIB", libraryPath).replace("DATA", sandbox.dataFolder()));
        QVERIFY(unreadableCopies(sandbox.dataFolder()).isEmpty());

        model->add(namedEntry("New"));
        QCOMPARE(model->errorMessage(),
            QStringLiteral("Quillmere couldn't save its library:\nThe unreadable library file at “")
                + libraryPath
                + QStringLiteral("” couldn't be copied aside, so Quillmere won't replace it. "
                                 "Move it elsewhere to save again."));
        const FileKind after = FileKind::of(libraryPath);
        QVERIFY(after.kind == before.kind && after.size == before.size);

        // Once the user has moved it away, saving works again.
        QCOMPARE(
            ::rename(name.constData(), QFile::encodeName(sandbox.path("moved")).constData()), 0);
        model->setErrorMessage({});
        model->add(namedEntry("Second"));
        QCOMPARE(model->errorMessage(), QString());
        QCOMPARE(LibraryFile::decode(readFile(libraryPath))->size(), 2);
    }

    void saveFailureKeepsChangeInMemory()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        // The data folder vanishes and a file takes its place, so it can't be made again.
        QVERIFY(QDir(sandbox.dataFolder()).removeRecursively());
        writeFile(sandbox.dataFolder(), "not a folder");
        const GameEntry entry = namedEntry("Kept");
        model->add(entry);
        QCOMPARE(model->entries().size(), 1);
        QCOMPARE(model->selectedID(), entry.id);
        QCOMPARE(model->errorMessage(),
            QStringLiteral(
                "Quillmere couldn't save its library:\nQuillmere couldn't create the folder “")
                + sandbox.dataFolder() + QStringLiteral("”."));
        // A start now has no saved file to point at, and doesn't claim one.
        QCOMPARE(sandbox.model()->errorMessage(),
            QStringLiteral(
                "Quillmere couldn't read its library:\nQuillmere couldn't create the folder “")
                + sandbox.dataFolder() + QStringLiteral("”."));
    }

    void addSelectsAndSaves()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        const GameEntry first = namedEntry("First");
        const GameEntry second = namedEntry("Second");
        QSignalSpy changed(model.get(), &LibraryModel::entriesChanged);
        model->add(first);
        model->add(second);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(model->selectedID(), second.id);
        QCOMPARE(readFile(model->libraryURL()), LibraryFile::encode({first, second}));
        QVERIFY(sandbox.model()->entries() == model->entries());
    }

    void updateReplacesInPlaceOrDoesNothing()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        const GameEntry a = namedEntry("A");
        GameEntry b = namedEntry("B");
        model->add(a);
        model->add(b);
        model->setSelectedID(a.id);

        b.name = QStringLiteral("B renamed");
        model->update(b);
        QCOMPARE(model->entries().at(1).name, QStringLiteral("B renamed"));
        QCOMPARE(model->selectedID(), a.id);
        QCOMPARE(LibraryFile::decode(readFile(model->libraryURL()))->at(1).name,
            QStringLiteral("B renamed"));

        // An unknown id must not rewrite the file: plant different bytes and see them stay.
        writeFile(model->libraryURL(), "sentinel");
        QSignalSpy changed(model.get(), &LibraryModel::entriesChanged);
        model->update(namedEntry("Stranger"));
        QCOMPARE(readFile(model->libraryURL()), QByteArray("sentinel"));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(model->entries().size(), 2);
    }

    void removeMovesSelection_data()
    {
        QTest::addColumn<int>("selected"); // -1: nothing selected
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("expectedSelection"); // index into the original list, -1: none
        QTest::newRow("selected one goes, first remaining selected") << 1 << 1 << 0;
        QTest::newRow("selected first goes, new first selected") << 0 << 0 << 1;
        QTest::newRow("unselected one goes, selection kept") << 2 << 0 << 2;
        QTest::newRow("no selection stays none") << -1 << 1 << -1;
    }
    void removeMovesSelection()
    {
        QFETCH(int, selected);
        QFETCH(int, removed);
        QFETCH(int, expectedSelection);
        Sandbox sandbox;
        const auto model = sandbox.model();
        const QList<GameEntry> all {namedEntry("A"), namedEntry("B"), namedEntry("C")};
        for (const GameEntry &entry : all)
            model->add(entry);
        model->setSelectedID(selected < 0 ? QUuid() : all.at(selected).id);
        model->remove(all.at(removed));
        QCOMPARE(model->entries().size(), 2);
        QVERIFY(!model->entry(all.at(removed).id));
        QCOMPARE(
            model->selectedID(), expectedSelection < 0 ? QUuid() : all.at(expectedSelection).id);
        QCOMPARE(LibraryFile::decode(readFile(model->libraryURL()))->size(), 2);
    }

    void removingTheLastEntryClearsSelection()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        const GameEntry only = namedEntry("Only");
        model->add(only);
        model->remove(only);
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->selectedID().isNull());
        QCOMPARE(readFile(model->libraryURL()), QByteArray("[]"));
    }
};

QTEST_GUILESS_MAIN(TestLibraryModel)
#include "tst_librarymodel.moc"
