// The new-mail sound: a wave file played asynchronously, silent when it cannot play.
#include "platform/USound.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace {
int Started = 0;
} // namespace

void PlaySoundFile(const std::string& path) {
    const QString file = QString::fromStdString(path);
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return;
    // One effect for the run: a new file replaces the one before.
    static QSoundEffect* effect = new QSoundEffect(QCoreApplication::instance());
    const QUrl source = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
    if (effect->source() != source)
        effect->setSource(source);
    effect->play();
    ++Started;
}

int SoundsStarted() {
    return Started;
}
