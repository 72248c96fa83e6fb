#pragma once
// The extraction's program-wide flags. They change on the user-interface
// thread while an extraction lets pending events run between blocks, and
// StopRequested also from a signal handler, so each is a lock-free atomic.

#include <atomic>

namespace mVariables {

// Set by the progress window's Cancel; cleared when a run starts and when
// each track starts. The driver stops before the next track when it is set;
// the MP3 extractor also ends its track early.
inline std::atomic<bool> CancelRequested = false;

// True while the extraction driver walks the track list: commands that would
// disturb it (a second Extract, Refresh, Clear, Rename All, the name option,
// a drive switch) do nothing meanwhile.
inline std::atomic<bool> RunInProgress = false;

// Set when the main window is closed during a run, or the program is told to
// end (SIGTERM, SIGINT, SIGHUP): the current track ends after its block with
// a file that says what it holds, and the driver starts no other track.
inline std::atomic<bool> StopRequested = false;
static_assert(std::atomic<bool>::is_always_lock_free);

} // namespace mVariables
