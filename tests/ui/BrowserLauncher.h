// The offscreen platform has no desktop to open links: TBrowserLauncher stands in for it, and
// starts $BROWSER (the scripted browser) with the URL as a desktop does.
#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QProcess>
#include <QUrl>

#include <cstdlib>
#include <string>

class TBrowserLauncher : public QObject {
    Q_OBJECT

  public:
    // Takes the http links of the program while it lives; the browser logs its pages to log.
    explicit TBrowserLauncher(const std::string& log) {
        setenv("BROWSER", QB_TEST_BROWSER, 1);
        setenv("QB_BROWSER_LOG", log.c_str(), 1);
        unsetenv("QB_BROWSER_STATE");
        QDesktopServices::setUrlHandler("http", this, "Open");
    }
    ~TBrowserLauncher() override {
        QDesktopServices::unsetUrlHandler("http");
        Browser.waitForFinished(20000);
    }

    QProcess Browser;

  public slots:
    void Open(const QUrl& url) {
        Browser.start(qEnvironmentVariable("BROWSER"), {url.toString(QUrl::FullyEncoded)});
    }
};
