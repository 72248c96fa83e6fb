// CUE sheets as people have them, read through the CD library layer from real files: the table of
// contents and every sector against the audio the files were made from, or the line saying why not.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "CdTestSupport.h"
#include "DiscMaker.h"
#include "TestSupport.h"
#include "cd/DiscInfo.h"
#include "cd/akrip32_testing.h"

namespace {

using discmaker::FileType;
using namespace testsupport;

constexpr int kSector = akrip::kSectorBytes;
const discmaker::DiscPlan kPlan{{300, 200, 250}, 5, false};  // 750 sectors to cut files from
// A TRACK line, what comes before its INDEX 01 line, and that line.
std::string Track(int number, const std::string& index = "00:00:00",
                  const std::string& before = "", const std::string& mode = "AUDIO") {
    return "TRACK 0" + std::to_string(number) + ' ' + mode + '\n' + before + "INDEX 01 " + index +
           '\n';
}
const std::string kBin = "FILE d.bin BINARY\n", kWav = "FILE a.wav WAVE\n";
// Tracks at sectors 0, 301 and 501: odd starts, so that no offset is lost to rounding.
const std::string kThree = Track(1) + Track(2, "00:04:01") + Track(3, "00:06:51");

struct File {  // sectors [first, first + count) of kPlan, less cutFrames stereo frames at the end
    std::string name;
    std::int32_t first, count;
    FileType type = FileType::Binary;
    std::int32_t cutFrames = 0;
    discmaker::SoundForm form = {};
};

struct Case {
    std::string name;  // for a sheet refused: what its line must say
    std::vector<File> files;
    std::string sheet;
    std::vector<std::int32_t> starts = {0, 301, 501, 750};  // and the lead-out; empty: refused
    // Stretches of the disc: {sectors, from this of kPlan or silence (-1), zero bytes at the end}
    std::vector<std::array<std::int32_t, 3>> disc = {{750, 0, 0}};
    int first = 1;                            // the first track's number
    std::vector<std::uint8_t> controls = {};  // per track; empty: all audio, no flags
};

std::vector<Case> Cases(const TempFolder& folder) {
    const File bin{"d.bin", 0, 750};
    return {
        {"sheet named apart from its BIN, a decoy BIN beside it", {bin, {"f.bin", 50, 700}},
         kBin + Track(1, "00:00:00", "FLAGS DCP PRE\n") + Track(2, "00:04:01") +
             Track(3, "00:06:51", "", "MODE1/2352"),
         {0, 301, 501, 750}, {{750, 0, 0}}, 1, {0x03, 0x00, 0x04}},
        {"one BIN per track, after a byte order mark",
         {{"1.bin", 0, 301}, {"2.bin", 301, 200}, {"3.bin", 501, 249}},
         "\xEF\xBB\xBF" "FILE 1.bin BINARY\n" + Track(1) + "FILE 2.bin BINARY\n" + Track(2) +
             "FILE 3.bin BINARY\n" + Track(3)},
        {"one FLAC file", {{"a.flac", 0, 750, FileType::Flac}}, "FILE a.flac WAVE\n" + kThree},
        {"MOTOROLA", {{"m.bin", 0, 750, FileType::Motorola}}, "FILE m.bin MOTOROLA\n" + kThree},
        {"PREGAP and POSTGAP silence", {bin},
         kBin + Track(1, "00:00:00", "PREGAP 00:01:00\n") +
             Track(2, "00:04:01", "PREGAP 00:00:30\n") + Track(3, "00:06:51") +
             "POSTGAP 00:00:10\n",
         {75, 406, 606, 865}, {{75, -1, 0}, {301, 0, 0}, {30, -1, 0}, {449, 301, 0}, {10, -1, 0}}},
        {"INDEX 00 gaps stay in the track before; POSTGAP goes before them", {bin},
         kBin + Track(1, "00:00:51", "INDEX 00 00:00:00\n") + "POSTGAP 00:00:05\n" +
             Track(2, "00:04:01", "INDEX 00 00:03:56\n") + Track(3, "00:06:51"),
         {51, 306, 506, 755}, {{281, 0, 0}, {5, -1, 0}, {469, 281, 0}}},
        {"WAVE files, first track 4, its gap at the end of the file before",
         {{"a.wav", 0, 301, FileType::Wave}, {"b.wav", 301, 449, FileType::Wave}},
         kWav + Track(4) + Track(5, "00:00:00", "INDEX 00 00:03:56\nFILE b.wav WAVE\n") +
             Track(6, "00:02:50"),
         {0, 301, 501, 750}, {{750, 0, 0}}, 4},
        {"files not a whole number of sectors",
         {{"a.bin", 0, 301, FileType::Binary, 147}, {"b.wav", 301, 449, FileType::Wave, 100}},
         "FILE a.bin BINARY\n" + Track(1) + "FILE b.wav WAVE\n" + Track(2) + Track(3, "00:02:50"),
         {0, 301, 501, 750}, {{301, 0, 147 * 4}, {449, 301, 100 * 4}}},
        // Single steps of finding a FILE; AWindowsRipListsEveryAudioTrack reads whole rips.
        {"names in other letter case", {{"album/01 - artist - title.wav", 0, 750, FileType::Wave}},
         "FILE \"Album\\01 - Artist - Title.wav\" WAVE\n" + kThree},
        {"converted to FLAC, named by a Windows path beside the sheet", {{"c.flac", 0, 750, FileType::Flac}},
         "FILE \"C:\\Rips\\c.wav\" WAVE\n" + kThree},
        {"a \"\\\" in the file's own name", {{"lit\\x.wav", 0, 750, FileType::Wave}},
         "FILE \"lit\\x.wav\" WAVE\n" + kThree},
        {"\"x.wav\" could be any of " + folder.file("x.flac") + ", " + folder.file("x.aiff"),
         {{"x.flac", 0, 300, FileType::Flac}, {"x.aiff", 0, 300, FileType::Aiff}}, "FILE x.wav WAVE\n" + Track(1), {}},
        {"\"y.wav\" could be any of ", {{"Y.wav", 0, 300, FileType::Wave}, {"y.WAV", 0, 300, FileType::Wave}},
         "FILE y.wav WAVE\n" + Track(1), {}},
        {"cannot find \"sub\\gone.wav\": looked for " + folder.file("sub\\gone.wav") + ", " +
             folder.file("sub/gone.wav") + " and " +
             folder.file("gone.wav") + ", in any letter case, and as .flac, .aiff, .aif",
         {}, "FILE \"sub\\gone.wav\" WAVE\n" + Track(1), {}},
        {"cannot find \"gone.bin\": looked for " + folder.file("gone.bin") + ", in any letter case", {},
         "FILE gone.bin BINARY\n" + Track(1), {}},
        // Numbers libcue would wrap or take as they come.
        {"line 5, \"INDEX 01 954437:11:71\": the time lies beyond what a disc can address", {bin},
         kBin + Track(1) + Track(2, "954437:11:71"), {}},
        {"line 4, \"POSTGAP 954437:59:00\": the time lies beyond", {bin},
         kBin + Track(1) + "POSTGAP 954437:59:00\n", {}},
        {"line 6, \"INDEX 4294967297 00:01:00\": index numbers run from 00 to 99", {{"1.bin", 0, 301}, bin},
         "FILE 1.bin BINARY\n" + Track(1) + "TRACK 02 AUDIO\nFILE d.bin BINARY\nINDEX 4294967297 00:01:00\n", {}},
        {"line 3, \"INDEX 01 00:40:75\": times are minutes:seconds:frames, with seconds below 60 and frames "
         "below 75", {bin}, kBin + Track(1, "00:40:75"), {}},
        {"line 4, \"INDEX 01 00:01:00\": TRACK 01 has INDEX 01 already", {bin},
         kBin + Track(1) + "INDEX 01 00:01:00\n", {}},
        {"line 4, \"TRACK 4294967298 AUDIO\": TRACK 4294967298 follows TRACK 01", {bin},
         kBin + Track(1) + "TRACK 4294967298 AUDIO\nINDEX 01 00:04:00\n", {}},
        {"48000 Hz", {{"a.wav", 0, 300, FileType::Wave, 0, {48000, 2, 16}}}, kWav + Track(1), {}},
        {"1-channel", {{"a.wav", 0, 300, FileType::Wave, 0, {44100, 1, 16}}}, kWav + Track(1), {}},
        {"p.wav): not a file", {}, "FILE p.wav WAVE\n" + Track(1), {}},  // a FIFO would block
        {"line 4, \"TRACK 01 AUDIO\": TRACK 01 follows TRACK 02", {bin}, kBin + Track(2) + Track(1, "00:04:00"), {}},
        {"line 4, \"TRACK 02 AUDIO\": TRACK 02 does not start after the track before it", {bin},
         kBin + Track(1, "00:04:00") + Track(2, "00:01:00"), {}},
        {"past the end of \"d.bin\" (00:10:00 long)", {bin}, kBin + Track(1, "00:10:00"), {}},
        {"no audio track", {bin}, kBin + Track(1, "00:00:00", "", "MODE1/2352"), {}},
        {"near line 4: syntax error", {bin}, kBin + Track(1) + "BOGUS 3\n", {}},
    };
}

class CueImageTest : public ::testing::Test {
protected:
    // Writes the sheet, the only image listed; the handle of its drive.
    int Open(const std::string& text) {
        std::ofstream(sheet_) << text;
        akrip::testing::CloseAllHandles();
        return OpenDrive(akrip::GetNumAdapters());
    }

    TempFolder folder_;
    const std::string sheet_ = folder_.file("f.cue");
    ScopedDiscImages images_{{sheet_}};
};

TEST_F(CueImageTest, EveryCaseGivesItsTableAndEveryByteOrSaysWhyNot) {
    ASSERT_EQ(::mkfifo(folder_.file("p.wav").c_str(), 0600), 0);
    for (const Case& c : Cases(folder_)) {
        SCOPED_TRACE(c.name);
        for (const File& f : c.files) {
            std::filesystem::create_directories(std::filesystem::path(folder_.file(f.name)).parent_path());
            discmaker::WriteAudioFile(folder_.file(f.name), kPlan, f.first, f.count, f.type,
                                      f.cutFrames, f.form);
        }
        ::testing::internal::CaptureStderr();
        const int handle = Open(c.sheet);
        const std::string said = ::testing::internal::GetCapturedStderr();
        ASSERT_GT(handle, 0) << "a drive, if without a disc";
        akrip::TOC toc;
        std::fill_n(reinterpret_cast<unsigned char*>(&toc), sizeof toc, 0xff);
        if (c.starts.empty()) {
            EXPECT_EQ(akrip::ReadTOC(handle, &toc), 0);
            EXPECT_EQ(said.find("Dorvane: cannot use the CUE sheet " + sheet_ + ": "), 0u) << said;
            EXPECT_NE(said.find(c.name), std::string::npos) << said;
            continue;
        }
        ASSERT_EQ(akrip::ReadTOC(handle, &toc), 1) << said;
        const auto n = static_cast<int>(c.starts.size()) - 1;
        EXPECT_EQ(std::pair(+toc.firstTrack, +toc.lastTrack), std::pair(c.first, c.first + n - 1));
        for (int i = 0; i <= n + 1; ++i) {  // the tracks, the lead-out, then zeros
            const int control = c.controls.empty() ? 0 : c.controls[std::min(i, n - 1)];
            const auto expected = i > n ? std::tuple(0u, 0, 0)
                                        : std::tuple(std::uint32_t(c.starts[i]),
                                                     i == n ? 0xAA : c.first + i, 0x10 | control);
            const akrip::TOCTRACK& e = toc.tracks[i];
            EXPECT_EQ(std::tuple(Address(e), +e.trackNumber, +e.ADR), expected) << "entry " << i;
        }

        // Every sector, 26 at a time as extraction reads.
        std::vector<unsigned char> disc;
        for (const auto& [sectors, from, zeros] : c.disc) {
            for (std::int32_t s = 0; s < sectors; ++s) {
                disc.resize(disc.size() + kSector);  // silence unless filled
                if (from >= 0)
                    discmaker::FillSector(kPlan, from + s, &*(disc.end() - kSector));
            }
            std::fill(disc.end() - zeros, disc.end(), 0);
        }
        const std::int32_t end = c.starts.back();
        ASSERT_EQ(disc.size(), std::size_t(end) * kSector);
        for (std::int32_t at = 0; at < end; at += 26) {
            const auto read = ReadSectors(handle, at, std::min(26, end - at));
            ASSERT_TRUE(read) << "at " << at;
            EXPECT_TRUE(std::equal(read->begin(), read->end(), &disc[at * kSector])) << at;
        }
        EXPECT_FALSE(ReadSectors(handle, end - 1, 2)) << "past the lead-out";
    }
}

// What a Windows ripper leaves, copied here (a folder beside the sheet, names in other letter case,
// the audio converted to FLAC, an Enhanced CD's data track): every audio track, byte for byte.
TEST_F(CueImageTest, AWindowsRipListsEveryAudioTrack) {
    for (const auto& [name, type, pregap, dataTrack] : {std::tuple{"Album", FileType::Wave, false, false},
                                                        {"Enhanced CD", FileType::Flac, true, true}}) {
        discmaker::DiscPlan plan{{300, 200, 250}, 7, pregap, type};
        std::ifstream made(discmaker::WriteWindowsRip(folder_.path(), name, plan, dataTrack));
        const int handle = Open(std::string(std::istreambuf_iterator<char>(made), {}));
        akrip::TOC toc{};
        ASSERT_EQ(akrip::ReadTOC(handle, &toc), 1);
        EXPECT_EQ(+toc.lastTrack, 3);
        for (int i = 0; i <= 3; ++i)
            EXPECT_EQ(Address(toc.tracks[i]), std::uint32_t(discmaker::TrackStart(plan, i))) << i;
        const std::int32_t end = discmaker::TotalSectors(plan);
        std::vector<unsigned char> sector(kSector);
        for (std::int32_t at = 0; at < end; at += 26) {
            const auto read = ReadSectors(handle, at, std::min(26, end - at));
            ASSERT_TRUE(read) << at;
            for (std::size_t k = 0; k * kSector < read->size(); ++k) {
                discmaker::FillSector(plan, at + std::int32_t(k), sector.data());
                ASSERT_TRUE(std::equal(sector.begin(), sector.end(), read->begin() + k * kSector)) << at + k;
            }
        }
    }
}

// A damaged FLAC frame, or a FLAC or WAVE file cut short, fails where its audio is missing and only
// there: the tracks keep the places the headers promise, and reads before and after a failure give
// every byte; a second pass fails the same blocks again.
TEST_F(CueImageTest, DamagedAudioFailsOnlyWhereItIsMissing) {
    struct Damage {
        std::string name;
        FileType type;
        std::string sheet;
        bool cut;                            // else damaged in the middle
        std::int32_t badFrom, badTo;         // the failing blocks lie within these sectors
    };
    const std::string two = "FILE b.wav WAVE\n" + Track(2) + Track(3, "00:02:50");
    const std::string flac = "FILE a.flac WAVE\n", wav = "FILE a.wav WAVE\n";
    for (const Damage& d : {Damage{"damaged FLAC frame", FileType::Flac, flac + kThree, false, 301, 501},
                            Damage{"FLAC cut short", FileType::Flac, flac + Track(1) + two, true, 26, 301},
                            Damage{"WAVE cut short", FileType::Wave, wav + Track(1) + two, true, 26, 301}}) {
        SCOPED_TRACE(d.name);
        const std::string first = folder_.file(d.type == FileType::Flac ? "a.flac" : "a.wav");
        discmaker::WriteAudioFile(first, kPlan, 0, d.cut ? 301 : 750, d.type);
        discmaker::WriteAudioFile(folder_.file("b.wav"), kPlan, 301, 449, FileType::Wave);
        const auto size = static_cast<off_t>(std::filesystem::file_size(first));
        if (d.cut) {
            ASSERT_EQ(::truncate(first.c_str(), size / 2), 0);
        } else {
            std::fstream f(first, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(size / 2);
            f << std::string(3000, 'U');
        }
        const int handle = Open(d.sheet);
        akrip::TOC toc{};
        ASSERT_EQ(akrip::ReadTOC(handle, &toc), 1);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Address(toc.tracks[i]), (std::array{0u, 301u, 501u, 750u})[i]) << "entry " << i;
        std::vector<bool> passes[2];
        for (std::vector<bool>& good : passes) {
            for (std::int32_t at = 0; at < 750; at += 26) {
                const auto n = std::min(26, 750 - at);
                const auto read = ReadSectors(handle, at, n);
                good.push_back(read.has_value());
                std::vector<unsigned char> expected(std::size_t(n) * kSector);
                for (int k = 0; k < n; ++k)
                    discmaker::FillSector(kPlan, at + k, &expected[std::size_t(k) * kSector]);
                if (read)
                    EXPECT_EQ(*read, expected) << "at " << at;
                else
                    EXPECT_TRUE(at + n > d.badFrom && at < d.badTo) << "at " << at;
            }
        }
        EXPECT_EQ(passes[0], passes[1]);
        EXPECT_NE(std::count(passes[0].begin(), passes[0].end(), false), 0) << "the damage was read";
        EXPECT_EQ(passes[0].back(), true);
    }
}

// The sheet's titles, from UTF-8 or from Windows' Western code page, one entry per listed track;
// and the files the open disc reads, which extraction must never write.
TEST_F(CueImageTest, TitlesAndTheFilesTheDiscReads) {
    discmaker::WriteAudioFile(folder_.file("a.wav"), kPlan, 0, 750, FileType::Wave);
    const int handle = Open("PERFORMER \"Sigur R\xC3\xB3s\"\nTITLE \"( )\"\n" + kWav + Track(1) +
                            "TITLE \"Caf\xE9 \x93Noir\x94\"\nPERFORMER \"Anna Bell\"\n" + Track(2, "00:04:01") +
                            Track(3, "00:06:51") + "TITLE \"\xE6\x97\xA5\"\n" +
                            "TRACK 04 MODE1/2352\nTITLE \"Data\"\nINDEX 00 00:10:00\n");
    const akrip::DiscText text = akrip::ReadDiscText(handle);
    EXPECT_EQ(text.title, "( )");
    EXPECT_EQ(text.performer, "Sigur R\xC3\xB3s");
    ASSERT_EQ(text.tracks.size(), 3u);
    const std::vector<std::pair<std::string, std::string>> tracks = {
        {"Caf\xC3\xA9 \xE2\x80\x9CNoir\xE2\x80\x9D", "Anna Bell"}, {"", ""}, {"\xE6\x97\xA5", ""}};
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::pair(text.tracks[i].title, text.tracks[i].performer), tracks[i]) << i;

    auto reads = [&](int h, const std::string& path) {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return akrip::DiscReadsFile(h, info.st_dev, info.st_ino);
    };
    discmaker::WriteAudioFile(folder_.file("other.wav"), kPlan, 0, 1, FileType::Wave);
    EXPECT_TRUE(reads(handle, folder_.file("a.wav")));
    EXPECT_TRUE(reads(handle, sheet_));
    EXPECT_FALSE(reads(handle, folder_.file("other.wav")));
    akrip::CloseCDHandle(handle);
    EXPECT_FALSE(reads(handle, folder_.file("a.wav"))) << "closed";
    EXPECT_TRUE(akrip::ReadDiscText(handle).tracks.empty()) << "closed";
}

// Sheets of tracks in order with random times, gaps, files, modes and broken lines, every other
// one shuffled: each opens without a crash (the sanitizer build checks memory), and gives a
// consistent table, or none and one line.
TEST_F(CueImageTest, MalformedSheetsOpenSafely) {
    discmaker::WriteAudioFile(folder_.file("a.bin"), kPlan, 0, 300, FileType::Binary);
    discmaker::WriteAudioFile(folder_.file("b.wav"), kPlan, 300, 100, FileType::Wave, 33);
    std::mt19937 rng(20261207);
    auto pick = [&](std::vector<std::string> words) { return words[rng() % words.size()]; };
    auto time = [&](unsigned from) {  // mostly a time from `from` on
        char msf[16];
        const unsigned f = from + rng() % 90;
        std::snprintf(msf, sizeof msf, "%02u:%02u:%02u", f / 4500, f / 75 % 60, f % 75);
        return rng() % 30 ? msf : pick({"1:2", "::", "99:99:99", "999999999:59:74", "0:0x:0"});
    };
    int opened = 0, refused = 0;
    ::testing::internal::CaptureStderr();
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> lines;
        for (unsigned t = 1, tracks = 1 + rng() % 5; t <= tracks; ++t) {
            if (t == 1 || rng() % 4 == 0)
                lines.push_back(pick({"FILE a.bin BINARY", "FILE \"b.wav\" WAVE",
                                      "FILE 'a.bin' MOTOROLA"}));
            lines.push_back("TRACK 0" + std::to_string(t) + (rng() % 9 ? " AUDIO" : " MODE1/2048"));
            for (const auto& [line, sixths] : {std::pair{"PREGAP ", 2u}, {"INDEX 00 ", 2u},
                                               {"INDEX 01 ", 5u}, {"POSTGAP ", 1u},
                                               {"INDEX 02 ", 1u}})
                if (rng() % 6 < sixths)
                    lines.push_back(line + time((t - 1) * 60));
            if (rng() % (round % 2 ? 2 : 12) == 0)
                lines.push_back(pick({std::string(rng() % 40, char(' ' + rng() % 95)), "\r",
                                      "TRACK 1", "FILE gone.bin BINARY", "FILE a.bin MP3",
                                      "FILE \"a.bin", "TRACK 100 AUDIO", "FLAGS DCP PRE",
                                      "INDEX 4294967297 0"}));
        }
        if (round % 2)
            std::shuffle(lines.begin(), lines.end(), rng);
        std::string sheet;
        for (const std::string& line : lines)
            sheet += line + (round % 2 ? pick({"\n", "\r\n", " "}) : "\n");
        const int handle = Open(sheet);
        akrip::TOC toc{};
        if (akrip::ReadTOC(handle, &toc) != 1) {
            ++refused;
            continue;
        }
        ++opened;
        const int last = toc.lastTrack - toc.firstTrack + 1;
        for (int i = 0; i < last; ++i)
            EXPECT_LT(Address(toc.tracks[i]), Address(toc.tracks[i + 1])) << sheet;
        const std::uint32_t end = Address(toc.tracks[last]), at = rng() % 400;
        EXPECT_TRUE(ReadSectors(handle, 0, 1) && ReadSectors(handle, end - 1, 1)) << sheet;
        EXPECT_EQ(ReadSectors(handle, at, 3).has_value(), at + 3 <= end) << sheet;
    }
    std::istringstream said(::testing::internal::GetCapturedStderr());
    EXPECT_TRUE(opened > 30 && refused > 30) << opened << " opened, " << refused << " refused";
    int count = 0;
    for (std::string line; std::getline(said, line); ++count)
        EXPECT_EQ(line.rfind("Dorvane: cannot use the CUE sheet ", 0), 0u) << line;
    EXPECT_EQ(count, refused) << "one line for each sheet refused, nothing else";
}

}  // namespace
