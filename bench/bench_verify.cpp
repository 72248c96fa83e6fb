// Checking a rip of a 20-minute disc (15 tracks of the disc maker's audio,
// kept in memory): the checksums of every track (CRC32, CRC32 without nulls,
// AccurateRip v1, v2 and sector 450) fed in the engine's 26-sector blocks,
// and a verify at offset 0, against finding the offset of a rip made +667
// samples off over the full -2940..+2940 range, narrowed by sector 450 and by
// the v1 slide alone. Side by side in the same run: accuraterip-checksum (v1
// and v2) and Python's zlib.crc32 on each track's WAV file. Each figure is the
// best of three rounds; the files are read from the page cache.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "DiscMaker.h"
#include "TestSupport.h"
#include "verify/ArVerify.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t kDiscSectors = 90000; // 20 minutes
constexpr int kTracks = 15;
constexpr int kRounds = 3;
constexpr int kShift = 667;
constexpr std::int32_t kBlock = 26;

double Best(const std::function<void()>& run) {
    double best = 1e30;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

struct Disc {
    discmaker::DiscPlan plan;
    verify::DiscToc toc;
    verify::DiscIds ids;
    std::string audio; // the whole disc's PCM

    Disc() {
        for (int i = 0; i < kTracks; ++i)
            plan.trackSectors.push_back(kDiscSectors / kTracks);
        plan.seed = 5;
        toc.last = kTracks;
        for (int i = 0; i < kTracks; ++i)
            toc.tracks.push_back({i + 1, discmaker::TrackStart(plan, i), true, {}});
        toc.leadout = discmaker::TotalSectors(plan);
        std::string error;
        ids = *verify::ComputeDiscIds(toc, error);
        audio.resize(std::size_t(toc.leadout) * discmaker::kSectorBytes);
        for (std::int32_t s = 0; s < toc.leadout; ++s)
            discmaker::FillSector(plan, s,
                                  reinterpret_cast<unsigned char*>(audio.data()) +
                                      std::size_t(s) * discmaker::kSectorBytes);
    }
    verify::SectorRange Track(int t) const { return *verify::AudioTrackSectors(toc, t); }
};

// The checksums of every track of pcm (laid out like the disc), fed as the
// engine reads.
std::map<int, verify::ChecksumResult> SumAll(const Disc& disc, const std::string& pcm) {
    std::map<int, verify::ChecksumResult> sums;
    for (int t = 1; t <= kTracks; ++t) {
        const verify::SectorRange r = disc.Track(t);
        verify::TrackChecksums c(verify::PlaceOf(disc.toc, t),
                                 std::uint64_t(r.end - r.start) * verify::kSectorSamples);
        for (std::int32_t s = r.start; s < r.end; s += kBlock) {
            const std::int32_t n = std::min(kBlock, r.end - s);
            c.Feed(reinterpret_cast<const unsigned char*>(pcm.data()) +
                       std::size_t(s) * verify::kSectorBytes,
                   std::size_t(n) * verify::kSectorBytes);
        }
        sums[t] = c.Result();
    }
    return sums;
}

} // namespace

int main() {
    const Disc disc;
    const double seconds = double(kDiscSectors) / 75;
    std::printf("disc: %d tracks, %.0f minutes, %.0f MB of PCM\n", kTracks, seconds / 60,
                double(disc.audio.size()) / 1e6);

    std::map<int, verify::ChecksumResult> truth;
    const double sums = Best([&] { truth = SumAll(disc, disc.audio); });

    // The database holds the true sums, as v1 and v2 entries.
    std::vector<verify::ArEntry> entries(2);
    for (int v = 0; v < 2; ++v) {
        entries[std::size_t(v)] = {disc.ids.arId1, disc.ids.arId2, disc.ids.arCddb, {}};
        for (const auto& [t, r] : truth)
            entries[std::size_t(v)].tracks.push_back(
                {v == 0 ? 3 : 5, v == 0 ? r.arV1 : r.arV2, r.arSector450});
    }

    // Verify at offset 0: the checksums as extraction takes them, then the
    // verdicts.
    const double verify0 = Best([&] {
        const auto got = SumAll(disc, disc.audio);
        const verify::DiscVerdict v = verify::VerifyDisc(disc.toc, disc.ids, entries, got);
        if (!v.AllAccurate())
            throw std::runtime_error("the true audio does not verify");
    });

    // A rip made kShift samples off: its checksums, then the offset search,
    // which reads the rip back through a sector reader.
    std::string rip(disc.audio.size(), '\0');
    std::memcpy(rip.data() + kShift * 4, disc.audio.data(), rip.size() - kShift * 4);
    std::int64_t sectorsRead = 0;
    auto reader = [&](std::int32_t first, std::int32_t count, unsigned char* out) {
        sectorsRead += count;
        std::memcpy(out, rip.data() + std::size_t(first) * verify::kSectorBytes,
                    std::size_t(count) * verify::kSectorBytes);
        return true;
    };
    const auto ripSums = SumAll(disc, rip);
    const double search = Best([&] {
        sectorsRead = 0;
        verify::DiscAudio audio(reader, disc.toc);
        const verify::DiscVerdict v =
            verify::VerifyDisc(disc.toc, disc.ids, entries, ripSums, &audio);
        if (!v.ripOffset || *v.ripOffset != kShift)
            throw std::runtime_error("the offset was not found");
    });
    const double searchPasses = double(sectorsRead) / kDiscSectors;

    // The v1 slide alone, as for tracks too short for sector 450.
    const double slide = Best([&] {
        sectorsRead = 0;
        verify::DiscAudio audio(reader, disc.toc);
        for (int t = 1; t <= kTracks; ++t) {
            verify::SearchTargets targets;
            targets.crcs = {truth.at(t).arV1};
            std::vector<verify::OffsetHit> hits;
            if (!verify::FindOffsets(audio, {disc.Track(t), verify::PlaceOf(disc.toc, t)}, targets,
                                     {}, hits) ||
                hits.empty() || hits[0].offset != kShift)
                throw std::runtime_error("the slide did not find the offset");
        }
    });
    const double slidePasses = double(sectorsRead) / kDiscSectors;

    // The tools, on one WAV file per track.
    testsupport::TempFolder folder;
    for (int t = 1; t <= kTracks; ++t) {
        const verify::SectorRange r = disc.Track(t);
        const auto bytes = std::uint32_t(r.end - r.start) * verify::kSectorBytes;
        std::string h("RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0"
                      "data....",
                      44);
        for (std::size_t i = 0; i < 4; ++i)
            h[4 + i] = char((bytes + 36) >> 8 * i), h[40 + i] = char(bytes >> 8 * i);
        std::ofstream out(folder.file(std::to_string(t) + ".wav"), std::ios::binary);
        out << h;
        out.write(disc.audio.data() + std::size_t(r.start) * verify::kSectorBytes, bytes);
    }
    std::string arV1, arV2, crc;
    for (int t = 1; t <= kTracks; ++t) {
        const std::string wav = folder.file(std::to_string(t) + ".wav");
        const std::string args = wav + " " + std::to_string(t) + " " + std::to_string(kTracks);
        arV1 += "accuraterip-checksum --accuraterip-v1 " + args + " >/dev/null && ";
        arV2 += "accuraterip-checksum " + args + " >/dev/null && ";
    }
    arV1 += "true";
    arV2 += "true";
    crc = "python3 -c 'import sys, zlib\nfor f in sys.argv[1:]: zlib.crc32(open(f, "
          "\"rb\").read())' " +
          folder.path() + "/*.wav";
    const double toolV1 = Best([&] { Shell(arV1); });
    const double toolV2 = Best([&] { Shell(arV2); });
    const double toolCrc = Best([&] { Shell(crc); });

    std::printf("\n%-52s %8s %12s\n", "", "seconds", "x real time");
    auto row = [&](const char* what, double s) {
        std::printf("%-52s %8.3f %12.0f\n", what, s, seconds / s);
    };
    row("checksums of every track (all five sums)", sums);
    row("verify at offset 0 (checksums + verdicts)", verify0);
    row("offset search, +667 found via sector 450", search);
    row("offset search, +667 found by the v1 slide alone", slide);
    row("accuraterip-checksum v1, per track WAV", toolV1);
    row("accuraterip-checksum v2, per track WAV", toolV2);
    row("python3 zlib.crc32, per track WAV", toolCrc);
    row("the three tools together", toolV1 + toolV2 + toolCrc);
    std::printf("\noffset search / verify at 0: %.2f (sector 450), %.2f (v1 slide)\n",
                search / verify0, slide / verify0);
    std::printf("sectors read by the search: %.2f passes (sector 450), %.2f (v1 slide)\n",
                searchPasses, slidePasses);
    return 0;
}
