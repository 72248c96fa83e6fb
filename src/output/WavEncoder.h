#pragma once
// WAV files: the 44-byte header, then the audio exactly as the disc gives it.

#include "output/TrackEncoder.h"

#include <cstdint>
#include <memory>

namespace ripengine {

// The WAV format states lengths in 32 bits: a track whose audio does not fit
// cannot be a WAV file.
bool FitsWav(std::uint64_t pcmBytes);

// The header states the whole track at first; End rewrites it for the audio
// the file really holds.
std::unique_ptr<TrackEncoder> MakeWavEncoder();

} // namespace ripengine
