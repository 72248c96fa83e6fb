#pragma once
// The encoders of the window's two formats, for RipEngine.

#include "extract/RipEngine.h"
#include "extract/lame_enc.h"
#include "extract/modLAME.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

namespace ripengine {

// The WAV format states lengths in 32 bits: a track whose audio does not fit
// cannot be a WAV file.
bool FitsWav(std::uint64_t pcmBytes);

// The 44-byte header, then the raw audio; End rewrites the header for the
// audio the file holds.
std::unique_ptr<TrackEncoder> MakeWavEncoder();

// The encoder module's stream for config; prefix (an ID3 tag, say) is written
// before the first MP3 frame. The module must outlive the encoder.
std::unique_ptr<TrackEncoder> MakeMp3Encoder(const modLAME::LameLibrary& lame,
                                             const lame_enc::BE_CONFIG& config,
                                             QByteArray prefix = {});

}  // namespace ripengine
