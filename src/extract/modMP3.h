#pragma once
// MP3 extraction: one track from the open drive through the encoder module
// into an MP3 file that holds exactly the encoder's bytes.

#include "extract/ExtractUi.h"
#include "extract/WindowRun.h"
#include "output/lame_enc.h"

#include <QString>

#include <cstdint>

class Dialogs;

namespace modMP3 {

// Encodes the sectors StartLba up to EndLba into FileName, one sector per
// encoder call, reading 26 a time. StartLba advances by each block once it
// is encoded. A Cancel ends the track after the block it is on, and the
// file is finished normally. When the module cannot be loaded, the stream
// cannot be started or the file cannot be created or written, a box titled
// "Critical error..." says why; a stream that fails to start creates no file.
windowrun::RipOutcome RipTrackMp3(const QString& FileName, std::int32_t& StartLba,
                                  const std::int32_t& EndLba, const lame_enc::BE_CONFIG& Config,
                                  ProgressHost& host, Dialogs& dialogs);

} // namespace modMP3
