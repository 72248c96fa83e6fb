// FLAC files written through an output whose disk fills up, read back with
// the flac and metaflac commands.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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
    constexpr int kSectors = 600;
    const std::string pcm = Audio(kSectors);
    struct Result {
        bool begun = false, ended = false;
        std::string bytes;
    };
    const auto encode = [&](std::uint64_t room) {
        Result r;
        FullDiskOutput out(file, room);
        auto encoder = ripengine::MakeFlacEncoder({QStringLiteral("t"), {}, {}, 1, 1});
        r.begun = encoder->Begin(out, pcm.size());
        const auto* audio = reinterpret_cast<const unsigned char*>(pcm.data());
        for (int s = 0, ok = r.begun; ok && s < kSectors; s += 26)
            ok = encoder->Encode(out, audio + s * 2352, std::min(26, kSectors - s));
        r.ended = encoder->End(out, pcm.size());
        EXPECT_TRUE(encoder->FaultText().isEmpty()) << encoder->FaultText().toStdString();
        r.bytes = ReadAll(file);
        return r;
    };
    const std::uint64_t whole = encode(std::uint64_t(1) << 32).bytes.size();
    for (const std::uint64_t room :
         {std::uint64_t(100), std::uint64_t(300000), std::uint64_t(600000), whole - 1, whole}) {
        SCOPED_TRACE(room);
        const Result r = encode(room);
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

} // namespace
