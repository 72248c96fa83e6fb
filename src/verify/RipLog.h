#pragma once
// The rip log: what was ripped, from what, with which checksums and what
// AccurateRip said, as YAML 1.2 in UTF-8. Its last line,
//   SHA-256: "<64 hex digits>"
// holds the SHA-256 of every byte above it, so `head -n -1 LOG | sha256sum`
// shows whether the log was changed after it was written.

#include "verify/ArVerify.h"
#include "verify/Checksums.h"
#include "verify/DiscToc.h"

#include <optional>
#include <string>
#include <vector>

namespace verify {

struct LogTrack {
    int number = 0;
    std::string title;
    std::string fileName;
    std::string outcome; // "complete", "stopped", "read error at sector 1234", ...
    std::optional<ChecksumResult> checksums;
    std::optional<TrackVerdict> verdict;
};

struct RipLog {
    std::string program = "Dorvane";
    std::string version;
    std::string date; // ISO 8601; empty: now, in UTC
    // The source: an image's path, or a drive's model and the read offset
    // the rip was made with.
    std::string imagePath;
    std::string driveModel;
    std::optional<int> readOffset;
    std::string discTitle;
    std::string discPerformer;
    DiscToc toc;
    std::optional<DiscIds> ids;
    // Where AccurateRip's answer came from and what became of it ("found,
    // 3 entries", "the disc is not in the database (...)").
    std::string arSource;
    std::string arResult;
    std::vector<LogTrack> tracks;
    std::optional<DiscVerdict> verdict;
};

// Every string is quoted, whatever it holds: text that is not UTF-8 has
// U+FFFD for each bad byte, and control characters are escaped.
std::string FormatRipLog(const RipLog& log);

// Writes the log into path (through a hidden file in its folder, renamed
// into place once whole); false with error set when it cannot. Without
// replace, a file already at path is left alone and the log is not written.
bool WriteRipLog(const std::string& path, const RipLog& log, std::string& error,
                 bool replace = true);

// Whether text's last line holds the SHA-256 of everything above it.
bool RipLogIntact(const std::string& text);

// A YAML double-quoted scalar of text.
std::string YamlQuote(const std::string& text);

} // namespace verify
