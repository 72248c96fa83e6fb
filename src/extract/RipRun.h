#pragma once
// One extraction run through the engine, as the window shows it: the current
// track's progress window, its messages in list order, and every file landing
// under its name when its track ends.

#include "extract/ExtractUi.h"
#include "extract/RipTrack.h"
#include "extract/lame_enc.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class Dialogs;

namespace riprun {

struct Track {
    int number = 0;            // on the disc, for messages
    std::int32_t start = 0;
    std::int32_t end = 0;
    QString fileName;
};

struct Choices {
    bool mp3 = false;
    lame_enc::BE_CONFIG config{};
    int jobs = 1;              // MP3 tracks encoded at once; WAV is always one at a time
    // Tests only: runs on a job's thread after each block (RipEngine's
    // Options::afterBlock).
    std::function<void(int job, std::int32_t sectors)> afterBlock = {};
};

// Extracts the tracks in order. Cancel ends the current MP3 track after the
// block it is on (a WAV track runs to its end) and starts no other; closing
// the window (StopRequested) ends any track after its block. StopRun when a
// file could not be made or written: later tracks would fail alike.
// encoded, when given, gets the sectors each track's file holds.
riptrack::RipOutcome Run(const std::vector<Track>& tracks, const Choices& choices, ProgressHost& host,
                         Dialogs& dialogs, std::vector<std::int32_t>* encoded = nullptr);

// The disc number of the track that starts at sector start; 0 when none does.
int TrackNumberAt(std::int32_t start);

}  // namespace riprun
