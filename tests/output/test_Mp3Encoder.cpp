// MP3 files written through the encoder module: with the Info frame, as the
// lame command writes them, and into an output whose disk fills up.

#include <gtest/gtest.h>

#include <fstream>

#include "OutputFixture.h"
#include "TestSupport.h"
#include "output/Mp3Encoder.h"
#include "output/TrackTags.h"

namespace {

using namespace outputtest;

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
    const std::string pcm = Audio(300);
    const QByteArray tag = ripengine::Id3v24Tag({QStringLiteral("t"), {}, {}, 1, 1});
    const auto tagBytes = std::size_t(tag.size());
    for (const std::uint32_t kbps : {32u, 160u, 320u}) {
        const auto encode = [&](std::uint64_t room) {
            return Encode(*ripengine::MakeMp3Encoder(*lame, Mp3Config(kbps), tag), file, room, pcm);
        };
        const std::string whole = encode(std::uint64_t(1) << 32).bytes;
        ASSERT_EQ(WholeFramesEnd(whole, tagBytes), whole.size()) << kbps;
        for (const std::size_t room : {std::size_t(tagBytes / 2), whole.size() / 3,
                                       whole.size() * 2 / 3, whole.size() - 1, whole.size()}) {
            SCOPED_TRACE(std::to_string(kbps) + " kbit/s, room for " + std::to_string(room));
            const Encoded r = encode(room);
            EXPECT_EQ(std::pair(r.begun, r.ended),
                      std::pair(room > tagBytes / 2, room == whole.size()));
            EXPECT_EQ(r.bytes, r.begun ? whole.substr(0, r.bytes.size()) : "");
            EXPECT_TRUE(!r.begun || (r.bytes.size() > tagBytes &&
                                     WholeFramesEnd(r.bytes, tagBytes) == r.bytes.size()))
                << r.bytes.size();
        }
    }
}

// Asked for the Info frame, the file after its tag is the lame command's
// without -t, byte for byte: the frame holds the frame count, the stream's
// length and CRC, the encoder's delay and padding. At 32 kbit/s a frame is
// too small for it, and neither writes one.
TEST(Mp3Encoder, TheInfoFrameIsTheLameCommands) {
    QString error;
    const auto lame = modLAME::LameLibrary::Load(error);
    ASSERT_TRUE(lame) << error.toStdString();
    const testsupport::TempFolder folder;
    const std::string pcm = Audio(400), raw = folder.file("in.raw"), ours = folder.file("t.mp3"),
                      theirs = folder.file("lame.mp3");
    std::ofstream(raw, std::ios::binary) << pcm;
    const QByteArray tag = ripengine::Id3v24Tag({QStringLiteral("t"), {}, {}, 1, 1});
    // kbit/s, and whether frames carry CRCs
    const std::pair<std::uint32_t, bool> cases[] = {
        {32, false}, {64, false}, {160, false}, {160, true}, {320, false}};
    for (const auto& [kbps, crc] : cases) {
        lame_enc::BE_CONFIG config = Mp3Config(kbps);
        config.bCRC = crc ? -1 : 0;
        const auto encoder =
            ripengine::MakeMp3Encoder(*lame, config, tag, ripengine::InfoFrame::Write);
        const Encoded r = Encode(*encoder, ours, std::uint64_t(1) << 32, pcm);
        EXPECT_TRUE(r.written && r.ended) << encoder->FaultText().toStdString();
        const std::string command = "lame --quiet -r -s 44.1 --bitwidth 16 --signed "
                                    "--little-endian --resample 44.1 -m j -b " +
                                    std::to_string(kbps) + " -q 5 -o " + (crc ? "-p " : "") +
                                    "--noreplaygain - '" + theirs + "' < '" + raw + "' 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << "is the lame command installed?";
        const std::string expected = ReadAll(theirs);
        EXPECT_TRUE(r.bytes.substr(0, std::size_t(tag.size())) == tag.toStdString() &&
                    r.bytes.substr(std::size_t(tag.size())) == expected)
            << kbps << " kbit/s" << (crc ? " with CRCs" : "");
        EXPECT_EQ(expected.find("Info") < 64, kbps != 32) << kbps;
    }
}

} // namespace
