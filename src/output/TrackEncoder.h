#pragma once
// What an encoder writes into, and what it must do for a track: the one
// interface between the extraction engine and the file formats.

#include <QString>

#include <cstddef>
#include <cstdint>

namespace ripengine {

// Where a track's encoder writes: its hidden output file.
class TrackOutput {
  public:
    virtual ~TrackOutput() = default;
    // Writes at the current position, all or nothing; false on failure (the
    // engine keeps the system's reason).
    virtual bool Write(const void* data, std::size_t bytes) = 0;
    virtual bool Seek(std::uint64_t offset) = 0;
    // Cuts the file to size bytes, so that it ends where its header says.
    virtual bool Truncate(std::uint64_t size) = 0;
    virtual std::uint64_t Tell() const = 0;
    // Asks for what was written so far to reach the disk, without waiting:
    // a flusher thread does it. A flush that fails fails the track.
    virtual void RequestFlush() = 0;
};

// Turns one track's audio into the bytes of its file. One object per track,
// made and used by that track's job only.
class TrackEncoder {
  public:
    virtual ~TrackEncoder() = default;
    // Before the first block; pcmBytes is the whole track's audio. Writes what
    // goes before the audio (a WAV header, an ID3 tag). False on failure: a
    // write failure when the output failed, otherwise a fault of the encoder
    // told by FaultText.
    virtual bool Begin(TrackOutput& out, std::uint64_t pcmBytes) = 0;
    // One block of CD audio: sectors × 2352 bytes.
    virtual bool Encode(TrackOutput& out, const unsigned char* pcm, std::int32_t sectors) = 0;
    // After the last block, or early after a stop or a read failure: pcmBytes
    // is the audio actually given. Makes the file whole (flushes the encoder,
    // states the true length in a header).
    virtual bool End(TrackOutput& out, std::uint64_t pcmBytes) = 0;
    // The text of the encoder's own fault ("Invalid format parameters");
    // empty when none.
    virtual QString FaultText() const { return {}; }
};

} // namespace ripengine
