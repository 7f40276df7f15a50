#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

// The screenshot program renders every screen in both appearances without failing, and none
// of them is blank.
class TestScreenshots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesEveryScreen()
    {
        QTemporaryDir out;
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(QUILLMERE_SCREENSHOTS), {out.path()});
        QVERIFY(program.waitForFinished(600000));
        QCOMPARE(program.exitCode(), 0);
        const QStringList light = QDir(out.path()).entryList({QStringLiteral("*-light.png")});
        const QStringList dark = QDir(out.path()).entryList({QStringLiteral("*-dark.png")});
        QCOMPARE(light.size(), 27); // the window, its sheets and alerts, the browser, the guide
        QCOMPARE(dark.size(), light.size());
        for (const QString &name : light + dark) {
            const QImage image(out.filePath(name));
            QVERIFY2(image.width() >= 320 && image.height() >= 500, qPrintable(name));
            // A real screen has text and shapes: many colours, not a flat fill.
            QSet<QRgb> colors;
            for (int y = 0; y < image.height(); y += 5) {
                for (int x = 0; x < image.width(); x += 5)
                    colors.insert(image.pixel(x, y));
            }
            QVERIFY2(colors.size() > 40, qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
