#include "shell/sound.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace orv {

bool PlayWaveFile(const QString& path) {
    const QFileInfo file(path);
    if (path.isEmpty() || !file.isFile()) return false;
    // One player for the whole run, owned by the application so it is gone
    // before the audio system shuts down.
    static QPointer<QSoundEffect> effect;
    if (!effect) effect = new QSoundEffect(QCoreApplication::instance());
    effect->stop();
    effect->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    effect->play();
    return true;
}

}  // namespace orv
