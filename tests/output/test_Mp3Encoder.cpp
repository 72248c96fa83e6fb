// MP3 files written through the encoder module into an output whose disk
// fills up.

#include <gtest/gtest.h>

#include <algorithm>

#include "OutputFixture.h"
#include "TestSupport.h"
#include "output/Mp3Encoder.h"
#include "output/TrackTags.h"

namespace {

using namespace outputtest;

lame_enc::BE_CONFIG Config(std::uint32_t kbps) {
    lame_enc::BE_CONFIG c{};
    c.dwConfig = lame_enc::kConfigLame;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof c;
    c.dwSampleRate = 44100;
    c.nMode = lame_enc::kModeJointStereo;
    c.dwBitrate = kbps;
    c.dwMpegVersion = 1;
    c.nVbrMethod = lame_enc::kVbrMethodNone;
    return c;
}

// Where the run of whole frames from `at` on ends, by the lengths their
// headers give (MPEG-1 Layer III at 44100 Hz).
std::size_t WholeFramesEnd(const std::string& mp3, std::size_t at) {
    static constexpr std::size_t kKbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                              112, 128, 160, 192, 224, 256, 320, 0};
    while (at + 4 <= mp3.size() && std::uint8_t(mp3[at]) == 0xFF &&
           (std::uint8_t(mp3[at + 1]) & 0xFE) == 0xFA && (std::uint8_t(mp3[at + 2]) & 0x0C) == 0) {
        const auto b = std::uint8_t(mp3[at + 2]);
        const std::size_t length = 144000 * kKbps[b >> 4] / 44100 + ((b >> 1) & 1);
        if (length <= 1 || at + length > mp3.size())
            break;
        at += length;
    }
    return at;
}

// A disk that fills up in the tag leaves nothing, and Begin says so; one that
// fills up among the frames, or in the encoder's last ones, leaves the tag and
// the frames written whole before, the start of the whole file. End says the
// track failed; with room to spare the file is whole.
TEST(Mp3Encoder, AFullDiskLeavesTheTagAndWholeFrames) {
    QString error;
    const auto lame = modLAME::LameLibrary::Load(error);
    ASSERT_TRUE(lame) << error.toStdString();
    const testsupport::TempFolder folder;
    const std::string file = folder.file("t.mp3");
    constexpr int kSectors = 300;
    const std::string pcm = Audio(kSectors);
    const QByteArray tag = ripengine::Id3v24Tag({QStringLiteral("t"), {}, {}, 1, 1});
    const auto tagBytes = std::size_t(tag.size());
    for (const std::uint32_t kbps : {32u, 160u, 320u}) {
        struct Result {
            bool begun = false, ended = false;
            std::string bytes;
        };
        const auto encode = [&](std::uint64_t room) {
            Result r;
            FullDiskOutput out(file, room);
            auto encoder = ripengine::MakeMp3Encoder(*lame, Config(kbps), tag);
            r.begun = encoder->Begin(out, pcm.size());
            const auto* audio = reinterpret_cast<const unsigned char*>(pcm.data());
            for (int s = 0, ok = r.begun; ok && s < kSectors; s += 26)
                ok = encoder->Encode(out, audio + s * 2352, std::min(26, kSectors - s));
            r.ended = encoder->End(out, pcm.size());
            r.bytes = ReadAll(file);
            return r;
        };
        const std::string whole = encode(std::uint64_t(1) << 32).bytes;
        ASSERT_EQ(WholeFramesEnd(whole, tagBytes), whole.size()) << kbps;
        for (const std::size_t room : {std::size_t(tagBytes / 2), whole.size() / 3,
                                       whole.size() * 2 / 3, whole.size() - 1, whole.size()}) {
            SCOPED_TRACE(std::to_string(kbps) + " kbit/s, room for " + std::to_string(room));
            const Result r = encode(room);
            EXPECT_EQ(std::pair(r.begun, r.ended),
                      std::pair(room > tagBytes / 2, room == whole.size()));
            EXPECT_EQ(r.bytes, r.begun ? whole.substr(0, r.bytes.size()) : "");
            EXPECT_TRUE(!r.begun || (r.bytes.size() > tagBytes &&
                                     WholeFramesEnd(r.bytes, tagBytes) == r.bytes.size()))
                << r.bytes.size();
        }
    }
}

} // namespace
