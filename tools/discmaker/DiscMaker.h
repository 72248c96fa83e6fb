#pragma once
// Makes audio-CD images (a CUE sheet and its audio file) full of music-like,
// deterministic audio, so tests and the demo have discs to read without a
// drive; and single audio files in the forms CUE sheets name (raw BINARY or
// MOTOROLA, WAVE, AIFF, FLAC), so tests can build sheets of their own. No Qt:
// plain C++, POSIX and libsndfile.
//
// Sector numbers below are disc sectors as libcdio counts them (LSN). The
// audio file starts at sector 0, so a sector's number is also its place in
// the file.

#include <cstdint>
#include <string>
#include <vector>

namespace discmaker {

constexpr int kSectorBytes = 2352;
constexpr int kSectorsPerSecond = 75;
constexpr int kPregapSectors = 150;
constexpr int kMaxTracks = 99;

// How a file holds its audio: raw 16-bit little-endian stereo (BINARY), the
// same big-endian (MOTOROLA), or a sound file libsndfile writes.
enum class FileType { Binary, Motorola, Wave, Aiff, Flac };

// The form of a sound file's samples; anything but the default is not CD
// audio, which is what tests of refused files need.
struct SoundForm {
    int rate = 44100;
    int channels = 2;
    int bits = 16; // 8, 16 or 24
};

struct DiscPlan {
    std::vector<std::int32_t> trackSectors; // length of each track, at least 1 sector
    std::uint32_t seed = 1;                 // same seed, same audio
    bool pregap = false;              // 150 quiet sectors before track 1, which then starts at 150
    FileType type = FileType::Binary; // the one file WriteCueBin writes
};

// First sector of track `index` (0-based); index == track count gives the
// lead-out.
std::int32_t TrackStart(const DiscPlan& plan, int index);
// Sectors in the BIN, pregap included: the lead-out sector.
std::int32_t TotalSectors(const DiscPlan& plan);

// Writes <folder>/<baseName>.cue and one audio file, <baseName>.bin (BINARY
// and MOTOROLA), .wav, .aiff or .flac, and returns the .cue path. Throws
// std::invalid_argument for a plan or name that cannot make a disc and
// std::runtime_error when a file cannot be written.
std::string WriteCueBin(const std::string& folder, const std::string& baseName,
                        const DiscPlan& plan);

// Writes what a Windows ripper leaves, as copied to Linux: one sound file of
// the plan's type (WAVE, AIFF or FLAC) per track in <folder>/<baseName>/,
// named "01 - track 1.flac" and so on, and <folder>/<baseName>.cue, with
// CRLF line ends, naming them "<baseName>\01 - Track 1.wav": "\" between
// folders, other letter case, and .wav whatever the type, as a sheet reads
// after its audio was converted. Each track's gap (up to 2 seconds) sits at
// the end of the file before. With dataTrack the sheet ends with an
// Enhanced CD's data track that was never ripped: only an INDEX 00, at the
// end of the audio. The disc's tracks are the plan's. Returns the .cue
// path; throws like WriteCueBin.
std::string WriteWindowsRip(const std::string& folder, const std::string& baseName,
                            const DiscPlan& plan, bool dataTrack);

// Writes sectors [first, first + count) of the plan's audio into one file,
// leaving out the last cutFrames stereo frames (so the file need not hold a
// whole number of sectors). A mono form keeps the left channel; another rate
// only labels the same samples. Throws like WriteCueBin.
void WriteAudioFile(const std::string& path, const DiscPlan& plan, std::int32_t first,
                    std::int32_t count, FileType type, std::int32_t cutFrames = 0,
                    SoundForm form = {});

// The 2352 bytes of `sector` exactly as the BIN holds them (16-bit
// little-endian stereo), so tests can compare what was read. Throws
// std::out_of_range for a sector outside [0, TotalSectors).
void FillSector(const DiscPlan& plan, std::int32_t sector, unsigned char out[kSectorBytes]);

} // namespace discmaker
