#pragma once
// Reading through the CD library layer in tests: a TRACKBUF block with room
// behind its header, opening a drive by its place in the drive list, reading
// sectors and table addresses. Link dv_cd to use it.

#include <cstdint>
#include <vector>

#include "cd/akrip32.h"

namespace testsupport {

class TrackBlock {
public:
    explicit TrackBlock(std::uint32_t capacity)
        : bytes_(akrip::kTrackBufHeader + std::size_t{capacity} * akrip::kSectorBytes) {
        get()->maxLen = capacity * akrip::kSectorBytes;
    }
    akrip::TRACKBUF* get() { return reinterpret_cast<akrip::TRACKBUF*>(bytes_.data()); }
    const unsigned char* audio() const { return bytes_.data() + akrip::kTrackBufHeader; }

private:
    std::vector<unsigned char> bytes_;
};

// GetCDHandle for drive position tgt; the other fields as the program sends them.
inline int OpenDrive(int tgt, std::uint8_t size = 12, std::uint8_t ver = 1, std::uint8_t ha = 1) {
    akrip::GETCDHAND request{};
    request.size = size;
    request.ver = ver;
    request.ha = ha;
    request.tgt = static_cast<std::uint8_t>(tgt);
    return akrip::GetCDHandle(&request);
}

inline int ReadSectors(int handle, TrackBlock& block, std::int64_t start, std::uint32_t count) {
    block.get()->startFrame = static_cast<std::uint32_t>(start);
    block.get()->numFrames = count;
    return akrip::ReadCDAudioLBA(handle, block.get());
}

inline std::uint32_t Address(const akrip::TOCTRACK& e) {
    return std::uint32_t{e.addr[0]} << 24 | std::uint32_t{e.addr[1]} << 16 | std::uint32_t{e.addr[2]} << 8 | e.addr[3];
}

}  // namespace testsupport
