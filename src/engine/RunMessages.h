#pragma once
// Every message a run gives about a track, worded here once for both faces:
// the window's box (its text, icon and title) beside the command line's
// line. A change to what a failure says is made in this one place.

#include "engine/RipEngine.h"
#include "general/Dialogs.h"

#include <QString>

#include <cstdint>

namespace trackrun {

struct Track;

enum class Fault {
    TooLongForWav, // refused before anything is read or written
    ReadFailed,    // the file holds the audio before the bad sector
    EncoderFailed, // the encoder refused the track: no file
    SourceFile,    // its name is a file the disc reads from: never written
    CreateFailed,  // no file could be made under its name or in its folder
    SpecialFile,   // its name is a FIFO, a socket or a device: never opened
    WriteFailed,   // writing failed: the file keeps what was written
    LandFailed,    // the finished file could not take its name: nothing kept
    Stopped,       // a stop ended the track early: a shorter file
};

struct TrackMessage {
    // The window's box; no box when text is empty.
    QString text;
    Dialogs::Icon icon = Dialogs::Icon::None;
    QString title;
    // The command line's line, "<file>: <what happened>", without the
    // program's name.
    QString line;
};

// What a fault of track says. status is the job's as it ended; error the
// system's errno where the fault has one; signal the stop signal, if any.
TrackMessage Describe(Fault fault, const Track& track, const ripengine::JobStatus& status,
                      int error, int signal);

// The title of the box for the encoder's own faults.
inline const QString kEncoderFaultTitle = QStringLiteral("Critical error...");

// Whether a fault makes the run fail (a command line's exit status), and
// whether it ends the run: a folder that takes no file, or a disk that took
// no more, would fail every later track alike. A stop ends the run through
// the face that asked for it.
bool Fails(Fault fault);
bool EndsRun(Fault fault, const ripengine::JobStatus& status, int error);

// "name (partial).ext": where a file that does not hold its whole track
// lands when an older file has its name.
QString PartialName(const QString& fileName);

// sectors as m:ss.ff, ff counting the 75 sectors of a second.
QString SectorTime(std::int64_t sectors);

// "SIGINT", "SIGTERM", "SIGHUP", or "signal n".
QString SignalName(int number);

} // namespace trackrun
