#include "shell/modStartup.h"

#include <QDir>
#include <QStandardPaths>

namespace modStartup {

int DriveIndexFor(const QStringList& driveList, const QString& savedDrive) {
    return static_cast<int>(driveList.indexOf(savedDrive));
}

QString DefaultOutputFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    // A fresh account may have no music folder yet; a folder that does not
    // exist would only fail the first extraction.
    if (!music.isEmpty() && QDir(music).exists())
        return music;
    return QDir::homePath();
}

}  // namespace modStartup
