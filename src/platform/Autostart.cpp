// The autostart entry, written whole (temporary file, rename) and naming the running
// executable, wherever it was started from.
#include "platform/Autostart.h"

#include "core/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace {

// A desktop entry's Exec argument: quoted, with the characters the quotes leave special
// escaped, so that a path with blanks or quotes still names one file. The file's own
// escaping comes on top: each backslash of the quoting is written twice.
QString ExecArgument(const QString& path) {
    QString quoted;
    for (const QChar c : path) {
        if (c == '"' || c == '`' || c == '$')
            quoted += QStringLiteral("\\\\") + c;
        else if (c == '\\')
            quoted += QStringLiteral("\\\\\\\\");
        else
            quoted += c;
    }
    // A literal percent sign is doubled in Exec, inside quotes too.
    quoted.replace('%', "%%");
    return '"' + quoted + '"';
}

} // namespace

QString AutostartFile() {
    return QString::fromStdString(XdgHome("XDG_CONFIG_HOME", ".config")) +
           "/autostart/quillbar.desktop";
}

bool AutostartEnabled() {
    const QString file = AutostartFile();
    if (!QFileInfo(file).isFile())
        return false;
    const QSettings entry(file, QSettings::IniFormat);
    return !entry.value("Desktop Entry/Hidden", false).toBool();
}

QString SetAutostart(bool enabled) {
    const QString file = AutostartFile();
    if (!enabled) {
        if (QFileInfo::exists(file) && !QFile::remove(file))
            return "cannot remove " + file;
        return {};
    }
    if (!QDir().mkpath(QFileInfo(file).path()))
        return "cannot make the folder of " + file;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    const QString text = "[Desktop Entry]\n"
                         "Type=Application\n"
                         "Name=Quillbar\n"
                         "Comment=Shows new mail on a thin bar\n"
                         "Exec=" +
                         ExecArgument(QCoreApplication::applicationFilePath()) +
                         "\n"
                         "Terminal=false\n"
                         "X-GNOME-Autostart-enabled=true\n";
    out.write(text.toUtf8());
    if (!out.commit())
        return out.errorString();
    return {};
}
