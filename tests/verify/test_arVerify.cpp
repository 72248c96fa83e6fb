// AccurateRip answers read strictly, verdicts drawn from them, and rips made
// at another offset found: the database's sums come from accuraterip-checksum
// on WAV files of the true audio, the rip is that audio shifted.

#include "TestSupport.h"
#include "VerifyTestSupport.h"
#include "verify/ArVerify.h"

namespace {

using namespace verifytest;

// (The layout itself: test_ripVerify writes answers byte by byte.)
TEST(ArResponse, RefusesWhatIsNotAWholeAnswerInOneLine) {
    const std::string one =
        verify::FormatArResponse({{1, 2, 3, std::vector<verify::ArTrackEntry>(3, {1, 2, 3})}});
    const struct {
        const char* name;
        std::string bytes;
        const char* says;
    } cases[] = {
        {"empty", "", "the answer is empty"},
        {"head cut", one.substr(0, 10), "ends inside the head of entry 1 (10 of 13 bytes)"},
        {"tracks cut", one.substr(0, one.size() - 1), "ends inside entry 1, which claims 3 tracks"},
        {"second entry cut", one + one.substr(0, 20), "ends inside entry 2"},
        {"no tracks", std::string(13, '\0'), "entry 1 claims 0 tracks"},
        {"too many tracks", std::string(1, char(100)) + std::string(12 + 900, '\0'),
         "claims 100 tracks"},
        {"over 1 MB", std::string(verify::kMaxResponseBytes + 1, '\x01'), "more than the 1 MB"},
    };
    for (const auto& c : cases) {
        const verify::ArResponse r = verify::ParseArResponse(c.bytes);
        EXPECT_TRUE(r.entries.empty()) << c.name;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << c.name << ": " << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << c.name;
    }
}

// A disc of two tracks whose checksums are made up; its ids are those the
// entries must carry.
struct SmallDisc {
    verify::DiscToc toc{1, 2, {{1, 0, true, {}}, {2, 1000, true, {}}}, 2000};
    verify::DiscIds ids = [this] {
        std::string error;
        return *verify::ComputeDiscIds(toc, error);
    }();
    verify::ArEntry Entry(std::vector<verify::ArTrackEntry> tracks) const {
        return {ids.arId1, ids.arId2, ids.arCddb, std::move(tracks)};
    }
    static verify::ChecksumResult Sums(std::uint32_t v1, std::uint32_t v2, bool whole = true) {
        verify::ChecksumResult r;
        r.arV1 = v1, r.arV2 = v2, r.expected = 588000, r.samples = whole ? 588000 : 5;
        return r;
    }
};

TEST(ArVerify, VerdictsAsRead) {
    const SmallDisc disc;
    using Sums = std::map<int, verify::ChecksumResult>;
    const Sums both = {{1, SmallDisc::Sums(0x11, 0x12)}, {2, SmallDisc::Sums(0x21, 0x22)}},
               partly = {{1, SmallDisc::Sums(0x11, 0x12, false)}, {2, SmallDisc::Sums(0x21, 0x22)}},
               second = {{2, SmallDisc::Sums(0x21, 0x22)}};
    using Entries = std::vector<verify::ArEntry>;
    const Entries v1AndV2 = {disc.Entry({{3, 0x11, 0}, {5, 0x99, 0}}),
                             disc.Entry({{9, 0x12, 0}, {2, 0x21, 0}})},
                  another = {disc.Entry({{3, 0x11, 0}, {4, 0x22, 0}}),
                             {disc.ids.arId1 + 1,
                              disc.ids.arId2,
                              disc.ids.arCddb,
                              {{50, 0x11, 0}, {50, 0x22, 0}}}},
                  unsure = {disc.Entry({{0, 0x11, 0}, {6, 0x77, 0}}),
                            disc.Entry({{0, 0x11, 0}, {1, 0x78, 0}})},
                  one = {disc.Entry({{3, 0x11, 0}, {4, 0x21, 0}})}, none;
    const struct {
        const char* name;
        const Entries& entries;
        const Sums& sums;
        std::string texts; // the tracks', "|" between
        std::string summary;
        std::string note = {};
    } cases[] = {
        {"v1 and v2 entries, the most confident wins", v1AndV2, both,
         "accurate (confidence 9, v2)|accurate (confidence 2, v1)", "2 of 2 tracks accurate"},
        {"another disc's entry is ignored", another, both,
         "accurate (confidence 3, v1)|accurate (confidence 4, v2)", "2 of 2 tracks accurate",
         "1 entry of the answer is for another disc and was ignored"},
        {"no confidence, no entry", unsure, both, "not in the database|not accurate (2 entries)",
         "0 of 2 tracks accurate"},
        {"a track not ripped whole", one, partly, "not checked|accurate (confidence 4, v1)",
         "1 of 2 tracks accurate"},
        {"not in the database", none, both, "not in the database|not in the database",
         "disc not in the database"},
        // A track that was not ripped is no part of the verdict.
        {"one track ripped", v1AndV2, second, "accurate (confidence 2, v1)",
         "1 of 1 track accurate"},
    };
    for (const auto& c : cases) {
        const verify::DiscVerdict v = verify::VerifyDisc(disc.toc, disc.ids, c.entries, c.sums);
        std::string texts;
        for (const verify::TrackVerdict& t : v.tracks) {
            texts += (texts.empty() ? "" : "|") + t.Text();
            EXPECT_EQ(t.status == verify::TrackVerdict::Status::Accurate,
                      t.Text().starts_with("accurate"))
                << c.name;
        }
        EXPECT_EQ(texts, c.texts) << c.name;
        EXPECT_EQ(v.Summary(), c.summary) << c.name;
        EXPECT_EQ(v.AllAccurate(), c.texts.find("not") == std::string::npos) << c.name;
        EXPECT_FALSE(v.ripOffset) << c.name;
        EXPECT_EQ(v.notes, c.note.empty() ? std::vector<std::string>{} : std::vector{c.note})
            << c.name;
        EXPECT_EQ(v.entriesIgnored, c.note.empty() ? 0 : 1) << c.name;
    }
}

// Five tracks: short first and fourth tracks (no sector 450), long ones
// between. The database holds the sums accuraterip-checksum gives for WAV
// files of the true audio; the rip is that audio `shift` samples later (zero
// where it runs past the disc's audio).
class OffsetDisc {
  public:
    OffsetDisc() : plan_{{40, 470, 455, 30, 480}, 31, false} {
        for (std::size_t i = 0; i < plan_.trackSectors.size(); ++i)
            toc_.tracks.push_back({int(i) + 1, discmaker::TrackStart(plan_, int(i)), true, {}});
        toc_.last = int(plan_.trackSectors.size());
        toc_.leadout = discmaker::TotalSectors(plan_);
        truth_ = DiscAudioBytes(plan_, 0, toc_.leadout);
        // Track 3's sector 450 and its neighbours are quiet, so that sector
        // matches at every offset and tells nothing.
        const std::size_t quiet = std::size_t(toc_.tracks[2].start + 444) * 2352;
        std::fill(truth_.begin() + std::ptrdiff_t(quiet),
                  truth_.begin() + std::ptrdiff_t(quiet + 13 * 2352), '\0');
        std::string error;
        ids_ = *verify::ComputeDiscIds(toc_, error);
        v1_ = {ids_.arId1, ids_.arId2, ids_.arCddb, {}};
        v2_ = v1_;
        const std::string wav = folder_.file("t.wav"), sector = folder_.file("s.wav");
        for (int t = 1; t <= toc_.last; ++t) {
            const std::string pcm = Track(truth_, t);
            WriteFile(wav, WavFile(pcm));
            std::uint32_t sector450 = 0;
            if (pcm.size() > 451 * 2352) {
                WriteFile(sector, WavFile(pcm.substr(450 * 2352, 2352)));
                sector450 = ToolArSum(sector, 2, 3, true);
            }
            v1_.tracks.push_back({2, ToolArSum(wav, t, toc_.last, true), sector450});
            v2_.tracks.push_back({4, ToolArSum(wav, t, toc_.last, false), sector450});
        }
    }

    // Entries of the true sums: v1 ones, v2 ones or both.
    std::vector<verify::ArEntry> Entries(bool v1, bool v2) const {
        std::vector<verify::ArEntry> entries;
        if (v1)
            entries.push_back(v1_);
        if (v2)
            entries.push_back(v2_);
        return entries;
    }

    // The rip's audio: the truth `shift` samples later, with one sample of
    // track `damaged` changed.
    std::string Rip(int shift, int damaged) const {
        std::string rip(truth_.size(), '\0');
        const auto bytes = std::ptrdiff_t(shift) * 4;
        for (std::ptrdiff_t i = 0; i < std::ptrdiff_t(rip.size()); ++i)
            if (i - bytes >= 0 && i - bytes < std::ptrdiff_t(truth_.size()))
                rip[std::size_t(i)] = truth_[std::size_t(i - bytes)];
        if (damaged > 0)
            rip[std::size_t(toc_.tracks[std::size_t(damaged - 1)].start + 20) * 2352 + 1] ^= 0x10;
        return rip;
    }

    // Reads from sector failFrom on fail.
    verify::DiscVerdict Verify(const std::string& rip, const std::vector<verify::ArEntry>& entries,
                               int& reads, std::int32_t failFrom = 1 << 30) const {
        // What the extraction would have summed as it read the rip.
        std::map<int, verify::ChecksumResult> sums;
        for (int t = 1; t <= toc_.last; ++t) {
            const std::string pcm = Track(rip, t);
            verify::TrackChecksums c(verify::PlaceOf(toc_, t), pcm.size() / 4);
            c.Feed(Bytes(pcm), pcm.size());
            sums[t] = c.Result();
        }
        verify::DiscAudio audio(
            [&](std::int32_t first, std::int32_t count, unsigned char* out) {
                EXPECT_GE(first, 0);
                EXPECT_LE(first + count, toc_.leadout);
                reads += count;
                if (first + count > failFrom)
                    return false;
                std::copy_n(rip.begin() + std::ptrdiff_t(first) * 2352, std::size_t(count) * 2352,
                            out);
                return true;
            },
            toc_);
        return verify::VerifyDisc(toc_, ids_, entries, sums, &audio);
    }

    std::int32_t Sectors() const { return toc_.leadout; }

  private:
    std::string Track(const std::string& audio, int t) const {
        const auto start = std::size_t(toc_.tracks[std::size_t(t - 1)].start) * 2352;
        const auto end =
            std::size_t(t == toc_.last ? toc_.leadout : toc_.tracks[std::size_t(t)].start) * 2352;
        return audio.substr(start, end - start);
    }

    testsupport::TempFolder folder_;
    discmaker::DiscPlan plan_;
    verify::DiscToc toc_;
    verify::DiscIds ids_;
    std::string truth_;
    verify::ArEntry v1_, v2_; // of the true sums
};

constexpr int kNot = 1 << 30;

// (A rip that cannot be read from sector 300 on keeps the verdicts of the
// tracks before, and says so once.)
TEST(ArVerify, FindsTheOffsetARipWasMadeAt) {
    const OffsetDisc disc;
    const std::string kUnread = "offsets were not searched from track 2 on: cannot read sectors ";
    const struct {
        const char* name;
        int shift;
        bool v1, v2;
        int damaged;
        std::vector<int> offsets; // each track's, or kNot where it is not accurate
        std::optional<int> ripOffset = {};
        std::int32_t failFrom = kNot;
        std::string note = {}; // how the only note starts
    } cases[] = {
        {"as read", 0, true, true, 0, {0, 0, 0, 0, 0}},
        {"a few samples late", 6, true, false, 0, {6, 6, 6, 6, 6}, 6},
        {"early, v2 sums only", -1234, false, true, 0, {-1234, -1234, -1234, -1234, -1234}, -1234},
        {"the furthest late", 2940, true, false, 0, {2940, 2940, 2940, 2940, 2940}, 2940},
        {"the furthest early", -2939, false, true, 0, {-2939, -2939, -2939, -2939, -2939}, -2939},
        // The first track's window starts at its sample 2940, never read.
        {"too early for track 1", -2940, true, true, 0, {kNot, -2940, -2940, -2940, -2940}},
        {"past the search", 2941, true, true, 0, {kNot, kNot, kNot, kNot, kNot}},
        {"one track damaged", 6, true, true, 2, {6, kNot, 6, 6, 6}},
        {"a whole sector", 588, true, false, 0, {588, 588, 588, 588, 588}, 588},
        {"unreadable", 6, true, false, 0, {6, kNot, kNot, kNot, kNot}, {}, 300, kUnread},
    };
    for (const auto& c : cases) {
        int reads = 0;
        const verify::DiscVerdict v =
            disc.Verify(disc.Rip(c.shift, c.damaged), disc.Entries(c.v1, c.v2), reads, c.failFrom);
        ASSERT_EQ(v.tracks.size(), c.offsets.size()) << c.name;
        for (std::size_t i = 0; i < c.offsets.size(); ++i) {
            const auto& t = v.tracks[i];
            if (c.offsets[i] == kNot) {
                EXPECT_EQ(t.status, verify::TrackVerdict::Status::NotAccurate)
                    << c.name << " " << i;
                continue;
            }
            EXPECT_EQ(t.status, verify::TrackVerdict::Status::Accurate) << c.name << " " << i;
            EXPECT_EQ(t.offset, c.offsets[i]) << c.name << " " << i;
            // v2 entries, where there are any, are the more confident.
            EXPECT_EQ(t.v2, c.v2) << c.name << " " << i;
        }
        EXPECT_EQ(v.ripOffset, c.ripOffset) << c.name;
        ASSERT_EQ(v.notes.size(), c.note.empty() ? 0u : 1u) << c.name;
        if (!c.note.empty()) {
            EXPECT_TRUE(v.notes[0].starts_with(c.note)) << v.notes[0];
        }
        // About one more pass over the disc: the passes over each track and
        // the few sectors around them, however far the offset.
        EXPECT_LE(reads, 2 * disc.Sectors() + 400) << c.name;
    }
    int reads = 0;
    const verify::DiscVerdict late = disc.Verify(disc.Rip(6, 0), disc.Entries(true, false), reads);
    EXPECT_EQ(late.tracks[0].Text(), "accurate at offset +6 (confidence 2, v1)");
    EXPECT_EQ(late.Summary(), "rip made +6 samples off: 5 of 5 tracks accurate at offset +6");
}

} // namespace
