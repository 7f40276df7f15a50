#include "setup/WineInstaller.h"
#include "support/SetupSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace TestSupport;

namespace {
const QString unexpectedLayout
    = QStringLiteral("Quillmere couldn't unpack the Wine runtime.\n\nThe Wine archive did not "
                     "contain the expected Wine Devel.app bundle.");

QStringList runtimeFolderItems(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}
} // namespace

class TestWineInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void installsTheBundle()
    {
        Sandbox sandbox;
        const QString archive
            = buildWineArchive(sandbox.path(QStringLiteral("wine.tar.xz")), ArchiveLayout::good);
        const QString runtimes = sandbox.path(QStringLiteral("Quillmere/Runtimes"));
        const auto runtime = WineInstaller::installWineArchive(archive, runtimes);
        QVERIFY_OK(runtime);
        const QString bundle = runtimes + QStringLiteral("/Wine Devel 11.18.app");
        QCOMPARE(runtime->name, QStringLiteral("Wine Devel 11.18 (Quillmere)"));
        QCOMPARE(runtime->winePath, bundle + QStringLiteral("/Contents/Resources/wine/bin/wine"));
        QCOMPARE(runtime->wineServerPath,
            bundle + QStringLiteral("/Contents/Resources/wine/bin/wineserver"));
        QCOMPARE(runtime->bundlePath, std::optional<QString>(bundle));
        QVERIFY(QFileInfo(runtime->winePath).isExecutable());
        QCOMPARE(
            runtimeFolderItems(runtimes), QStringList({"Wine Devel 11.18.app"})); // no staging left
    }

    void rejectsBadArchivesBeforeExtracting_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("message");
        QTest::newRow("dot-slash prefix") << int(ArchiveLayout::dotSlashPrefix) << unexpectedLayout;
        QTest::newRow("dot-dot deep inside")
            << int(ArchiveLayout::dotDotInside) << unexpectedLayout;
        QTest::newRow("extra top-level file")
            << int(ArchiveLayout::extraTopLevelFile) << unexpectedLayout;
        QTest::newRow("no wineserver") << int(ArchiveLayout::missingWineServer)
                                       << "Quillmere couldn't unpack the Wine runtime.\n\nWine was "
                                          "extracted, but its wine and wineserver "
                                          "binaries were not found.";
    }
    void rejectsBadArchivesBeforeExtracting()
    {
        QFETCH(int, layout);
        QFETCH(QString, message);
        Sandbox sandbox;
        const QString archive
            = buildWineArchive(sandbox.path(QStringLiteral("wine.tar.xz")), ArchiveLayout(layout));
        const QString runtimes = sandbox.path(QStringLiteral("Runtimes"));
        const auto runtime = WineInstaller::installWineArchive(archive, runtimes);
        QVERIFY(!runtime.hasValue());
        QCOMPARE(runtime.error().description(), message);
        QCOMPARE(runtimeFolderItems(runtimes), QStringList());
        QVERIFY(!QFile::exists(sandbox.path(QStringLiteral("escaped"))));
    }

    void tarFailuresAreExplained()
    {
        Sandbox sandbox;
        writeFile(sandbox.path(QStringLiteral("junk.tar.xz")), "this is not an archive");
        const auto junk = WineInstaller::installWineArchive(
            sandbox.path(QStringLiteral("junk.tar.xz")), sandbox.path(QStringLiteral("Runtimes")));
        QVERIFY(junk.error().description().startsWith(
            QStringLiteral("Quillmere couldn't unpack the Wine runtime.\n\n")));
        QVERIFY2(junk.error().description().contains(QStringLiteral("tar")),
            qPrintable(junk.error().description()));

        // A tar that fails without a word.
        const QString silentTar = sandbox.path(QStringLiteral("silent-tar"));
        writeFile(silentTar, "#!/bin/sh\nexit 2\n");
        QFile::setPermissions(silentTar, QFile::permissions(silentTar) | QFileDevice::ExeOwner);
        QCOMPARE(WineInstaller::runTar(silentTar, {QStringLiteral("-tJf"), QStringLiteral("x")})
                     .error()
                     .description(),
            QStringLiteral("Quillmere couldn't unpack the Wine runtime.\n\nThe Wine archive could "
                           "not be read."));
    }

    void earlierInstallsAreKeptOrRefused()
    {
        Sandbox sandbox;
        const QString archive
            = buildWineArchive(sandbox.path(QStringLiteral("wine.tar.xz")), ArchiveLayout::good);
        const QString runtimes = sandbox.path(QStringLiteral("Runtimes"));
        const QString bundle = runtimes + QStringLiteral("/Wine Devel 11.18.app");

        // A complete earlier install is used as it is.
        installFakeRuntime(bundle + QStringLiteral("/Contents/Resources/wine/bin"));
        writeFile(bundle + QStringLiteral("/marker"), "earlier");
        const auto kept = WineInstaller::installWineArchive(archive, runtimes);
        QVERIFY_OK(kept);
        QCOMPARE(kept->bundlePath, std::optional<QString>(bundle));
        QCOMPARE(readFile(bundle + QStringLiteral("/marker")), QByteArray("earlier"));

        // An incomplete one is named and left alone.
        QFile::remove(bundle + QStringLiteral("/Contents/Resources/wine/bin/wineserver"));
        const auto refused = WineInstaller::installWineArchive(archive, runtimes);
        QCOMPARE(refused.error().description(),
            QStringLiteral("An incomplete Quillmere runtime already exists at:\n") + bundle
                + QStringLiteral("\nRemove that folder in Finder and try again."));
        QCOMPARE(readFile(bundle + QStringLiteral("/marker")), QByteArray("earlier"));
        QCOMPARE(runtimeFolderItems(runtimes), QStringList({"Wine Devel 11.18.app"}));
    }

    void listingRules_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << "Wine Devel.app/\nWine Devel.app/Contents/\n" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("absolute") << "/Wine Devel.app/x\n" << false;
        QTest::newRow("other bundle") << "Wine Devel.app/x\nOther.app/y\n" << false;
        QTest::newRow("dot-dot at the end") << "Wine Devel.app/x/..\n" << false;
        QTest::newRow("double slashes are harmless") << "Wine Devel.app//Contents\n" << true;
    }
    void listingRules()
    {
        QFETCH(QString, listing);
        QFETCH(bool, accepted);
        QCOMPARE(WineInstaller::isExpectedListing(listing), accepted);
    }
};

QTEST_GUILESS_MAIN(TestWineInstall)
#include "tst_wineinstall.moc"
