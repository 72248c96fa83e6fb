#pragma once
// Choices the start-up routine makes that need no window.

#include <QString>
#include <QStringList>

namespace modStartup {

// The drive list position to open for the saved drive text: the entry whose
// text equals it; else the one image whose text names the same path with
// more or fewer folders (saved as "IMAGE b/album.cue" beside a/album.cue,
// listed alone now as "IMAGE album.cue"); else -1 (the open then fails
// quietly).
int DriveIndexFor(const QStringList& driveList, const QString& savedDrive);

// The drive list position to reopen when tracks are listed but no drive was
// saved: the entry the drive list shows now, or position 0 when it shows none
// (-1 for an empty list).
int DriveIndexForUnsaved(const QStringList& driveList, const QString& shownDrive);

// The output folder when none is saved: the user's music folder, or the home
// folder when there is none.
QString DefaultOutputFolder();

}  // namespace modStartup
