#pragma once
// What the CD library layer reads a disc through. Real drives and NRG images
// go through libcdio; CUE sheets and cdrdao TOC files through our own
// readers, because libcdio's read the BIN named after a sheet rather than the
// files it names, and put a TOC file's tracks in the wrong places. The layer keeps the handles, the
// range checks and the read-fault seam for both, so a Disc answers only for its table and sectors.
// Internal to src/cd.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cd/DiscInfo.h"

namespace akrip::detail {

// Control bits of a table entry (the low nibble of ADR).
constexpr std::uint8_t kPreEmphasis = 0x01;
constexpr std::uint8_t kCopyPermitted = 0x02;
constexpr std::uint8_t kDataTrack = 0x04;
constexpr std::uint8_t kFourChannel = 0x08;

struct DiscTrack {
    int number = 0;
    std::uint8_t control = 0;
    std::int32_t start = 0;
};

struct DiscTable {
    std::vector<DiscTrack> tracks; // in disc order
    std::int32_t leadout = 0;
};

class Disc {
  public:
    virtual ~Disc() = default;
    // The table of contents, or nothing when it cannot be read.
    virtual std::optional<DiscTable> Table() = 0;
    // One past the last sector Read can deliver; -1 when there is none.
    virtual std::int32_t ReadableEnd() = 0;
    // count sectors of 2352 bytes from start; the caller keeps the range
    // within [0, ReadableEnd()).
    virtual bool Read(std::int32_t start, std::uint32_t count, unsigned char* out) = 0;
    // The titles the disc carries, as DiscInfo.h describes them.
    virtual DiscText Text() { return {}; }
    // Whether the disc reads from the file with this device and inode number.
    virtual bool ReadsFile(std::uint64_t /*device*/, std::uint64_t /*inode*/) { return false; }
    // Who made the table, for messages: "libcdio's NRG driver".
    virtual std::string Driver() const { return "our own reader"; }
};

// What is wrong with a table, naming the track ("track 3 starts at 00:10:00,
// not after track 2 at 00:12:00"); empty when nothing is: the starts rise,
// none lies past the lead-out, and every track is at least a sector long.
std::string TableProblem(const DiscTable& table);

// libcdio must not print or exit on its own; call before any libcdio call.
void InstallCdioLogHandler();
// The device nodes of the real drives libcdio finds.
std::vector<std::string> CdioDevices();
// "Vendor Model Revision" of a real drive, or its device node.
std::string CdioDriveDescription(const std::string& device);
// A real drive, or a disc image libcdio reads; nothing when it cannot open it.
std::unique_ptr<Disc> OpenCdioDisc(const std::string& path, bool image);
// The last message libcdio logged (any level but debug).
std::string LastCdioMessage();

} // namespace akrip::detail
