#pragma once
// The checksums of one track's audio, taken block by block as it is
// extracted, so that no second read is needed: the copy CRC (zlib's CRC32 of
// the PCM bytes), the same CRC with every zero sample left out, AccurateRip's
// v1 and v2 checksums, and AccurateRip's checksum of the track's sector 450,
// with which a rip made at another read offset is found.
//
// Audio is CD audio: 16-bit stereo little-endian PCM, 2352 bytes (588 stereo
// samples) a sector. A stereo sample is read as one 32-bit little-endian word
// w, the left channel in its low 16 bits.

#include <cstddef>
#include <cstdint>
#include <string>

namespace verify {

constexpr int kSectorBytes = 2352;
constexpr int kSectorSamples = 588;
// AccurateRip leaves out the first five sectors of the disc's first audio
// track and the last five of its last, less one sample each way.
constexpr std::int64_t kEdgeSamples = 5 * kSectorSamples; // 2940
// The sector (0-based, within the track) whose checksum finds offsets.
constexpr std::int64_t kOffsetSector = 450;

// Where a track lies among the disc's audio tracks: AccurateRip's checksums
// leave out samples at the disc's two ends.
struct TrackPlace {
    bool firstAudio = false;
    bool lastAudio = false;
};

struct ChecksumResult {
    std::uint32_t crc32 = 0;
    std::uint32_t crc32NoNulls = 0;
    std::uint32_t arV1 = 0;
    std::uint32_t arV2 = 0;
    std::uint32_t arSector450 = 0;
    bool hasSector450 = false;  // the track reaches past its sector 450
    std::uint64_t samples = 0;  // stereo samples taken in
    std::uint64_t expected = 0; // the track's length, as announced
    bool Complete() const { return samples == expected; }
};

// The AccurateRip window of a track of `samples` stereo samples: positions
// (counted from 1) from..to count. Empty (from > to) for a track too short.
struct ArWindow {
    std::int64_t from = 1;
    std::int64_t to = 0;
};
ArWindow ArWindowOf(TrackPlace place, std::int64_t samples);

class TrackChecksums {
  public:
    // samples: the track's whole length in stereo samples (the last track's
    // window ends 2940 samples before it).
    TrackChecksums(TrackPlace place, std::uint64_t samples);

    // Any number of bytes; a sample split between two calls is joined. Bytes
    // past the announced length are taken into the CRCs but not into
    // AccurateRip's sums, whose window ends there.
    void Feed(const unsigned char* pcm, std::size_t bytes);
    // The sums so far; whole once every announced sample was fed.
    ChecksumResult Result() const;

  private:
    void FeedSamples(const unsigned char* pcm, std::uint64_t count);

    ArWindow window_;
    std::uint64_t expected_;
    std::uint64_t position_ = 0; // samples taken into the AccurateRip sums
    std::uint32_t crc_;
    std::uint32_t crcNoNulls_;
    std::uint32_t v1_ = 0;
    std::uint32_t high_ = 0; // the sum of the products' upper words
    std::uint32_t sector450_ = 0;
    unsigned char partial_[4] = {};
    std::size_t partialBytes_ = 0;
};

// Eight lower-case hex digits.
std::string Hex8(std::uint32_t value);

} // namespace verify
