// MP3 extraction from disc images through the encoder module lame_enc.so.

#include <gtest/gtest.h>
#include <lame/lame.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

#include "ExtractFixture.h"
#include "extract/WindowRun.h"
#include "extract/modMP3.h"
#include "extract/modRip.h"

#include "general/modGeneral.h"
#include "settings/modSettings.h"
#include <unistd.h>

namespace {

using extracttest::OpenDisc;
using extracttest::ReadAll;

lame_enc::BE_CONFIG Config(const char* bitrate = "160", int quality = 1) { // 1 is "Normal"
    return modRip::MakeEncoderConfig({QString::fromLatin1(bitrate), quality});
}

std::string Encode(OpenDisc& disc, std::int32_t& start, std::int32_t end,
                   const lame_enc::BE_CONFIG& config) {
    modMP3::RipTrackMp3(disc.Out("t.mp3"), start, end, config, disc.progress, disc.dialogs);
    return ReadAll(disc.folder.file("t.mp3"));
}

// What the lame command makes of pcm at a bitrate with the settings' Normal
// quality (-q 5), joint stereo and no resampling. The audio goes in on standard
// input, where lame cannot take raw PCM for MP3.
std::string LameCommand(const OpenDisc& disc, const std::string& pcm, int kbps) {
    const std::string raw = disc.folder.file("in.raw"), out = disc.folder.file("lame.mp3");
    std::ofstream(raw, std::ios::binary) << pcm;
    const std::string lame = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian "
                             "--resample 44.1 -m j -b " +
                             std::to_string(kbps) + " -q 5 -t --noreplaygain -o - '" + out +
                             "' < '" + raw + "' 2>/dev/null";
    EXPECT_EQ(std::system(lame.c_str()), 0) << "is the lame command installed?";
    return ReadAll(out);
}

// Every bitrate the settings offer gives the lame command's bytes, frame for
// frame, of a track after the first: at the higher ones the bit reservoir
// fills up, and how far it may is the library's default in both.
TEST(RipTrackMp3, EveryBitrateEncodesLikeTheLameCommand) {
    OpenDisc disc({50, 200});
    const std::string pcm = disc.Audio(50, 250);
    for (const int kbps : modSettings::kBitrates) {
        std::int32_t start = 50;
        const std::string mp3 = Encode(disc, start, 250, Config(std::to_string(kbps).c_str()));
        const std::string lame = LameCommand(disc, pcm, kbps);
        const auto differs = std::mismatch(mp3.begin(), mp3.end(), lame.begin(), lame.end());
        EXPECT_TRUE(mp3.size() == lame.size() && differs.first == mp3.end())
            << kbps << " kbit/s: " << mp3.size() << " and " << lame.size()
            << " bytes, first difference at byte " << differs.first - mp3.begin();
        EXPECT_TRUE(start == 250 && disc.dialogs.boxes.empty() && disc.progress.open == 0) << kbps;
    }
}

// A Cancel while the track's first block is on screen ends it after that block
// (the job is held there until the window has seen it). The file is what
// `lame` makes of that block, and libmp3lame's decoder gives the audio back.
TEST(RipTrackMp3, CancelEndsTheTrackAfterItsBlock) {
    OpenDisc disc({50, 100});
    disc.progress.onEvents = [] { mVariables::CancelRequested = true; };
    windowrun::Choices choices{true, Config(), 1};
    choices.afterBlock = [](int, std::int32_t) {
        for (int i = 0; i < 20000 && !mVariables::CancelRequested; ++i)
            usleep(500);
    };
    std::vector<std::int32_t> encoded;
    windowrun::Run({{2, 50, 150, disc.Out("t.mp3")}}, choices, disc.progress, disc.dialogs,
                   &encoded);
    const std::string mp3 = ReadAll(disc.folder.file("t.mp3")), pcm = disc.Audio(50, 76);
    EXPECT_TRUE(encoded.at(0) == 26 && disc.dialogs.boxes.empty() && disc.progress.open == 0)
        << encoded.at(0);
    EXPECT_TRUE(mp3 == LameCommand(disc, pcm, 160));

    // Decoded (the first call may only take the data in), the left channel
    // is the source's behind LAME's 576-sample delay and the decoder's 529.
    std::vector<short> left;
    short l[1152], r[1152];
    hip_t hip = hip_decode_init();
    auto* data = reinterpret_cast<unsigned char*>(const_cast<char*>(mp3.data()));
    for (int n = hip_decode1(hip, data, mp3.size(), l, r), calls = 0; n > 0 || calls++ == 0;
         n = hip_decode1(hip, data, 0, l, r))
        left.insert(left.end(), l, l + std::max(n, 0));
    hip_decode_exit(hip);
    const std::size_t delay = 576 + 529, samples = 26 * 588;
    ASSERT_TRUE(left.size() >= delay + samples && left.size() < delay + samples + 2 * 1152)
        << left.size();
    const auto* source = reinterpret_cast<const short*>(pcm.data());
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < samples; ++i)
        signal += std::pow(source[2 * i], 2), noise += std::pow(source[2 * i] - left[delay + i], 2);
    EXPECT_GT(10 * std::log10(signal / noise), 20.0);
}

// More jobs at once than the module once held streams for: each keeps its
// track, and the files are those of a run one track at a time.
TEST(RipTrackMp3, SeventyJobsAtOnceEachKeepTheirTrack) {
    constexpr int kTracks = 70;
    OpenDisc disc(std::vector<std::int32_t>(kTracks, 2));
    std::vector<std::string> files[2];
    for (const int jobs : {1, kTracks}) {
        const auto tracks = disc.Tracks(std::to_string(jobs) + "-", ".mp3");
        windowrun::Choices choices{true, Config(), jobs};
        // Each job keeps its stream open until every job has one.
        std::atomic<int> started{0};
        if (jobs > 1)
            choices.afterBlock = [&started](int, std::int32_t) {
                ++started;
                for (int i = 0; i < 20000 && started < kTracks; ++i)
                    usleep(500);
            };
        windowrun::Run(tracks, choices, disc.progress, disc.dialogs);
        files[jobs > 1] = OpenDisc::Files(tracks);
    }
    EXPECT_TRUE(disc.dialogs.boxes.empty()) << disc.dialogs.boxes.at(0).text.toStdString();
    EXPECT_TRUE(files[0] == files[1] &&
                std::none_of(files[0].begin(), files[0].end(), [](auto& f) { return f.empty(); }));
}

// A tagged track's file is its ID3v2.4 tag, then the bytes of a file made
// without one; a track the tags leave out has none, with jobs running at once.
TEST(RipTrackMp3, TagsGoBeforeTheFramesOfTheirOwnTrack) {
    OpenDisc disc({40, 30});
    const ripengine::TrackTags tags{QStringLiteral("Señal"), QStringLiteral("Band"),
                                    QStringLiteral("Uno"), 2, 2};
    std::vector<std::string> files[2]; // [tagged][track]
    for (const int tagged : {0, 1}) {
        windowrun::Choices choices{true, Config(), 2};
        if (tagged)
            choices.tags[2] = tags;
        const auto tracks = disc.Tracks(std::to_string(tagged) + "-", ".mp3");
        windowrun::Run(tracks, choices, disc.progress, disc.dialogs);
        files[tagged] = OpenDisc::Files(tracks);
    }
    const std::string tag = ripengine::Id3v24Tag(tags).toStdString();
    EXPECT_TRUE(tag.starts_with("ID3\x04") && !files[0][1].empty());
    EXPECT_TRUE(files[1][0] == files[0][0] && files[1][1] == tag + files[0][1]);
    EXPECT_TRUE(disc.dialogs.boxes.empty());
}

// A disk that fills up in the middle of a track leaves the start of the file
// a roomy disk gets, ending where one of its frames ends, and a box says so.
TEST(RipTrackMp3, AFullDiskLeavesWholeFrames) {
    OpenDisc disc({300});
    std::int32_t start = 0;
    const std::string whole = Encode(disc, start, 300, Config());
    for (const std::size_t room : {whole.size() / 3, whole.size() - 100}) {
        start = 0;
        const std::string name = "cut " + std::to_string(room) + ".mp3";
        {
            const extracttest::FileSizeLimit limit(room);
            modMP3::RipTrackMp3(disc.Out(name), start, 300, Config(), disc.progress, disc.dialogs);
        }
        const std::string cut = ReadAll(disc.folder.file(name));
        EXPECT_TRUE(!cut.empty() && cut.size() <= room && whole.starts_with(cut) &&
                    whole.compare(cut.size(), 2, "\xFF\xFB") == 0)
            << room << ": " << cut.size() << " of " << whole.size() << " bytes";
    }
    EXPECT_EQ(disc.dialogs.boxes.size(), 2u);
}

// The loader's message, or the encoder's own for its code (one no table
// knows too), in a critical box; no file is made and the disc is not read.
TEST(RipTrackMp3, FaultsBeforeTheFirstBlockLeaveNoFile) {
    enum Module { None, Real, Fake };
    const struct {
        Module module;
        const char *bitrate, *text;
    } cases[] = {
        {None, "160", "lame_enc.so: cannot open shared object file: No such file or directory"},
        {Real, "0", "Invalid format parameters"},
        {Real, "100", "Invalid format parameters"},
        {Fake, "160", "Unknown error (7)"}};
    for (const auto& c : cases) {
        OpenDisc disc({30});
        const QString folders[] = {disc.folder.qpath(), QString(),
                                   QStringLiteral(FAKE_MODULE_FOLDER)};
        modGeneral::SetAppFolderForTesting(folders[c.module]);
        std::int32_t start = 0;
        Encode(disc, start, 30, Config(c.bitrate));
        modGeneral::SetAppFolderForTesting({});
        const auto& box = disc.dialogs.boxes.at(0);
        EXPECT_TRUE(box.text.contains(QLatin1String(c.text)) &&
                    box.icon == Dialogs::Icon::Critical &&
                    box.title == QStringLiteral("Critical error..."))
            << box.text.toStdString();
        EXPECT_TRUE(disc.dialogs.boxes.size() == 1 && !std::ifstream(disc.folder.file("t.mp3")) &&
                    akrip::testing::ReadCallCount() == 0 && disc.progress.open == 0);
    }
}

// The bitrate is the number the text starts with, a half going to the even
// neighbour, or 0 (which the encoder refuses); then the record's bytes with
// private and original ticked. cmbQuality's index gives the preset, which keeps
// the bitrate (0xa000 in the frame header is 160 kbit/s); rows 0 to 3 tick one
// flag each, in the choices' order, which sets its own header bit alone.
TEST(RipTrackMp3, ConfigurationReachesTheFrameHeader) {
    for (const auto& [text, rate] :
         {std::pair{" 128 kbit/s", 128u}, {"161.5", 162u}, {"abc", 0u}, {"-64", 0u}})
        EXPECT_EQ(Config(text).dwBitrate, rate) << text;
    const auto config =
        modRip::MakeEncoderConfig({QStringLiteral("192.5"), 5, true, false, false, true});
    std::vector<unsigned char> expected(331, 0); // little-endian 32-bit values at their offsets
    const int fields[][2] = {{0, 256},   {4, 1},  {8, 331}, {12, 44100}, {20, 1}, {24, 192},
                             {32, 6000}, {36, 1}, {48, -1}, {60, -1},    {80, -1}};
    for (const auto& [at, v] : fields)
        for (int i = 0; i < 4; ++i)
            expected[std::size_t(at + i)] = static_cast<unsigned char>(std::uint32_t(v) >> (8 * i));
    EXPECT_EQ(std::memcmp(&config, expected.data(), 331), 0);

    OpenDisc disc({26});
    const std::int32_t presets[] = {0,    1,    0,    2,    3,     1000,
                                    6000, 7000, 8000, 9000, 10000, 0}; // index -1 to 10
    const int bits[] = {0x100, 0x10000, 0x8,
                        0x4}; // private, CRC (which clears its bit), copyright, original
    for (int index = -1; index <= 10; ++index) {
        const modRip::EncoderChoices row{
            QStringLiteral("160"), index, index == 0, index == 1, index == 2, index == 3};
        std::int32_t start = 0;
        const std::string mp3 = Encode(disc, start, 26, modRip::MakeEncoderConfig(row));
        const int header =
            std::uint8_t(mp3.at(1)) << 16 | std::uint8_t(mp3.at(2)) << 8 | std::uint8_t(mp3.at(3));
        EXPECT_EQ(modRip::MakeEncoderConfig(row).nPreset, presets[index + 1]) << index;
        EXPECT_EQ((header ^ 0x10000) & 0x1f10c,
                  0xa000 | (index >= 0 && index < 4 ? bits[index] : 0))
            << index;
    }
    EXPECT_TRUE(disc.dialogs.boxes.empty());
}

} // namespace
