// MP3 extraction through the encoder module (lame_enc.so, loaded from the
// application folder as the program does) from disc images. Output is
// checked against the lame command on the same PCM, and decoded back with
// libmp3lame's own decoder.

#include <gtest/gtest.h>
#include <dlfcn.h>
#include <lame/lame.h>
#include <unistd.h>

#include <QFile>

#include <cmath>
#include <cstdlib>

#include "ExtractFixture.h"
#include "extract/modMP3.h"
#include "extract/modRip.h"
#include "general/modGeneral.h"

namespace {

using extracttest::OpenDisc;
using extracttest::ReadAll;

// What `lame` writes for raw CD audio at 160 kbit/s, joint stereo, quality
// 5, without its tag and with the "original" mark off. The audio goes in on
// standard input: given a file name, lame's libsndfile reader may take raw
// PCM for an MP3 stream.
std::string LameCommand(const OpenDisc& disc, std::int32_t from, std::int32_t to) {
    const std::string raw = disc.folder.file("in.raw");
    const std::string mp3 = disc.folder.file("lame.mp3");
    std::ofstream(raw, std::ios::binary) << disc.Audio(from, to);
    const std::string command = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 160 "
                                "-q 5 -t --noreplaygain -o - '" + mp3 + "' < '" + raw + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << "is the lame command installed?";
    return ReadAll(mp3);
}

// Left-channel samples of every frame the decoder finds. The first call
// may only take the data in; each later one decodes a frame of what it holds.
std::vector<short> DecodeLeft(const std::string& mp3) {
    hip_t hip = hip_decode_init();
    std::vector<short> left;
    short l[1152], r[1152];
    auto* data = reinterpret_cast<unsigned char*>(const_cast<char*>(mp3.data()));
    for (int n = hip_decode1(hip, data, mp3.size(), l, r), calls = 0; n > 0 || calls++ == 0;
         n = hip_decode1(hip, data, 0, l, r))
        left.insert(left.end(), l, l + std::max(n, 0));
    hip_decode_exit(hip);
    return left;
}

lame_enc::BE_CONFIG Config(const char* bitrate = "160", int quality = 1) {
    return modRip::MakeEncoderConfig({QString::fromLatin1(bitrate), quality});
}

// Cancel during the first block of a 100-frame track: one more block is
// read and encoded, then the file is finished; it holds those 52 frames.
TEST(RipTrackMp3, EncodesLikeTheLameCommandAndCancelLetsOneMoreBlockIn) {
    const struct {
        bool cancel;
        std::int32_t frames, encoded;
        std::size_t updates;
    } cases[] = {{false, 300, 300, 12}, {true, 100, 52, 1}};
    for (const auto& c : cases) {
        OpenDisc disc({50, c.frames});
        if (c.cancel)
            disc.progress.onEvents = [] { mVariables::CancelRequested = true; };
        const std::int32_t from = disc.Start(1);
        std::int32_t start = from;
        modMP3::RipTrackMp3(disc.Out("t.mp3"), start, disc.Start(2), Config(), disc.progress, disc.dialogs);
        EXPECT_EQ(start, from + c.encoded);
        EXPECT_EQ(disc.progress.updates.size(), c.updates);
        EXPECT_TRUE(disc.dialogs.boxes.empty() && disc.progress.open == 0);
        const std::string mp3 = ReadAll(disc.folder.file("t.mp3"));
        EXPECT_TRUE(mp3 == LameCommand(disc, from, from + c.encoded)) << c.frames;

        // LAME's 576-sample encoder delay and the decoder's 529 come first.
        const std::size_t delay = 576 + 529, samples = static_cast<std::size_t>(c.encoded) * 588;
        const std::vector<short> decoded = DecodeLeft(mp3);
        ASSERT_GE(decoded.size(), delay + samples);
        EXPECT_LT(decoded.size(), delay + samples + 2 * 1152);
        const std::string pcm = disc.Audio(from, from + c.encoded);
        const auto* source = reinterpret_cast<const short*>(pcm.data());
        double signal = 0, noise = 0;
        for (std::size_t i = 0; i < samples; ++i) {
            const double s = source[2 * i], d = s - decoded[delay + i];
            signal += s * s;
            noise += d * d;
        }
        EXPECT_GT(10 * std::log10(signal / noise), 20.0);
    }
}

// The module's loader message, or the encoder's own code, in a critical box;
// no file is made and the disc is not read.
TEST(RipTrackMp3, FaultsBeforeTheFirstBlockLeaveNoFile) {
    Dl_info lameLib{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&hip_decode_init), &lameLib), 0);
    const struct {
        const char* module;  // "" none, "other" a library without the four functions
        const char* bitrate;
        const char* text;
    } cases[] = {{"", "160", "lame_enc.so: cannot open shared object file: No such file or directory"},
                 {"other", "160", "undefined symbol: beInitStream"},
                 {"real", "0", "Invalid format parameters"},
                 {"real", "100", "Invalid format parameters"},
                 {"real", "abc", "Invalid format parameters"}};
    for (const auto& c : cases) {
        OpenDisc disc({30});
        const std::string module(c.module);
        if (module != "real")
            modGeneral::SetAppFolderForTesting(disc.folder.qpath());
        ASSERT_TRUE(module != "other" || ::symlink(lameLib.dli_fname, disc.folder.file("lame_enc.so").c_str()) == 0);
        std::int32_t start = 0;
        const QString name = disc.Out("t.mp3");
        modMP3::RipTrackMp3(name, start, 30, Config(c.bitrate), disc.progress, disc.dialogs);
        modGeneral::SetAppFolderForTesting({});
        ASSERT_EQ(disc.dialogs.boxes.size(), 1u);
        const auto& box = disc.dialogs.boxes[0];
        EXPECT_TRUE(box.text.contains(QLatin1String(c.text)) && box.icon == Dialogs::Icon::Critical &&
                    box.title == QStringLiteral("Critical error...")) << box.text.toStdString();
        EXPECT_TRUE(!QFile::exists(name) && akrip::testing::ReadCallCount() == 0 && disc.progress.open == 0);
    }
}

TEST(RipTrackMp3, PresetsKeepTheBitrateAndFlagsReachTheFrameHeader) {
    OpenDisc disc({52});
    const auto encode = [&disc](const lame_enc::BE_CONFIG& config) {
        std::int32_t start = 0;
        modMP3::RipTrackMp3(disc.Out("t.mp3"), start, 52, config, disc.progress, disc.dialogs);
        return ReadAll(disc.folder.file("t.mp3"));
    };
    const std::string normal = encode(Config("160", 1));
    const std::int32_t presets[] = {0, 1, 0, 2, 3, 1000, 6000, 7000, 8000, 9000, 10000};
    for (int index = -1; index <= 9; ++index) {
        const lame_enc::BE_CONFIG config = Config("160", index);
        EXPECT_EQ(config.nPreset, presets[index + 1]) << index;
        const std::string mp3 = encode(config);
        ASSERT_GE(mp3.size(), 4u);
        EXPECT_EQ(static_cast<unsigned char>(mp3[2]) >> 4, 10) << index;  // 160 kbit/s
        EXPECT_EQ(mp3 == normal, config.nPreset == 0) << index;
    }
    // Which header bit each flag sets: byte, mask, and the byte when it is on.
    const struct {
        std::int32_t lame_enc::BE_CONFIG::*flag;
        int byte, mask, on;
    } flags[] = {{&lame_enc::BE_CONFIG::bCRC, 1, 0x01, 0x00}, {&lame_enc::BE_CONFIG::bPrivate, 2, 0x01, 0x01},
                 {&lame_enc::BE_CONFIG::bCopyright, 3, 0x08, 0x08}, {&lame_enc::BE_CONFIG::bOriginal, 3, 0x04, 0x04}};
    for (const auto& f : flags) {
        EXPECT_EQ(normal[static_cast<std::size_t>(f.byte)] & f.mask, f.mask - f.on);
        lame_enc::BE_CONFIG config = Config();
        config.*f.flag = -1;
        EXPECT_EQ(encode(config)[static_cast<std::size_t>(f.byte)] & f.mask, f.on);
    }
    EXPECT_TRUE(disc.dialogs.boxes.empty());
}

TEST(RipTrackMp3, ConfigurationBytes) {
    modRip::EncoderChoices choices{QStringLiteral("192.5"), 5};
    choices.privateFlag = choices.original = true;
    const lame_enc::BE_CONFIG config = modRip::MakeEncoderConfig(choices);
    std::vector<unsigned char> expected(331, 0);  // little-endian 32-bit values at their offsets
    for (const auto& [at, v] : {std::pair{0, 256}, {4, 1}, {8, 331}, {12, 44100}, {20, 1}, {24, 192},
                                {32, 6000}, {36, 1}, {48, -1}, {60, -1}, {80, -1}})
        for (int i = 0; i < 4; ++i)
            expected[std::size_t(at + i)] = static_cast<unsigned char>(std::uint32_t(v) >> (8 * i));
    EXPECT_EQ(std::memcmp(&config, expected.data(), 331), 0);
}

}  // namespace
