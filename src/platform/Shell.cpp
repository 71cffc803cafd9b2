// The desktop's handlers: links and local files.
#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool OpenUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool OpenLocalFile(const std::string& path) {
    const QString file = QString::fromStdString(path);
    if (!QFileInfo(file).isFile())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}
