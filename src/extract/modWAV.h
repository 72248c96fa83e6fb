#pragma once
// WAV extraction: one track from the open drive into a WAV file, the audio
// exactly as the disc delivers it behind a 44-byte header.

#include "extract/ExtractUi.h"
#include "extract/WindowRun.h"

#include <QString>

#include <cstdint>

class Dialogs;

namespace modWAV {

// Copies the sectors StartLba up to (not including) EndLba into FileName,
// 26 sectors a read, showing a progress window for the track. A block that
// cannot be read after three attempts ends the track with the CD library's
// error text; a file that cannot be created or written is reported with the
// system's reason. The header always states the audio the file holds.
windowrun::RipOutcome RipTrackWav(const QString& FileName, std::int32_t StartLba,
                                  std::int32_t EndLba, ProgressHost& host, Dialogs& dialogs);

} // namespace modWAV
