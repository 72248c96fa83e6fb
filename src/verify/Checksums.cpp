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

// Where the first zero 16-bit sample at or after i lies (end when none):
// eight bytes at a time, and sample by sample only in a word that holds one.
std::size_t NextZero(const unsigned char* data, std::size_t i, std::size_t end) {
    for (; i + 8 <= end; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        if (HasZeroSample(word))
            break;
    }
    for (; i < end; i += 2)
        if ((data[i] | data[i + 1]) == 0)
            return i;
    return end;
}

// Below this many bytes a run is summed into both CRCs; above it, once, and
// the sum joined to both (crc32_combine costs about as much as summing this).
constexpr std::size_t kCombineFrom = 1536;

// Both CRCs of whole samples: crc over every byte, noNulls over the 16-bit
// samples that are not zero. Music has few zero samples, so most of it is
// summed once for the two.
void Crcs(std::uint32_t& crc, std::uint32_t& noNulls, const unsigned char* data,
          std::size_t bytes) {
    const std::size_t end = bytes & ~std::size_t(1);
    for (std::size_t i = 0; i < end;) {
        const std::size_t from = i;
        i = NextZero(data, i, end);
        const std::size_t kept = i - from;
        if (kept >= kCombineFrom) {
            const auto sum = static_cast<uLong>(Crc(0, data + from, kept));
            crc = static_cast<std::uint32_t>(crc32_combine(crc, sum, z_off_t(kept)));
            noNulls = static_cast<std::uint32_t>(crc32_combine(noNulls, sum, z_off_t(kept)));
        } else if (kept > 0) {
            crc = Crc(crc, data + from, kept);
            noNulls = Crc(noNulls, data + from, kept);
        }
        const std::size_t zeros = i;
        while (i < end && (data[i] | data[i + 1]) == 0)
            i += 2;
        crc = Crc(crc, data + zeros, i - zeros);
    }
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
    // A sample split between calls is whole in partial_ before it counts.
    if (partialBytes_ > 0) {
        const std::size_t taken = std::min<std::size_t>(4 - partialBytes_, bytes);
        crc_ = Crc(crc_, pcm, taken);
        std::memcpy(partial_ + partialBytes_, pcm, taken);
        partialBytes_ += taken;
        pcm += taken;
        bytes -= taken;
        if (partialBytes_ < 4)
            return;
        for (int half = 0; half < 4; half += 2)
            if ((partial_[half] | partial_[half + 1]) != 0)
                crcNoNulls_ = Crc(crcNoNulls_, partial_ + half, 2);
        FeedSamples(partial_, 1);
        partialBytes_ = 0;
    }
    const std::size_t whole = bytes / 4 * 4;
    Crcs(crc_, crcNoNulls_, pcm, whole);
    FeedSamples(pcm, whole / 4);
    crc_ = Crc(crc_, pcm + whole, bytes - whole);
    std::memcpy(partial_, pcm + whole, bytes - whole);
    partialBytes_ = bytes - whole;
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
