#pragma once
// The extraction's program-wide flags. Everything runs on the user-interface
// thread; the flags change while an extraction lets pending events run
// between blocks.

namespace mVariables {

// Set by the progress window's Cancel; cleared when a run starts and when
// each track starts. The driver stops before the next track when it is set;
// the MP3 extractor also ends its track early.
inline bool CancelRequested = false;

// True while the extraction driver walks the track list: commands that would
// disturb it (a second Extract, Refresh, Clear, Rename All, the name option,
// a drive switch) do nothing meanwhile.
inline bool RunInProgress = false;

// Set when the main window is closed during a run: the extractors finish
// their file after the current block and the driver starts no other track.
inline bool StopRequested = false;

}  // namespace mVariables
