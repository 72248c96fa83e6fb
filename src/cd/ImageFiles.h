#pragma once
// The files a disc image's audio comes from, and the disc laid out of them.
// Raw files (BINARY, MOTOROLA, a TOC's raw audio and data files) are read
// directly; WAVE, AIFF and FLAC through libsndfile, which must hold 16-bit
// stereo at 44100 Hz. Shared by the CUE and the TOC reader. Internal to
// src/cd.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cd/Disc.h"
#include "cd/akrip32.h"
#include "general/modFiles.h"

namespace akrip::detail {

constexpr int kFramesPerSector = kSectorBytes / 4; // stereo, 16 bit
// Disc positions are signed 32-bit sector numbers.
constexpr std::int64_t kMaxSectors = std::numeric_limits<std::int32_t>::max();

using Fd = modFiles::UniqueFd;

std::string SystemReason();
// "mm:ss:ff" of a number of sectors.
std::string Msf(std::int64_t sectors);
std::string Quoted(const std::string& name);
// Reads a whole file; false with errno set when it cannot.
bool ReadAll(int fd, std::string& text, std::int64_t limit);
// A FIFO would block the open, and a device or folder is no image file, so
// only regular files are read.
Fd OpenRegular(const std::string& path, struct stat& info, std::string& reason);

// Audio frames are 4 bytes of a 2352-byte sector: a data track's sectors
// are read whole, 588 frames at a time.
class ImageFile {
  public:
    virtual ~ImageFile() = default;
    std::int64_t Sectors() const { return (frames_ + kFramesPerSector - 1) / kFramesPerSector; }
    std::int64_t Frames() const { return frames_; }
    // count frames from `frame`; what lies past the end of the file's data
    // reads as silence.
    virtual bool Read(std::int64_t frame, std::int64_t count, unsigned char* out) = 0;

  protected:
    std::int64_t frames_ = 0;
};

// Raw files: sectors of blockBytes each (2352 for audio; smaller for cooked
// data tracks, whose bytes are delivered at the start of each 2352-byte
// sector), from `skip` bytes into the file on. Big-endian audio is turned
// around. A last partial sector is padded with silence.
std::unique_ptr<ImageFile> MakeRawFile(Fd fd, std::int64_t size, int blockBytes, bool bigEndian,
                                       std::int64_t skip = 0);

// A WAVE, AIFF or FLAC file of CD audio; null with `problem` said, naming
// the file as `named`, when it is none.
std::unique_ptr<ImageFile> MakeSoundFile(Fd fd, std::int64_t size, const std::string& named,
                                         std::string& problem);

// The frames a WAVE or AIFF header says the file holds, or -1 when it says
// no number (a stream written without seeking back), or it is neither.
std::int64_t PromisedFrames(int fd, std::int64_t fileSize);

// A disc image: the files it reads, and stretches of them and of silence
// laid back to back from frame 0.
class LaidImage final : public Disc {
  public:
    // A stretch of the disc: from one file, or silence (file null).
    struct Piece {
        std::int64_t start = 0; // frames, like the rest
        std::int64_t frames = 0;
        ImageFile* file = nullptr;
        std::int64_t fileFrame = 0;
    };

    std::vector<std::unique_ptr<ImageFile>> files;
    std::vector<std::pair<dev_t, ino_t>> read; // the sheet and its files
    std::vector<Piece> pieces;                 // in disc order
    DiscTable table;
    DiscText text;

    // Adds a piece after the last one.
    void Add(std::int64_t frames, ImageFile* file, std::int64_t fileFrame);
    std::int64_t EndFrame() const {
        return pieces.empty() ? 0 : pieces.back().start + pieces.back().frames;
    }

    std::optional<DiscTable> Table() override { return table; }
    std::int32_t ReadableEnd() override { return table.leadout; }
    DiscText Text() override { return text; }
    bool ReadsFile(std::uint64_t device, std::uint64_t inode) override;
    bool Read(std::int32_t start, std::uint32_t count, unsigned char* out) override;
};

} // namespace akrip::detail
