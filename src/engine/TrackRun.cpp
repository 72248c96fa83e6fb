#include "engine/TrackRun.h"

#include "cd/DiscInfo.h"
#include "cd/modAKRip32.h"
#include "engine/StopSignals.h"
#include "general/modFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>

namespace trackrun {

namespace {

using ripengine::JobStatus;
using ripengine::Outcome;

std::uint64_t PcmBytes(const Track& track) {
    return std::uint64_t(std::max(0, track.end - track.start)) * akrip::kSectorBytes;
}

// The fault a job's outcome stands for; none for a complete track, or one
// dropped because the run ends anyway.
std::optional<Fault> FaultOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Stopped:
        return Fault::Stopped;
    case Outcome::ReadFailed:
        return Fault::ReadFailed;
    case Outcome::WriteFailed:
        return Fault::WriteFailed;
    case Outcome::CreateFailed:
        return Fault::CreateFailed;
    case Outcome::EncoderFailed:
        return Fault::EncoderFailed;
    case Outcome::SourceFile:
        return Fault::SourceFile;
    case Outcome::SpecialFile:
        return Fault::SpecialFile;
    case Outcome::Running:
    case Outcome::Complete:
    case Outcome::Dropped:
        break;
    }
    return std::nullopt;
}

// Waits for track index to end, showing its progress on the way; a stop the
// face asks for ends it after its block. True when a stop was asked for
// while it was current: it is then the last track of the run, whether it had
// ended already or not.
bool Follow(ripengine::RipEngine& engine, int index, const Options& options, Face& face) {
    const auto at = static_cast<std::size_t>(index);
    face.TrackStarted(at);
    std::int32_t seen = 0;
    bool stopping = false;
    const auto checkStop = [&] {
        if (!stopping && face.StopCurrent()) {
            engine.StopAfterBlock(index);
            stopping = true;
        }
    };
    checkStop();
    for (;;) {
        const bool ended = engine.WaitEnded(index, options.poll);
        const JobStatus status = engine.Status(index);
        const bool moved = status.sectorsDone > seen;
        if (moved) {
            seen = status.sectorsDone;
            face.Progress(at, status);
        }
        // A track that ended ahead still has its moment on screen.
        if (!ended || moved)
            face.Idle();
        checkStop();
        if (ended)
            return stopping;
    }
}

bool OlderFileAt(const QString& fileName) {
    struct stat info {};
    return ::stat(modFiles::PathBytes(fileName).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

Result Run(const std::vector<Track>& tracks, const ripengine::EncoderFactory& factory,
           const Options& options, Face& face) {
    Result result;
    result.statuses.assign(tracks.size(), JobStatus{});
    for (JobStatus& status : result.statuses)
        status.outcome = Outcome::Dropped;

    // A track too long for its file's format is refused before anything is
    // written; it is told when its turn comes.
    std::vector<ripengine::Job> jobs;
    std::vector<int> jobOf(tracks.size(), -1);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        if (PcmBytes(tracks[t]) > options.maxPcmBytes)
            continue;
        jobOf[t] = static_cast<int>(jobs.size());
        jobs.push_back({tracks[t].number, tracks[t].start, tracks[t].end, tracks[t].fileName});
    }

    ripengine::Options engineOptions;
    engineOptions.jobs = options.jobs;
    engineOptions.handle = modAKRip32::Drive().CDHandle;
    // A real drive is read by one reader in track order; an image by every job.
    engineOptions.oneReader = !akrip::IsImageHandle(engineOptions.handle);
    engineOptions.stopCurrent = [&face] { return face.StopCurrent(); };
    engineOptions.afterBlock = options.afterBlock;
    ripengine::RipEngine engine(std::move(jobs), factory, engineOptions);
    engine.Start();

    const auto tell = [&](std::size_t t, Fault fault, const JobStatus& status, int error,
                          const QString& keptAs = {}) {
        face.Tell(t, fault,
                  Describe(fault, tracks[t], status, error, stopsignals::Received(), keptAs));
        result.failed = result.failed || Fails(fault);
    };
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const int index = jobOf[t];
        if (index < 0) {
            tell(t, Fault::TooLongForWav, {}, 0);
            continue;
        }
        const bool stopping = Follow(engine, index, options, face);

        const JobStatus status = engine.Status(index);
        result.statuses[t] = status;
        std::optional<Fault> fault = FaultOf(status.outcome);
        int error = status.systemError;
        bool landed = false;
        QString keptAs;
        if (status.hasFile) {
            // A file that does not hold its whole track never replaces an
            // older file: it lands beside it, under a name that says so.
            if (status.outcome != Outcome::Complete && OlderFileAt(tracks[t].fileName))
                keptAs = PartialName(tracks[t].fileName);
            int landError = 0;
            landed = engine.Land(index, landError, keptAs);
            // A file that cannot take its name is the one thing to tell.
            if (!landed) {
                fault = Fault::LandFailed;
                error = landError;
                keptAs.clear();
            }
        }
        face.TrackEnded(t, status, landed);
        if (fault)
            tell(t, *fault, status, error, keptAs);
        const bool ends = fault && EndsRun(*fault, status, error);
        if (ends || stopping || status.outcome == Outcome::Dropped || face.StopAfterTrack()) {
            engine.DropAfter(index);
            result.ended = ends;
            result.stopped = !ends;
            break;
        }
    }
    return result;
}

} // namespace trackrun
