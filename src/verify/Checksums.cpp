#include "verify/Checksums.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace verify {
namespace {

std::uint32_t Word(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint32_t Crc(std::uint32_t crc, const unsigned char* data, std::size_t bytes) {
    // zlib takes at most a uInt at once.
    while (bytes > 0) {
        const auto chunk = static_cast<uInt>(std::min<std::size_t>(bytes, 1u << 30));
        crc = static_cast<std::uint32_t>(crc32(crc, data, chunk));
        data += chunk;
        bytes -= chunk;
    }
    return crc;
}

// Whether any of the four 16-bit samples in x is zero (never a false
// answer, though it may not say which).
bool HasZeroSample(std::uint64_t x) {
    return ((x - 0x0001000100010001ull) & ~x & 0x8000800080008000ull) != 0;
}

// The CRC of the bytes with every 16-bit sample that is zero left out. Music
// holds few such samples: the runs between them go to zlib where they lie,
// found eight bytes at a time, and only the words that hold a zero sample are
// looked at sample by sample.
std::uint32_t CrcNoNulls(std::uint32_t crc, const unsigned char* data, std::size_t bytes) {
    const std::size_t end = bytes & ~std::size_t(1);
    std::size_t run = 0; // where the kept samples since the last zero start
    std::size_t i = 0;
    while (i < end) {
        if (i + 8 <= end) {
            std::uint64_t word;
            std::memcpy(&word, data + i, 8);
            if (!HasZeroSample(word)) {
                i += 8;
                continue;
            }
        }
        for (const std::size_t stop = std::min(i + 8, end); i < stop; i += 2) {
            if ((data[i] | data[i + 1]) != 0)
                continue;
            crc = Crc(crc, data + run, i - run);
            run = i + 2;
        }
    }
    return Crc(crc, data + run, end - run);
}

} // namespace

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

ArWindow ArWindowOf(TrackPlace place, std::int64_t samples) {
    ArWindow w;
    w.from = place.firstAudio ? kEdgeSamples : 1;
    w.to = place.lastAudio ? samples - kEdgeSamples : samples;
    return w;
}

TrackChecksums::TrackChecksums(TrackPlace place, std::uint64_t samples)
    : window_(ArWindowOf(place, static_cast<std::int64_t>(samples))), expected_(samples),
      crc_(static_cast<std::uint32_t>(crc32(0, nullptr, 0))), crcNoNulls_(crc_) {}

void TrackChecksums::Feed(const unsigned char* pcm, std::size_t bytes) {
    crc_ = Crc(crc_, pcm, bytes);
    // A sample split between calls is whole in partial_ before it counts.
    if (partialBytes_ > 0) {
        while (partialBytes_ < 4 && bytes > 0) {
            partial_[partialBytes_++] = *pcm++;
            --bytes;
        }
        if (partialBytes_ < 4)
            return;
        crcNoNulls_ = CrcNoNulls(crcNoNulls_, partial_, 4);
        FeedSamples(partial_, 1);
        partialBytes_ = 0;
    }
    const std::size_t whole = bytes / 4 * 4;
    crcNoNulls_ = CrcNoNulls(crcNoNulls_, pcm, whole);
    FeedSamples(pcm, whole / 4);
    for (std::size_t i = whole; i < bytes; ++i)
        partial_[partialBytes_++] = pcm[i];
}

void TrackChecksums::FeedSamples(const unsigned char* pcm, std::uint64_t count) {
    // Positions first..first + count - 1 (counted from 1) arrive; only those in
    // the window count, so the loop runs over that part alone.
    const auto first = static_cast<std::int64_t>(position_) + 1;
    const auto last = first + static_cast<std::int64_t>(count) - 1;
    position_ += count;
    const std::int64_t from = std::max(first, window_.from);
    const std::int64_t to = std::min(last, window_.to);
    std::uint32_t lo = 0, hi = 0;
    for (std::int64_t m = from; m <= to; ++m) {
        const std::uint64_t product =
            std::uint64_t(Word(pcm + (m - first) * 4)) * static_cast<std::uint64_t>(m);
        lo += static_cast<std::uint32_t>(product);
        hi += static_cast<std::uint32_t>(product >> 32);
    }
    v1_ += lo;
    high_ += hi;
    // Sector 450, positions counted from 1 within it.
    const std::int64_t base = kOffsetSector * kSectorSamples;
    const std::int64_t sFrom = std::max(first, base + 1);
    const std::int64_t sTo = std::min(last, base + kSectorSamples);
    for (std::int64_t m = sFrom; m <= sTo; ++m)
        sector450_ += Word(pcm + (m - first) * 4) * static_cast<std::uint32_t>(m - base);
}

ChecksumResult TrackChecksums::Result() const {
    ChecksumResult r;
    r.crc32 = crc_;
    r.crc32NoNulls = crcNoNulls_;
    r.arV1 = v1_;
    r.arV2 = v1_ + high_;
    r.arSector450 = sector450_;
    r.hasSector450 = position_ >= std::uint64_t(kOffsetSector + 1) * kSectorSamples;
    r.samples = position_;
    r.expected = expected_;
    return r;
}

} // namespace verify
