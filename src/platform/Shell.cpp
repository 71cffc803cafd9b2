// The desktop's handlers: links, local files and detached programs.
#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
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

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments) {
    const QString path = QString::fromStdString(program);
    if (!QFileInfo(path).isExecutable())
        return false;
    QStringList list;
    for (const std::string& argument : arguments)
        list << QString::fromStdString(argument);
    return QProcess::startDetached(path, list);
}
