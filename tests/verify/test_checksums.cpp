// Track checksums against accuraterip-checksum and Python's zlib, fed in
// blocks of every size, at every place on the disc, and sector 450's.
// (Riding along real extractions, through the encoders of every format:
// test_dorvaneRip.)

#include "TestSupport.h"
#include "VerifyTestSupport.h"
#include "verify/Checksums.h"

namespace {

using namespace verifytest;

enum class Audio { Music, Sparse, Loud };

// Music from the disc maker; Sparse the same with every third 16-bit sample
// and two whole sectors made zero; Loud near full scale in both channels, so
// the products' upper words (v2) are large.
std::string MakeAudio(Audio kind, std::int32_t sectors, std::uint32_t seed) {
    const discmaker::DiscPlan plan{{sectors + 10}, seed, false};
    std::string pcm = DiscAudioBytes(plan, 5, 5 + sectors);
    if (kind == Audio::Sparse) {
        for (std::size_t i = 0; i + 1 < pcm.size(); i += 6)
            pcm[i] = pcm[i + 1] = 0;
        std::fill(pcm.begin() + 2 * 2352, pcm.begin() + 4 * 2352, '\0');
    } else if (kind == Audio::Loud) {
        for (std::size_t i = 1; i < pcm.size(); i += 2)
            pcm[i] = char(pcm[i] | 0x80);
    }
    return pcm;
}

TEST(TrackChecksums, MatchTheIndependentToolsWhereverTheTrackLiesAndHoweverItIsFed) {
    const struct {
        const char* name;
        std::int32_t sectors;
        int track, total; // as accuraterip-checksum takes them
        std::size_t chunk;
        Audio audio;
    } cases[] = {
        {"middle, engine blocks", 40, 2, 3, 26 * 2352, Audio::Music},
        {"first, odd blocks", 40, 1, 3, 1000, Audio::Music},
        {"last, tiny blocks", 40, 3, 3, 7, Audio::Music},
        {"only track", 30, 1, 1, 2352, Audio::Music},
        {"zero samples", 30, 2, 3, 4093, Audio::Sparse},
        {"zero samples, first", 30, 1, 2, 1, Audio::Sparse},
        {"full scale", 30, 2, 3, 2352 * 3, Audio::Loud},
        {"full scale, last", 25, 4, 4, 99999, Audio::Loud},
        {"shorter than both edges", 9, 1, 1, 2352, Audio::Music},
        {"one sector, middle", 1, 5, 9, 3, Audio::Loud},
        {"first, with a sector 450", 455, 1, 3, 26 * 2352, Audio::Music},
        {"middle, with a sector 450", 455, 2, 3, 5000, Audio::Music},
        {"ends at its sector 449", 450, 2, 3, 2352, Audio::Music},
    };
    testsupport::TempFolder folder;
    std::uint32_t seed = 11;
    for (const auto& c : cases) {
        const std::string pcm = MakeAudio(c.audio, c.sectors, seed++);
        verify::TrackChecksums sums({c.track == 1, c.track == c.total}, pcm.size() / 4);
        for (std::size_t at = 0; at < pcm.size(); at += c.chunk)
            sums.Feed(Bytes(pcm) + at, std::min(c.chunk, pcm.size() - at));
        const verify::ChecksumResult r = sums.Result();
        const std::string wav = folder.file("track" + std::to_string(seed) + ".wav");
        WriteFile(wav, WavFile(pcm));
        EXPECT_TRUE(r.Complete()) << c.name;
        EXPECT_EQ(r.arV1, ToolArSum(wav, c.track, c.total, true)) << c.name;
        EXPECT_EQ(r.arV2, ToolArSum(wav, c.track, c.total, false)) << c.name;
        EXPECT_EQ(r.crc32, ToolCrc(wav, 44, false)) << c.name;
        EXPECT_EQ(r.crc32NoNulls, ToolCrc(wav, 44, true)) << c.name;
        EXPECT_TRUE(c.audio != Audio::Sparse || r.crc32NoNulls != r.crc32) << c.name;
        // Sector 450's sum is a v1 sum over that one sector, counted from 1,
        // as a track with no edges left out: the tool gives it for a WAV of
        // that sector alone as a middle track.
        ASSERT_EQ(r.hasSector450, c.sectors > 450) << c.name;
        if (r.hasSector450) {
            WriteFile(wav, WavFile(pcm.substr(450 * 2352, 2352)));
            EXPECT_EQ(r.arSector450, ToolArSum(wav, 2, 3, true)) << c.name;
        }
    }
}

} // namespace
