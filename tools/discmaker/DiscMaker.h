#pragma once
// Makes audio-CD images (one CUE sheet and one BIN) full of music-like,
// deterministic audio, so tests and the demo have discs to read without a
// drive. No Qt: plain C++ and POSIX.
//
// Sector numbers below are disc sectors as libcdio counts them (LSN). The BIN
// starts at sector 0, so a sector's number is also its place in the BIN.

#include <cstdint>
#include <string>
#include <vector>

namespace discmaker {

constexpr int kSectorBytes = 2352;
constexpr int kSectorsPerSecond = 75;
constexpr int kPregapSectors = 150;
constexpr int kMaxTracks = 99;

struct DiscPlan {
    std::vector<std::int32_t> trackSectors;  // length of each track, at least 1 sector
    std::uint32_t seed = 1;                  // same seed, same audio
    bool pregap = false;  // 150 quiet sectors before track 1, which then starts at 150
};

// First sector of track `index` (0-based); index == track count gives the
// lead-out.
std::int32_t TrackStart(const DiscPlan& plan, int index);
// Sectors in the BIN, pregap included: the lead-out sector.
std::int32_t TotalSectors(const DiscPlan& plan);

// Writes <folder>/<baseName>.cue and <folder>/<baseName>.bin and returns the
// .cue path. Throws std::invalid_argument for a plan or name that cannot make
// a disc and std::runtime_error when a file cannot be written.
std::string WriteCueBin(const std::string& folder, const std::string& baseName, const DiscPlan& plan);

// The 2352 bytes of `sector` exactly as the BIN holds them (16-bit
// little-endian stereo), so tests can compare what was read. Throws
// std::out_of_range for a sector outside [0, TotalSectors).
void FillSector(const DiscPlan& plan, std::int32_t sector, unsigned char out[kSectorBytes]);

}  // namespace discmaker
