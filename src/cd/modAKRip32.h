#pragma once
// The program's one open CD drive and the table of contents of its disc, on
// top of the CD library layer: listing the drives, opening one by its place in
// the drive list, closing it, the error texts, and the track list's names.

#include "cd/akrip32.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace modAKRip32 {

// The open drive: CDHandle names it (0 = none opened yet); DiscTOC holds the
// last table read. Both live from one open to the next.
struct OpenDrive {
    std::int32_t CDHandle = 0;
    akrip::TOC DiscTOC{};
};
OpenDrive& Drive();

// The record of the drive at a position of the drive list; nothing for a
// position outside 0 to 7. Asks the library for the whole list afresh.
std::optional<akrip::CDREC> GetCDEntry(int position);

// The description bytes of a drive as text; zero bytes are skipped.
QString BytesToText(const char* bytes, int length);

// The drive list's entries: positions 0 to GetNumAdapters(), at most 8.
QStringList DriveListTexts();

// Lists the disc images named on the command line as drives, and returns the
// drive text of the first: start-up opens it instead of the saved drive.
// Empty text when no image was named.
QString UseCommandLineImages(const std::vector<std::string>& paths);

// The drive list position to open for the saved drive text: the entry whose
// text equals it; else the one image whose text names the same path with
// more or fewer folders (saved as "IMAGE b/album.cue" beside a/album.cue,
// listed alone now as "IMAGE album.cue"); else -1 (the open then fails
// quietly).
int DriveIndexFor(const QStringList& driveList, const QString& savedDrive);

// Opens the drive at a position and reads its table of contents into
// DiscTOC. Does not close a drive that is open: callers call CloseCD first.
bool OpenCD(int position);
void CloseCD();

// The message for the library's last error; empty text for unknown codes.
QString CDErrorText();
QString CDErrorText(int code);

// A table entry's address (most significant byte first) as a sector number;
// nothing when it does not fit a signed 32-bit number.
std::optional<std::int32_t> TocAddressToLba(const std::uint8_t addr[4]);

// The tracks of a table: entries from 1 on with a non-zero address, up to the
// first zero one, at most 99. Entry N of a disc of N tracks is its lead-out.
int TrackCount(const akrip::TOC& toc);
// Start sector of track k (counted from 1); its end is TrackStart(k + 1).
std::int32_t TrackStart(const akrip::TOC& toc, int track);

} // namespace modAKRip32
