#pragma once
// One extraction run, whoever shows it. The run starts the engine, takes the
// tracks' results in list order, lands each file under its name, decides
// what a failure stops and words every message (RunMessages). The window and
// the command line are its two faces: they only show what it tells them and
// say when to stop.

#include "engine/RipEngine.h"
#include "engine/RunMessages.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace trackrun {

struct Track {
    int number = 0; // on the disc, for messages
    std::int32_t start = 0;
    std::int32_t end = 0; // one past the last sector
    QString fileName;
};

// How a run is shown and stopped. Every call comes from the thread that
// called Run, except StopCurrent.
class Face {
  public:
    virtual ~Face() = default;
    // Track index becomes the one the run waits for.
    virtual void TrackStarted(std::size_t index) = 0;
    // The current track's status once it moved on, checked once per poll.
    virtual void Progress(std::size_t index, const ripengine::JobStatus& status) = 0;
    // Between polls while the current track runs: the face's own events (a
    // click on Cancel, say).
    virtual void Idle() {}
    // True when the current track is to end after the block it is on. Asked
    // on the engine's threads too, so it reads atomics only.
    virtual bool StopCurrent() const = 0;
    // True when no track is to start after the current one, though it may
    // run to its end (a WAV track at the window's Cancel).
    virtual bool StopAfterTrack() const { return false; }
    // Track index ended; landed tells whether its file took its name.
    virtual void TrackEnded(std::size_t index, const ripengine::JobStatus& status, bool landed) = 0;
    // A track's fault, as RunMessages words it.
    virtual void Tell(std::size_t index, Fault fault, const TrackMessage& message) = 0;
};

struct Options {
    int jobs = 1; // tracks encoded at once
    // Audio a file of this format can state; longer tracks are refused
    // before anything is written.
    std::uint64_t maxPcmBytes = UINT64_MAX;
    std::chrono::milliseconds poll{16};
    // Tests only: runs on a job's thread after each block it encoded.
    std::function<void(int job, std::int32_t sectors)> afterBlock = {};
};

struct Result {
    std::vector<ripengine::JobStatus> statuses; // one per track; Dropped for those never reached
    bool failed = false;                        // some track failed
    bool ended = false;                         // a fault ended the run before its last track
    bool stopped = false;                       // the face stopped it
};

// Extracts tracks from the open drive in list order through encoders made by
// factory.
Result Run(const std::vector<Track>& tracks, const ripengine::EncoderFactory& factory,
           const Options& options, Face& face);

} // namespace trackrun
