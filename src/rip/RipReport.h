#pragma once
// What the command line makes of a DiscReport: the table --verify prints and
// the rip log an extraction leaves beside its tracks.

#include "rip/DiscListing.h"
#include "rip/RipCheck.h"
#include "verify/RipLog.h"

#include <QString>

namespace ripcli {

// The disc's ids, where AccurateRip's answer came from, then one line per
// track: its number, CRC32, CRC32 without zero samples, AccurateRip v1 and
// v2 (8 lower-case hex digits each) and its verdict; then the disc's
// verdict.
QString CheckTable(const DiscReport& report);

// The disc's verdict in one line, or why there is none.
QString CheckSummary(const DiscReport& report);

// Where a rip was made from, for its log: an image's path, or a drive's
// description (its read offset is 0: Dorvane corrects none).
struct LogSource {
    QString imagePath;
    QString drive;
};

verify::RipLog MakeRipLog(const DiscReport& report, const DiscListing& listing,
                          const LogSource& source);

} // namespace ripcli
