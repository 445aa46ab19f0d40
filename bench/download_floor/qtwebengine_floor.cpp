// The bare QtWebEngine download: one page of a profile of its own loads the
// address, and the profile's download is saved to the given file. Prints the
// seconds from the load to the end of the transfer. The baseline of
// download_bench for the "Internet Explorer" module.
//
//   qtwebengine_download_floor <url> <file>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QWebEngineDownloadItem>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QFileInfo target(QString::fromLocal8Bit(argv[2]));
    QWebEngineProfile profile;
    QWebEnginePage page(&profile);
    QElapsedTimer clock;
    int result = 1;
    QObject::connect(&profile, &QWebEngineProfile::downloadRequested, [&](QWebEngineDownloadItem *item) {
        item->setDownloadDirectory(target.absolutePath());
        item->setDownloadFileName(target.fileName());
        QObject::connect(item, &QWebEngineDownloadItem::finished, [&, item] {
            std::printf("%.3f\n", clock.elapsed() / 1000.0);
            result = item->state() == QWebEngineDownloadItem::DownloadCompleted ? 0 : 1;
            app.quit();
        });
        item->accept();
    });
    clock.start();
    page.load(QUrl(QString::fromLocal8Bit(argv[1])));
    app.exec();
    return result;
}
