#pragma once
// The window's face of an extraction run: a progress window for the current
// track, brought up to date about once a screen frame, and a box for each
// message, in list order. The run itself (what is extracted, landed and told)
// is trackrun's, shared with the command line.

#include "engine/TrackRun.h"
#include "extract/ExtractUi.h"
#include "output/TrackTags.h"
#include "output/lame_enc.h"

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

class Dialogs;

namespace windowrun {

using Track = trackrun::Track;

// Continue: the driver goes on with the next ticked track. StopRun: the
// output could not be made or written (a full disk, say), so further tracks
// would fail the same way.
enum class RipOutcome { Continue, StopRun };

struct Choices {
    bool mp3 = false;
    lame_enc::BE_CONFIG config{};
    int jobs = 1; // MP3 tracks encoded at once; WAV is always one at a time
    // MP3 only: what the ID3v2.4 tag before a track's frames says, by the
    // track's number on the disc. A track without an entry gets no tag.
    std::map<int, ripengine::TrackTags> tags = {};
    // Tests only: runs on a job's thread after each block.
    std::function<void(int job, std::int32_t sectors)> afterBlock = {};
};

// Extracts the tracks in order. Cancel ends the current MP3 track after the
// block it is on (a WAV track runs to its end) and starts no other; closing
// the window or a stop signal ends any track after its block. encoded, when
// given, gets the sectors each track's file holds.
RipOutcome Run(const std::vector<Track>& tracks, const Choices& choices, ProgressHost& host,
               Dialogs& dialogs, std::vector<std::int32_t>* encoded = nullptr);

// The disc number of the track that starts at sector start; 0 when none does.
int TrackNumberAt(std::int32_t start);

} // namespace windowrun
