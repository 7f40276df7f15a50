#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The screenshot program writes every screen in both appearances, and none of them is blank.
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

        const QStringList screens = {u"window-profiles-empty"_s, u"window-drop-overlay"_s,
            u"window-detail-artwork"_s, u"window-detail-running"_s, u"window-detail-plain"_s,
            u"window-preparing"_s, u"alert-remove"_s, u"editor-add"_s, u"editor-edit"_s,
            u"setup-fresh"_s, u"setup-downloading"_s, u"setup-approval"_s, u"setup-ready"_s,
            u"setup-installing-steam"_s, u"setup-no-runtime-advanced"_s, u"profiles-before-store"_s,
            u"profiles-after-store"_s, u"profiles-no-results"_s, u"guide-set-up-wine"_s,
            u"guide-battle-net"_s, u"guide-set-up-steam"_s, u"guide-open-in-steam"_s,
            u"guide-continue-in-steam"_s, u"guide-add-to-library"_s, u"guide-launch"_s,
            u"guide-store-picker"_s};
        for (const QString &screen : screens) {
            for (const QString &appearance : {u"light"_s, u"dark"_s}) {
                const QString name = screen + u'-' + appearance + u".png"_s;
                const QImage image(out.filePath(name));
                QVERIFY2(!image.isNull(), qPrintable(name));
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
    }
};

QTEST_GUILESS_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
