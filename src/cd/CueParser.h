#pragma once
// What libcue makes of a CUE sheet, found in a child process of its own.
// Internal to src/cd.

#include <cstdint>
#include <string>
#include <vector>

#include <libcue.h>

namespace akrip::detail {

constexpr std::int64_t kMaxSheetBytes = 1 << 20;

struct CueTrack {
    std::string file;         // the file its INDEX 01 is in
    std::int64_t index0 = -1; // frames into that file; -1: none
    std::int64_t index1 = -1;
    std::int64_t postgap = 0;
    int mode = MODE_AUDIO;
    int flags = 0;
};

struct CueParse {
    bool parsed = false;
    std::string complaint; // the first thing libcue printed, empty if nothing
    std::vector<CueTrack> tracks;
};

// Parses the sheet's text (its last line ended) with libcue; false, with
// `problem` said, when libcue could not be run.
bool ParseWithLibcue(const std::string& text, CueParse& result, std::string& problem);

// libcue's complaint, with the line it names made the sheet's own.
std::string Complaint(const std::string& printed);

} // namespace akrip::detail
