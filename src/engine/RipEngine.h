#pragma once
// Extraction on several cores. One RipEngine owns every thread of a run:
// the track jobs, the reader of a real drive and the flusher. Tracks are
// encoded ahead, up to `jobs` at once, each into a file nobody sees in its
// output folder; the caller walks the tracks in list order, shows each one's
// progress while it is current, and lands its file under its final name when
// it ends. So what a person sees, and every file left behind, is what a
// one-track-at-a-time run gives, only sooner.
//
// Threads: every public member is called from one thread (the window's, or
// the command line's main thread); the engine's own threads never call back.

#include "cd/akrip32.h"
#include "output/TrackEncoder.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ripengine {

struct Job {
    int track = 0;          // number on the disc, for messages
    std::int32_t start = 0; // first sector
    std::int32_t end = 0;   // one past the last
    QString fileName;       // the final path of its file
};

enum class Outcome {
    Running,       // not ended yet (or not started)
    Complete,      // every sector encoded
    Stopped,       // ended early after a block by StopAfterBlock: a shorter file
    ReadFailed,    // a sector failed three reads: the file holds the audio before it
    WriteFailed,   // writing or flushing failed: the file holds what was written
    CreateFailed,  // no file could be made under its name (nameOnly) or in its folder
    SpecialFile,   // its name is a FIFO, a socket or a device: never opened
    EncoderFailed, // the encoder refused to start: no file
    SourceFile,    // its name is a file the disc reads from: never written
    Dropped,       // a track ahead at a stop, or after a failure: leaves no trace
};

struct JobStatus {
    Outcome outcome = Outcome::Running;
    std::int32_t sectorsDone = 0;
    std::int32_t sectorsTotal = 0;
    int readError = 0;             // ReadFailed: the CD library's error code
    std::int32_t failedSector = 0; // ReadFailed: the first sector that would not read
    QString readReason;            // ReadFailed: why, in the system's or the image's words
    int systemError = 0;           // WriteFailed, CreateFailed: errno
    bool nameOnly = false;         // CreateFailed: of this name alone, not of its folder
    QString faultText;             // EncoderFailed: the encoder's text
    // True when the job left a file to land (Complete, Stopped, ReadFailed,
    // WriteFailed with something written).
    bool hasFile = false;
};

using EncoderFactory = std::function<std::unique_ptr<TrackEncoder>(const Job&)>;

struct Options {
    int jobs = 1;   // tracks encoded at once; at least 1
    int handle = 0; // the open drive's CDHandle
    // A real drive is read by one reader, in track order; a disc image may be
    // read by every job at once.
    bool oneReader = false;
    // Asked by the current job (the first that has not ended) after each
    // block: true ends it there, as Cancel and a closing window do. It is
    // read on the job's thread, so it reads atomics only.
    std::function<bool()> stopCurrent;
    // Tests only: runs on a job's thread after each block it encoded, so a
    // test can hold a job at a known place.
    std::function<void(int job, std::int32_t sectors)> afterBlock;
};

// The number of cores this process may run on, at least 1.
int DefaultJobs();

class RipEngine {
  public:
    RipEngine(std::vector<Job> jobs, EncoderFactory factory, Options options);
    // Stops whatever still runs, joins every thread and removes every file
    // that was not landed.
    ~RipEngine();
    RipEngine(const RipEngine&) = delete;
    RipEngine& operator=(const RipEngine&) = delete;

    void Start();
    int Count() const;
    JobStatus Status(int index) const;
    // Waits until job index has ended, at most timeout; true when it has.
    bool WaitEnded(int index, std::chrono::milliseconds timeout);
    // After job index ended with a file: waits for its flush, then gives it
    // its final name (or as, when given), replacing an older file there.
    // False with errno in error when that fails (then nothing of it is
    // left).
    bool Land(int index, int& error, const QString& as = {});
    // The job at index (the current one) ends after the block it is on; every
    // job after it is dropped. Used for Cancel, a closing window and signals.
    void StopAfterBlock(int index);
    // Every job after index is dropped (a failure that ends the run).
    void DropAfter(int index);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace ripengine
