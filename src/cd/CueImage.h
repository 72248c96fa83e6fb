#pragma once
// A CUE sheet read as a disc: the files it names (BINARY and MOTOROLA read
// directly; WAVE, AIFF and FLAC through libsndfile, which must hold 16-bit
// stereo at 44100 Hz) back to back in sheet order; each track starting at its
// INDEX 01, so INDEX 00 gaps stay at the end of the track before; PREGAP and
// POSTGAP silence in no file; a file's last partial sector padded with
// silence. Internal to src/cd.

#include <memory>
#include <string>

#include "cd/Disc.h"

namespace akrip::detail {

// The disc of a sheet, or nothing with `problem` saying what is wrong with
// it in words a person can act on ("line 4: syntax error", "cannot open
// \"a.bin\" (/music/a.bin): No such file or directory").
std::unique_ptr<Disc> OpenCueImage(const std::string& sheetPath, std::string& problem);

} // namespace akrip::detail
