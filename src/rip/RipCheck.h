#pragma once
// What the command line finds out about a rip: the disc's ids, each track's
// checksums, AccurateRip's answer and its verdicts. The checksums ride along
// the extraction (verify::WithChecksums); --verify reads the tracks itself,
// writing nothing. The offset search reads the source again, and only for
// tracks that match no entry as read.

#include "cd/akrip32.h"
#include "rip/ProgressPrinter.h"
#include "rip/RipOptions.h"
#include "verify/ArVerify.h"
#include "verify/ResponseSource.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace ripcli {

// AccurateRip's answer for one disc.
struct ArLookup {
    enum class Status { NotAsked, Found, NotInDatabase, Failed };
    Status status = Status::NotAsked;
    std::string from; // the file or address asked
    // One line: "2 entries", "the disc is not in the database (...)", "cannot
    // ask ...", "<file>: not an AccurateRip answer: ...".
    std::string text;
    std::vector<verify::ArEntry> entries;
};

struct TrackReport {
    int number = 0;
    QString title;    // the disc's title for it, else its name
    QString fileName; // empty with --verify
    // "complete", "stopped after 0:12.40", "cannot read sector 1234", ...
    std::string outcome;
    verify::ChecksumResult sums; // what was taken in; Complete() when whole
    std::optional<verify::TrackVerdict> verdict;
};

struct DiscReport {
    verify::DiscToc toc;
    std::optional<verify::DiscIds> ids;
    std::string idsError;
    ArLookup lookup;
    std::optional<verify::DiscVerdict> verdict;
    std::vector<TrackReport> tracks; // those ripped or read, in disc order
    QString logFile;                 // the rip log, once written
};

// The open drive's table and the ids drawn from it. The gap before track 1
// is known from the table; the others are not.
DiscReport StartReport(const akrip::TOC& table);

// Where AccurateRip's answer comes from: --accuraterip, --accuraterip-url,
// AccurateRipUrl= in Dorvane.ini, or, for --verify alone, the database's
// own address. Nothing when none of them asks: an extraction then checks
// nothing over the network.
std::optional<verify::ResponseSource> AnswerSource(const RipOptions& options);

// Asks the source and reads its answer.
ArLookup LookUp(const verify::ResponseSource& source, const verify::DiscIds& ids);

// Asks source (when there is one and the ids are known) and gives every
// track its verdict; the offset search reads the disc at handle.
void CheckReport(DiscReport& report, const std::optional<verify::ResponseSource>& source,
                 int handle);

// A track for --verify to read.
struct ReadTrack {
    int number = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
    QString title;
};

// Reads each track's audio from the disc at handle into its checksums, with
// the progress line on a terminal; a read fault is told on its own line
// (what names the source) and ends that track. Stops after the current
// block when a stop signal came.
void ReadTracks(DiscReport& report, const std::vector<ReadTrack>& tracks, int handle,
                const QString& what, ProgressPrinter& printer);

// Every track that was read is accurate.
bool AllAccurate(const DiscReport& report);

} // namespace ripcli
