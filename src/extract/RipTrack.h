#pragma once
// What the WAV and MP3 extractors share: the read block handed to the CD
// library, what a track's extraction tells the driver, and the texts of the
// file faults.

#include "cd/akrip32.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace riptrack {

constexpr std::int32_t kSectorsPerBlock = 26;
constexpr std::int32_t kBlockAudioBytes = kSectorsPerBlock * akrip::kSectorBytes;  // 61152
constexpr int kReadAttempts = 3;

// Continue: the driver goes on with the next ticked track. StopRun: the
// output could not be written (a full disk, say), so further tracks would
// fail the same way.
enum class RipOutcome { Continue, StopRun };

// One block of 24 + 61152 bytes, zero-filled, allocated once per track. The
// request header is kept apart and copied in before every read, so whatever
// the library left in the block's header is overwritten.
class ReadBlock {
public:
    // Reads from the drive of handle: the open drive's when none is given.
    explicit ReadBlock(int handle = 0);
    // Reads count sectors (1 to 26) from sector on, with up to three
    // attempts; false when all of them failed (Error() tells why).
    bool Read(std::int32_t sector, std::int32_t count);
    // The CD library's error code of the last failed attempt.
    int Error() const { return error_; }
    // The audio of the last read: count * 2352 bytes right after the header.
    const unsigned char* Audio() const { return bytes_.get() + akrip::kTrackBufHeader; }

private:
    akrip::TRACKBUF header_{};
    std::unique_ptr<unsigned char[]> bytes_;
    int handle_;
    int error_ = 0;
};

// The message above the CD library's text when a block of a track cannot be
// read: which track, which file, and where.
QString ReadFailedText(int track, const QString& fileName, std::int32_t sector, int errorCode);
// "Extracting: " and the output file's name without its folder.
QString StatusText(const QString& fileName);
// Messages for an output file that cannot be created or written; error is
// the system's errno.
QString CannotCreateText(const QString& fileName, int error);
QString CannotWriteText(const QString& fileName, int error);

}  // namespace riptrack
