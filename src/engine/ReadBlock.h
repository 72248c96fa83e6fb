#pragma once
// The read block handed to the CD library: how the engine takes a track's
// audio from the open drive, 26 sectors at a time.

#include "cd/akrip32.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ripengine {

constexpr std::int32_t kSectorsPerBlock = 26;
constexpr std::int32_t kBlockAudioBytes = kSectorsPerBlock * akrip::kSectorBytes; // 61152
constexpr int kReadAttempts = 3;

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
    // The same, but when the block will not read, reads it again sector by
    // sector and keeps every sector before the first that will not: how many
    // sectors stand at Audio(), count when all did.
    std::int32_t ReadLeading(std::int32_t sector, std::int32_t count);
    // The CD library's error code of the last failed attempt.
    int Error() const { return error_; }
    // Why it failed, in the system's or the image's words (may be empty).
    const std::string& Reason() const { return reason_; }
    // The audio of the last read: count * 2352 bytes right after the header.
    const unsigned char* Audio() const { return bytes_.get() + akrip::kTrackBufHeader; }

  private:
    akrip::TRACKBUF header_{};
    std::unique_ptr<unsigned char[]> bytes_;
    int handle_;
    int error_ = 0;
    std::string reason_;
};

} // namespace ripengine
