// Disc ids against python3-libdiscid, and against the AccurateRip ids the
// database's own client computed for an Enhanced CD and a mixed-mode CD.

#include "VerifyTestSupport.h"
#include "verify/DiscToc.h"

namespace {

using namespace verifytest;

// A table from the starts of its tracks, and the number of its data track.
verify::DiscToc Toc(int first, std::vector<std::int32_t> starts, std::int32_t leadout,
                    int data = 0) {
    verify::DiscToc toc{first, first + int(starts.size()) - 1, {}, leadout};
    for (std::size_t i = 0; i < starts.size(); ++i)
        toc.tracks.push_back({first + int(i), starts[i], first + int(i) != data, {}});
    return toc;
}

// "Liquid" (Recoil): ten audio tracks, then a data track in a second session.
verify::DiscToc Enhanced() {
    return Toc(1, {0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 281585},
               333651, 11);
}

// "Mortal Kombat Trilogy": a data track 1, then 28 audio tracks.
verify::DiscToc MixedMode() {
    std::vector<std::int32_t> lba = {150,    66728,  76502,  85963,  93760,  104048, 116066, 124743,
                                     134206, 142916, 151852, 160720, 169425, 178731, 188459, 196711,
                                     206354, 214845, 223686, 225746, 226384, 232668, 239447, 239931,
                                     244989, 254264, 260066, 261222, 261674};
    for (auto& s : lba)
        s -= 150;
    return Toc(1, lba, 261976 - 150, 1);
}

// (Ids from a real image's table, through the drive's record: test_dorvaneRip.)
// Each table's MusicBrainz and freedb ids as python3-libdiscid gives them
// (an Enhanced CD's audio session only, ending 11,400 sectors before its
// data), and the AccurateRip ids the database's client computed for the
// real discs.
TEST(DiscIds, MatchLibdiscidAndPublishedValues) {
    std::vector<std::int32_t> many;
    for (int i = 0; i < 99; ++i)
        many.push_back(i * 3000 + (i % 7) * 11);
    const struct {
        const char* name;
        verify::DiscToc toc;
        int last;                     // the last track python is given
        std::int32_t sectors;         // and the lead-out it is given (table numbering)
        std::string accurateRip = {}; // and its file; empty: not published
        const char* fileName = "";
    } cases[] = {
        {"Enhanced CD", Enhanced(), 10, 281585 - 11400, "010-00164419-00b9f6e2-9e11600b",
         "9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin"},
        {"mixed mode", MixedMode(), 29, 261826, "028-00517a54-05a845d2-af0da31d",
         "4/5/a/dBAR-028-00517a54-05a845d2-af0da31d.bin"},
        {"audio only", Toc(1, {0, 11413, 25024, 45713}, 55220), 4, 55220,
         "004-0002189a-00087f33-1f02e004", "a/9/8/dBAR-004-0002189a-00087f33-1f02e004.bin"},
        {"hidden track", Toc(1, {183, 20000, 41000}, 60111), 3, 60111},
        {"99 tracks", Toc(1, many, 99 * 3000 + 5000), 99, 99 * 3000 + 5000},
        {"first track 3", Toc(3, {0, 15000, 30000}, 45000), 5, 45000},
    };
    for (const auto& c : cases) {
        // The binding takes its list from track 1 on, whatever the first.
        std::string offsets;
        for (int n = 1; n < c.toc.first; ++n)
            offsets += "0,";
        for (const auto& t : c.toc.tracks)
            if (t.number <= c.last)
                offsets += std::to_string(t.start + 150) + ",";
        offsets.pop_back();
        const std::string expected =
            Python("import sys, libdiscid\n"
                   "d = libdiscid.put(int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]),\n"
                   "                  [int(x) for x in sys.argv[4].split(',')])\n"
                   "print(d.id, d.freedb_id)\n",
                   {std::to_string(c.toc.first), std::to_string(c.last),
                    std::to_string(c.sectors + 150), offsets});
        std::string error;
        const auto ids = verify::ComputeDiscIds(c.toc, error);
        ASSERT_TRUE(ids) << c.name << ": " << error;
        EXPECT_EQ(ids->musicBrainz + " " + ids->freedb, expected) << c.name;
        // The audio python is given is the audio tracks', first to last.
        const auto first = std::find_if(c.toc.tracks.begin(), c.toc.tracks.end(),
                                        [](const verify::TocTrack& t) { return t.audio; });
        EXPECT_TRUE(verify::PlaceOf(c.toc, first->number).firstAudio) << c.name;
        EXPECT_TRUE(verify::PlaceOf(c.toc, c.last).lastAudio) << c.name;
        const auto last = verify::AudioTrackSectors(c.toc, c.last);
        ASSERT_TRUE(last) << c.name;
        EXPECT_EQ(last->start, c.toc.tracks[std::size_t(c.last - c.toc.first)].start) << c.name;
        EXPECT_EQ(last->end, c.sectors) << c.name;
        EXPECT_FALSE(verify::AudioTrackSectors(c.toc, c.last + 1)) << c.name;
        if (!c.accurateRip.empty()) {
            EXPECT_EQ(ids->ArText(), c.accurateRip) << c.name;
            EXPECT_EQ(ids->arFileName, c.fileName) << c.name;
        }
    }
}

TEST(DiscIds, TablesThatCannotBeADiscAreRefused) {
    const struct {
        const char* name;
        verify::DiscToc toc;
        const char* says;
    } cases[] = {
        {"no track", Toc(1, {}, 100), "no track"},
        {"starts fall", Toc(1, {0, 500, 400}, 900), "track 3 does not start after track 2"},
        {"lead-out inside", Toc(1, {0, 500}, 500), "lead-out"},
        {"data only", Toc(1, {0}, 5000, 1), "no audio track"},
        {"numbers skip",
         {1, 2, {{1, 0, true, {}}, {3, 500, true, {}}}, 900},
         "entry 2 is track 3, not 2"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(verify::ComputeDiscIds(c.toc, error)) << c.name;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
    }
}

} // namespace
