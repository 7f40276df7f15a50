// bench-window empty|library DATA_FOLDER T0_NS
// Opens either an empty Qt Widgets window or Quillmere's window over DATA_FOLDER, prints the
// milliseconds from T0 (the parent's monotonic clock just before starting this process) to the
// first painted frame, then the resident memory two seconds later, and quits.
#include "library/LibraryModel.h"
#include "platform/UserDefaults.h"
#include "profiles/GameProfileCatalogStore.h"
#include "profiles/ProfileEndpoints.h"
#include "setup/SetupContext.h"
#include "ui/kit/Theme.h"
#include "ui/shell/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTimer>

#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

namespace {

qint64 monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long residentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Reports the first paint of the window once the frame it belongs to is done.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(qint64 t0)
        : m_t0(t0)
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_done && event->type() == QEvent::Paint && watched->isWidgetType()) {
            m_done = true;
            // Later paint events of the same frame run before this zero-time timer.
            QTimer::singleShot(0, [t0 = m_t0] {
                std::printf("first_paint_ms %.1f\n", (monotonicNs() - t0) / 1e6);
                std::fflush(stdout);
                QTimer::singleShot(2000, [] {
                    std::printf("rss_kib %ld\n", residentKiB());
                    QCoreApplication::quit();
                });
            });
        }
        return false;
    }

private:
    qint64 m_t0;
    bool m_done = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 3)
        return 2;
    FirstPaint firstPaint(args.at(2).toLongLong());
    app.installEventFilter(&firstPaint);
    if (args.at(0) == u"empty"_s) {
        QWidget window;
        window.resize(1120, 760);
        window.show();
        return app.exec();
    }
    Theme::apply(app, Theme::Appearance::light);
    // Nothing leaves the machine: the web site and Steam are a closed loopback port.
    QNetworkAccessManager network;
    WebAccess web {&network};
    web.endpoints.website = web.endpoints.steamStore = web.endpoints.steamWebAPI
        = QUrl(u"http://127.0.0.1:9/"_s);
    GameProfileCatalogStore catalog(web);
    auto defaults = std::make_shared<UserDefaults>(args.at(1) + u"/defaults.ini"_s);
    LibraryModel library({args.at(1), defaults, nullptr, {}});
    WindowContext context;
    context.setupContext = [defaults, folder = args.at(1)] {
        SetupContext setup;
        setup.dataFolder = folder;
        setup.defaults = defaults;
        return setup;
    };
    context.filePanels = [](QWidget *, const FilePanelRequest &, std::function<void(QString)>) {};
    context.catalog = &catalog;
    MainWindow window(library, context);
    window.show();
    return app.exec();
}
