#include "shell/modStartup.h"

#include <QDir>
#include <QStandardPaths>

namespace modStartup {

int DriveIndexForUnsaved(const QStringList& driveList, const QString& shownDrive) {
    const auto shown = static_cast<int>(driveList.indexOf(shownDrive));
    if (shown >= 0)
        return shown;
    return driveList.isEmpty() ? -1 : 0;
}

QString DefaultOutputFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    // A fresh account may have no music folder yet; a folder that does not
    // exist would only fail the first extraction.
    if (!music.isEmpty() && QDir(music).exists())
        return music;
    return QDir::homePath();
}

} // namespace modStartup
