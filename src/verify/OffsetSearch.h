#pragma once
// Finding at which offset a rip's tracks match AccurateRip's checksums when
// they match none as read: the same audio taken some samples later or
// earlier, from -2940 to +2940 samples (five sectors), zero past the ends of
// the disc's audio.
//
// The cost stays near one more pass over each track: the sector-450
// checksums of every offset follow one from the other in constant time and
// name the few offsets worth a full pass; where they cannot (a track too
// short, or a sector 450 that matches everywhere, as silence does), the v1
// checksum of every offset is slid along the track in one pass.

#include "verify/Checksums.h"
#include "verify/DiscToc.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace verify {

constexpr int kMaxOffset = 2940;

// Reads count sectors of the rip's audio (2352 bytes each) from sector first
// on, numbered as the table numbers them, into out; false when they cannot be
// read. Only sectors of the disc's audio tracks are asked for.
using SectorReader =
    std::function<bool(std::int32_t first, std::int32_t count, unsigned char* out)>;

// The rip's audio as one stream of stereo samples over the whole disc, zero
// outside the disc's audio tracks.
class DiscAudio {
  public:
    DiscAudio(SectorReader reader, const DiscToc& toc);
    // count samples from sample first on (sample 0 is sector 0's first); false
    // with Error() set when the reader fails.
    bool Read(std::int64_t first, std::size_t count, std::uint32_t* out);
    const std::string& Error() const { return error_; }

  private:
    SectorReader reader_;
    std::int64_t begin_ = 0, end_ = 0; // the audio's samples
    std::vector<unsigned char> bytes_;
    std::string error_;
};

// A track as the search sees it.
struct SearchTrack {
    SectorRange sectors;
    TrackPlace place;
};

// The checksums an offset must meet: the track's entries with confidence
// above 0.
struct SearchTargets {
    std::vector<std::uint32_t> crcs;
    std::vector<std::uint32_t> sector450s;
};

struct OffsetHit {
    int offset = 0;
    std::uint32_t crc = 0; // the entry checksum met
    bool v2 = false;
};

// AccurateRip's v1 and v2 of the track taken offset samples later.
bool SumsAtOffset(DiscAudio& audio, const SearchTrack& track, int offset, std::uint32_t& v1,
                  std::uint32_t& v2);

// The offsets (other than 0) of those given at which the track meets a
// target, a full pass each; stops at the first that does.
bool MatchAtOffsets(DiscAudio& audio, const SearchTrack& track, const SearchTargets& targets,
                    const std::vector<int>& offsets, std::vector<OffsetHit>& hits);

// Every offset other than 0 at which the track meets a target; hints (offsets
// other tracks matched at) are tried first where the search must pass over
// the whole track. False, with audio.Error(), when the audio cannot be read.
bool FindOffsets(DiscAudio& audio, const SearchTrack& track, const SearchTargets& targets,
                 const std::vector<int>& hints, std::vector<OffsetHit>& hits);

} // namespace verify
