#pragma once
// Choices the start-up routine makes that need no window.

#include <QString>
#include <QStringList>

namespace modStartup {

// The drive list position to reopen when tracks are listed but no drive was
// saved: the entry the drive list shows now, or position 0 when it shows none
// (-1 for an empty list).
int DriveIndexForUnsaved(const QStringList& driveList, const QString& shownDrive);

// The output folder when none is saved: the user's music folder, or the home
// folder when there is none.
QString DefaultOutputFolder();

} // namespace modStartup
