// FLAC files written through an output whose disk fills up, read back with
// the flac and metaflac commands.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "OutputFixture.h"
#include "TestSupport.h"
#include "output/FlacEncoder.h"

namespace {

using namespace outputtest;

// A disk that fills up in the middle of a track, or just before its end,
// leaves the frames written whole before it, and STREAMINFO states exactly
// their samples and MD5: the file passes flac -t (warnings count) and decodes
// to the track's first samples. One too full for the metadata leaves nothing,
// and Begin says so. End says the track failed, with no fault of the
// encoder's own; with room to spare the file is the whole track.
TEST(FlacEncoder, AFullDiskLeavesWholeFramesThatStateWhatTheyHold) {
    const testsupport::TempFolder folder;
    const std::string file = folder.file("t.flac");
    const std::string pcm = Audio(600);
    const auto encode = [&](std::uint64_t room) {
        const auto encoder = ripengine::MakeFlacEncoder({QStringLiteral("t"), {}, {}, 1, 1});
        const Encoded r = Encode(*encoder, file, room, pcm);
        EXPECT_TRUE(encoder->FaultText().isEmpty()) << encoder->FaultText().toStdString();
        return r;
    };
    const std::uint64_t whole = encode(std::uint64_t(1) << 32).bytes.size();
    for (const std::uint64_t room :
         {std::uint64_t(100), std::uint64_t(300000), std::uint64_t(600000), whole - 1, whole}) {
        SCOPED_TRACE(room);
        const Encoded r = encode(room);
        EXPECT_EQ(std::pair(r.begun, r.ended), std::pair(room != 100, room == whole));
        if (!r.begun) {
            EXPECT_EQ(r.bytes, "");
            continue;
        }
        EXPECT_EQ(std::system(("flac -t -s -w '" + file + "'").c_str()), 0);
        const std::string decoded =
            Command("flac -d -s -c --force-raw-format --endian=little --sign=signed '" + file +
                    "' 2>/dev/null");
        const std::string stated = Command("metaflac --show-total-samples '" + file + "'");
        EXPECT_EQ(stated, std::to_string(decoded.size() / 4) + "\n");
        EXPECT_TRUE(decoded == pcm.substr(0, decoded.size()) && !decoded.empty() &&
                    (decoded.size() == pcm.size()) == r.ended)
            << decoded.size();
    }
}

// The seek table's lines as metaflac lists them.
std::vector<std::string> SeekTable(const std::string& file) {
    std::istringstream listed(Command("metaflac --list --block-type=SEEKTABLE '" + file + "'"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(listed, line);)
        lines.push_back(line);
    return lines;
}

// The seek table is the one flac -5 writes for the audio the file holds: a point every ten
// seconds, at the same frames. A track that ended early, or that a full disk cut short, has
// placeholders where its frames are missing.
TEST(FlacEncoder, TheSeekTableIsTheFlacCommands) {
    const testsupport::TempFolder folder;
    const std::string ours = folder.file("t.flac"), raw = folder.file("held.raw"),
                      theirs = folder.file("flac.flac");
    constexpr int kSectors = 1875; // 25 seconds: points at 0, 10 and 20
    const std::string pcm = Audio(kSectors);
    // The sectors given to the encoder, and the room on the disk.
    const std::pair<int, std::uint64_t> cases[] = {
        {kSectors, std::uint64_t(1) << 32}, {1000, std::uint64_t(1) << 32}, {kSectors, 1500000}};
    for (const auto& [sectors, room] : cases) {
        SCOPED_TRACE(std::to_string(sectors) + " sectors, room for " + std::to_string(room));
        Encode(*ripengine::MakeFlacEncoder({QStringLiteral("t"), {}, {}, 1, 1}), ours, room, pcm,
               sectors);
        std::ofstream(raw, std::ios::binary)
            << Command("flac -d -s -c --force-raw-format --endian=little --sign=signed '" + ours +
                       "' 2>/dev/null");
        ASSERT_EQ(std::system(("flac -5 -s -f --force-raw-format --endian=little --sign=signed "
                               "--channels=2 --bps=16 --sample-rate=44100 -o '" +
                               theirs + "' '" + raw + "'")
                                  .c_str()),
                  0);
        std::vector<std::string> expected = SeekTable(theirs), table = SeekTable(ours);
        ASSERT_GE(expected.size(), 6u);
        if (sectors == kSectors && room > pcm.size()) {
            EXPECT_EQ(table, expected);
            continue;
        }
        // The points alone: past the frames held, the flac command has none, ours placeholders.
        table.erase(table.begin(), table.begin() + 5);
        expected.erase(expected.begin(), expected.begin() + 5);
        EXPECT_EQ(expected.size(), 2u) << "the file holds 10 to 20 seconds";
        ASSERT_EQ(table.size(), 3u);
        EXPECT_EQ(table.back(), "    point 2: PLACEHOLDER");
        table.pop_back();
        EXPECT_EQ(table, expected);
        EXPECT_EQ(std::system(("flac -t -s -w '" + ours + "'").c_str()), 0);
    }
}

} // namespace
