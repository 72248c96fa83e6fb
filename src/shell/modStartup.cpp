#include "shell/modStartup.h"

#include <QDir>
#include <QStandardPaths>

namespace modStartup {

namespace {

// An image's drive text holds as many of its folders as tell it apart from
// the other images listed ("IMAGE b/album.cue"), so the text saved may hold
// more or fewer of them than the same image shows now.
bool SameImage(const QString& shown, const QString& saved) {
    const QString prefix = QStringLiteral("IMAGE ");
    if (!shown.startsWith(prefix) || !saved.startsWith(prefix))
        return false;
    const QString a = shown.mid(prefix.size());
    const QString b = saved.mid(prefix.size());
    const QString& shorter = a.size() <= b.size() ? a : b;
    const QString& longer = a.size() <= b.size() ? b : a;
    return !shorter.isEmpty() && longer.endsWith(shorter) &&
           (longer.size() == shorter.size() || longer.at(longer.size() - shorter.size() - 1) == u'/');
}

}  // namespace

int DriveIndexFor(const QStringList& driveList, const QString& savedDrive) {
    const auto exact = static_cast<int>(driveList.indexOf(savedDrive));
    if (exact >= 0)
        return exact;
    int found = -1;
    for (int i = 0; i < driveList.size(); ++i) {
        if (!SameImage(driveList[i], savedDrive))
            continue;
        if (found >= 0)
            return -1;  // which one was meant cannot be told
        found = i;
    }
    return found;
}

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

}  // namespace modStartup
