#include "verify/OffsetSearch.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace verify {
namespace {

constexpr std::int32_t kReadSectors = 64;
constexpr std::size_t kPassSamples = std::size_t(kReadSectors) * kSectorSamples;
// More sector-450 candidates than this and the checksum tells nothing (a
// quiet sector 450): the v1 slide takes over.
constexpr std::size_t kMaxCandidates = 16;

bool Contains(const std::vector<std::uint32_t>& list, std::uint32_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// v(k) = sum over m = from..to of R[base + k + m - 1] * m (mod 2^32), for
// every k from -kMaxOffset to kMaxOffset, handed to visit(k, v) in order. One
// pass over the window for k = -kMaxOffset; each next k then follows from the
// one before through the samples leaving and entering the window:
//   sum(k+1) = sum(k) - R[a] + R[a + L]
//   v(k+1)   = v(k) - from * R[a] + (to + 1) * R[a + L] - sum(k+1)
// where a is the window's first sample for k and L its length.
template <typename Visit>
bool Slide(DiscAudio& audio, std::int64_t base, std::int64_t from, std::int64_t to, Visit&& visit) {
    const std::int64_t length = to - from + 1;
    if (length <= 0)
        return true;
    const std::int64_t a0 = base - kMaxOffset + from - 1;
    std::uint32_t v = 0, sum = 0;
    std::vector<std::uint32_t> chunk(kPassSamples);
    for (std::int64_t done = 0; done < length;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(kPassSamples), length - done));
        if (!audio.Read(a0 + done, n, chunk.data()))
            return false;
        auto m = static_cast<std::uint32_t>(from + done);
        for (std::size_t i = 0; i < n; ++i, ++m) {
            v += chunk[i] * m;
            sum += chunk[i];
        }
        done += static_cast<std::int64_t>(n);
    }
    constexpr std::size_t steps = 2 * kMaxOffset;
    std::vector<std::uint32_t> leaving(steps), entering(steps);
    if (!audio.Read(a0, steps, leaving.data()) || !audio.Read(a0 + length, steps, entering.data()))
        return false;
    const auto first = static_cast<std::uint32_t>(from);
    const auto after = static_cast<std::uint32_t>(to + 1);
    visit(-kMaxOffset, v);
    for (std::size_t j = 0; j < steps; ++j) {
        sum = sum - leaving[j] + entering[j];
        v = v - first * leaving[j] + after * entering[j] - sum;
        visit(-kMaxOffset + int(j) + 1, v);
    }
    return true;
}

} // namespace

DiscAudio::DiscAudio(SectorReader reader, const DiscToc& toc)
    : reader_(std::move(reader)), bytes_(std::size_t(kReadSectors) * kSectorBytes) {
    bool any = false;
    for (const TocTrack& t : toc.tracks) {
        const auto range = AudioTrackSectors(toc, t.number);
        if (!range)
            continue;
        if (!any)
            begin_ = std::int64_t(range->start) * kSectorSamples;
        end_ = std::int64_t(range->end) * kSectorSamples;
        any = true;
    }
}

bool DiscAudio::Read(std::int64_t first, std::size_t count, std::uint32_t* out) {
    std::fill(out, out + count, 0u);
    const std::int64_t lo = std::max(first, begin_);
    const std::int64_t hi = std::min(first + static_cast<std::int64_t>(count), end_);
    for (std::int64_t p = lo; p < hi;) {
        const auto sector = static_cast<std::int32_t>(p / kSectorSamples);
        const std::int64_t sectorStart = std::int64_t(sector) * kSectorSamples;
        const auto sectors = static_cast<std::int32_t>(std::min<std::int64_t>(
            kReadSectors, (hi - sectorStart + kSectorSamples - 1) / kSectorSamples));
        if (!reader_(sector, sectors, bytes_.data())) {
            error_ = "cannot read sectors " + std::to_string(sector) + " to " +
                     std::to_string(sector + sectors - 1) + " of the rip";
            return false;
        }
        const std::int64_t stop =
            std::min(hi, sectorStart + std::int64_t(sectors) * kSectorSamples);
        for (; p < stop; ++p) {
            const unsigned char* b = bytes_.data() + (p - sectorStart) * 4;
            out[p - first] = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 |
                             std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
        }
    }
    return true;
}

bool SumsAtOffset(DiscAudio& audio, const SearchTrack& track, int offset, std::uint32_t& v1,
                  std::uint32_t& v2) {
    const std::int64_t samples =
        std::int64_t(track.sectors.end - track.sectors.start) * kSectorSamples;
    const ArWindow w = ArWindowOf(track.place, samples);
    const std::int64_t base = std::int64_t(track.sectors.start) * kSectorSamples + offset;
    std::uint32_t lo = 0, hi = 0;
    std::vector<std::uint32_t> chunk(kPassSamples);
    for (std::int64_t m = w.from; m <= w.to;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(kPassSamples), w.to - m + 1));
        if (!audio.Read(base + m - 1, n, chunk.data()))
            return false;
        for (std::size_t i = 0; i < n; ++i, ++m) {
            const std::uint64_t product = std::uint64_t(chunk[i]) * std::uint64_t(m);
            lo += static_cast<std::uint32_t>(product);
            hi += static_cast<std::uint32_t>(product >> 32);
        }
    }
    v1 = lo;
    v2 = lo + hi;
    return true;
}

bool MatchAtOffsets(DiscAudio& audio, const SearchTrack& track, const SearchTargets& targets,
                    const std::vector<int>& offsets, std::vector<OffsetHit>& hits) {
    hits.clear();
    for (const int k : offsets) {
        std::uint32_t v1 = 0, v2 = 0;
        if (k == 0)
            continue;
        if (!SumsAtOffset(audio, track, k, v1, v2))
            return false;
        for (const std::uint32_t crc : targets.crcs)
            if (crc == v1 || crc == v2)
                hits.push_back(OffsetHit{k, crc, crc != v1});
        if (!hits.empty())
            return true;
    }
    return true;
}

bool FindOffsets(DiscAudio& audio, const SearchTrack& track, const SearchTargets& targets,
                 const std::vector<int>& hints, std::vector<OffsetHit>& hits) {
    hits.clear();
    const std::int64_t base = std::int64_t(track.sectors.start) * kSectorSamples;
    const std::int64_t samples =
        std::int64_t(track.sectors.end - track.sectors.start) * kSectorSamples;

    if (samples >= (kOffsetSector + 1) * kSectorSamples && !targets.sector450s.empty()) {
        std::vector<int> candidates;
        const bool read = Slide(audio, base + kOffsetSector * kSectorSamples, 1, kSectorSamples,
                                [&](int k, std::uint32_t v) {
                                    if (k != 0 && Contains(targets.sector450s, v))
                                        candidates.push_back(k);
                                });
        if (!read)
            return false;
        if (candidates.size() <= kMaxCandidates) {
            // Offsets other tracks met first, then the nearest.
            std::stable_sort(candidates.begin(), candidates.end(), [&](int a, int b) {
                const bool ha = std::find(hints.begin(), hints.end(), a) != hints.end();
                const bool hb = std::find(hints.begin(), hints.end(), b) != hints.end();
                return ha != hb ? ha : std::abs(a) < std::abs(b);
            });
            return MatchAtOffsets(audio, track, targets, candidates, hits);
        }
    }
    if (!MatchAtOffsets(audio, track, targets, hints, hits))
        return false;
    if (!hits.empty())
        return true;
    // The slide sees v1 only: each offset it finds gets a full pass, which
    // also tells whether a v2 entry is met there.
    const ArWindow w = ArWindowOf(track.place, samples);
    std::vector<int> found;
    const bool read = Slide(audio, base, w.from, w.to, [&](int k, std::uint32_t v1) {
        if (k != 0 && Contains(targets.crcs, v1) &&
            std::find(hints.begin(), hints.end(), k) == hints.end())
            found.push_back(k);
    });
    if (!read)
        return false;
    for (const int k : found) {
        std::vector<OffsetHit> at;
        if (!MatchAtOffsets(audio, track, targets, {k}, at))
            return false;
        hits.insert(hits.end(), at.begin(), at.end());
    }
    return true;
}

} // namespace verify
