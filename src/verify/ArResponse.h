#pragma once
// AccurateRip's answer for a disc: one or more entries, each a byte with its
// track count, the disc's three ids (id1, id2, CDDB id) as little-endian
// 32-bit words, then for every track a confidence byte, the track's checksum
// and its sector-450 checksum (little-endian 32-bit words).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verify {

// Larger answers are refused, whatever their source.
constexpr std::size_t kMaxResponseBytes = 1 << 20;

struct ArTrackEntry {
    int confidence = 0;
    std::uint32_t crc = 0;
    std::uint32_t sector450 = 0;
};

struct ArEntry {
    std::uint32_t id1 = 0;
    std::uint32_t id2 = 0;
    std::uint32_t cddb = 0;
    std::vector<ArTrackEntry> tracks;
};

struct ArResponse {
    std::vector<ArEntry> entries;
    // One line on why the bytes were refused ("the answer ends inside entry
    // 2's track 7"); empty when they were read.
    std::string error;
};

ArResponse ParseArResponse(std::string_view bytes);

// The bytes of an answer holding these entries, as the database serves them.
std::string FormatArResponse(const std::vector<ArEntry>& entries);

} // namespace verify
