#pragma once
// Reading through the CD library layer in tests: opening a drive by its place in the drive list,
// reading sectors through a TRACKBUF block, table addresses. Link dv_cd to use it.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "cd/akrip32.h"

namespace testsupport {

// GetCDHandle for drive position tgt; the other fields as the program sends them.
inline int OpenDrive(int tgt, std::uint8_t ha = 1) {
    akrip::GETCDHAND request{12, 1, ha, static_cast<std::uint8_t>(tgt), 0, 0, {}};
    return akrip::GetCDHandle(&request);
}

// The audio of `count` sectors from `start`, read into a block of maxLen bytes behind its header;
// nothing when the read fails.
inline std::optional<std::vector<unsigned char>>
ReadSectors(int handle, std::int64_t start, std::uint32_t count,
            std::uint32_t maxLen = 26 * akrip::kSectorBytes) {
    std::vector<unsigned char> block(akrip::kTrackBufHeader + maxLen);
    auto* header = reinterpret_cast<akrip::TRACKBUF*>(block.data());
    *header = {static_cast<std::uint32_t>(start), count, maxLen, 0, 0, 0, {}};
    if (akrip::ReadCDAudioLBA(handle, header) != 1)
        return std::nullopt;
    // Never past the block, even if the layer wrongly reported more than it holds.
    const auto audio = block.begin() + akrip::kTrackBufHeader;
    return std::vector(
        audio, audio + std::min<std::size_t>(std::size_t{count} * akrip::kSectorBytes, maxLen));
}

inline std::uint32_t Address(const akrip::TOCTRACK& e) {
    return std::uint32_t{e.addr[0]} << 24 | std::uint32_t{e.addr[1]} << 16 |
           std::uint32_t{e.addr[2]} << 8 | e.addr[3];
}

} // namespace testsupport
