// The new-mail sound: a wave file played asynchronously, silent when it cannot play.
#include "platform/Sound.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace {

TSoundPlayer Player;

void PlayOnDevice(const std::string& absolutePath) {
    // One effect for the run: a new file replaces the one before.
    static QSoundEffect* effect = new QSoundEffect(QCoreApplication::instance());
    const QUrl source = QUrl::fromLocalFile(QString::fromStdString(absolutePath));
    if (effect->source() != source)
        effect->setSource(source);
    effect->play();
}

} // namespace

void PlaySoundFile(const std::string& path) {
    const QFileInfo file(QString::fromStdString(path));
    if (path.empty() || !file.isFile())
        return;
    const std::string absolutePath = file.absoluteFilePath().toStdString();
    if (Player)
        Player(absolutePath);
    else
        PlayOnDevice(absolutePath);
}

TSoundPlayer SetSoundPlayer(TSoundPlayer player) {
    std::swap(Player, player);
    return player;
}
