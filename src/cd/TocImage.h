#pragma once
// A cdrdao TOC file read as a disc, as cdrdao lays it out: each track's
// stretches of files, SILENCE and ZERO back to back and padded to a whole
// sector; a track starting where its START or PREGAP says; audio before
// track 1 kept; the lead-out where the last track's data ends. Raw audio
// files are big-endian unless SWAP says otherwise; WAVE, AIFF and FLAC files
// are read from their audio on. Files are found as a CUE sheet's are
// (ImageFileLookup.h), from the TOC file's folder. Data tracks read as
// zeros. Internal to src/cd.

#include <memory>
#include <string>

#include "cd/Disc.h"

namespace akrip::detail {

// The disc of a TOC file, or nothing with `problem` naming the line and what
// is wrong with it.
std::unique_ptr<Disc> OpenTocImage(const std::string& tocPath, std::string& problem);

} // namespace akrip::detail
