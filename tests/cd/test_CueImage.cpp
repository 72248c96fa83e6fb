// CUE sheets as people have them, read through the CD library layer from real files: the table of
// contents and every sector against the audio the files were made from, or the line saying why not.

#include <gtest/gtest.h>
#include <sys/stat.h>

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
#include "cd/CueSheetScan.h"
#include "cd/DiscInfo.h"
#include "cd/akrip32_testing.h"

namespace {

using discmaker::FileType;
using namespace testsupport;

constexpr int kSector = akrip::kSectorBytes;
const discmaker::DiscPlan kPlan{{300, 200, 250}, 5, false}; // 750 sectors to cut files from
// A TRACK line, what comes before its INDEX 01 line, and that line.
std::string Track(int number, const std::string& index = "00:00:00", const std::string& before = "",
                  const std::string& mode = "AUDIO") {
    return "TRACK 0" + std::to_string(number) + ' ' + mode + '\n' + before + "INDEX 01 " + index +
           '\n';
}
const std::string kBin = "FILE d.bin BINARY\n", kWav = "FILE a.wav WAVE\n",
                  kFlac = "FILE a.flac WAVE\n";
// Tracks at sectors 0, 301 and 501: odd starts, so that no offset is lost to rounding.
const std::string kThree = Track(1) + Track(2, "00:04:01") + Track(3, "00:06:51");
// Tracks 2 and 3 from b.wav, which holds sectors 301 on.
const std::string kTwoFromB = "FILE b.wav WAVE\n" + Track(2) + Track(3, "00:02:50");

struct File { // sectors [first, first + count) of kPlan, less cutFrames stereo frames at the end
    std::string name;
    std::int32_t first, count;
    FileType type = FileType::Binary;
    std::int32_t cutFrames = 0;
    discmaker::SoundForm form = {};
};

struct Case {
    std::string name;
    std::vector<File> files;
    std::string sheet;
    std::vector<std::int32_t> starts = {0, 301, 501, 750}; // and the lead-out
    // Stretches of the disc: {sectors, from this of kPlan or silence (-1), zero bytes at the end}
    std::vector<std::array<std::int32_t, 3>> disc = {{750, 0, 0}};
    int first = 1;                           // the first track's number
    std::vector<std::uint8_t> controls = {}; // per track; empty: all audio, no flags
    char damage =
        0; // to the first file: 'c' cut to half its bytes, 'd' 3000 bytes overwritten mid-way
    std::array<int, 2> bad =
        {}; // reads fail only if they touch these sectors, and then on every pass
};

std::vector<Case> Cases() {
    const File bin{"d.bin", 0, 750}, b{"b.wav", 301, 449, FileType::Wave};
    return {
        {.name = "sheet named apart from its BIN, a decoy BIN beside it",
         .files = {bin, {"f.bin", 50, 700}},
         .sheet = kBin + Track(1, "00:00:00", "FLAGS DCP PRE\n") + Track(2, "00:04:01") +
                  Track(3, "00:06:51", "", "MODE1/2352"),
         .controls = {0x03, 0x00, 0x04}},
        {"one BIN per track, after a byte order mark",
         {{"1.bin", 0, 301}, {"2.bin", 301, 200}, {"3.bin", 501, 249}},
         "\xEF\xBB\xBF"
         "FILE 1.bin BINARY\n" +
             Track(1) + "FILE 2.bin BINARY\n" + Track(2) + "FILE 3.bin BINARY\n" + Track(3)},
        {.name = "MOTOROLA; a data track left unripped, which Windows rippers write as MODEx/2xxx",
         .files = {{"m.bin", 0, 750, FileType::Motorola}},
         .sheet = "FILE m.bin MOTOROLA\n" + Track(1) + Track(2, "00:04:01") +
                  Track(3, "00:06:51", "", "MODEx/2xxx"),
         .controls = {0x00, 0x00, 0x04}},
        {"PREGAP and POSTGAP silence",
         {bin},
         kBin + Track(1, "00:00:00", "PREGAP 00:01:00\n") +
             Track(2, "00:04:01", "PREGAP 00:00:30\n") + Track(3, "00:06:51") +
             "POSTGAP 00:00:10\n",
         {75, 406, 606, 865},
         {{75, -1, 0}, {301, 0, 0}, {30, -1, 0}, {449, 301, 0}, {10, -1, 0}}},
        {"INDEX 00 gaps stay in the track before; POSTGAP goes before them",
         {bin},
         kBin + Track(1, "00:00:51", "INDEX 00 00:00:00\n") + "POSTGAP 00:00:05\n" +
             Track(2, "00:04:01", "INDEX 00 00:03:56\n") + Track(3, "00:06:51"),
         {51, 306, 506, 755},
         {{281, 0, 0}, {5, -1, 0}, {469, 281, 0}}},
        {.name = "WAVE files, first track 4, its gap at the end of the file before",
         .files = {{"a.wav", 0, 301, FileType::Wave}, b},
         .sheet = kWav + Track(4) + Track(5, "00:00:00", "INDEX 00 00:03:56\nFILE b.wav WAVE\n") +
                  Track(6, "00:02:50"),
         .first = 4},
        {.name = "files not a whole number of sectors",
         .files = {{"a.bin", 0, 301, FileType::Binary, 147},
                   {"b.wav", 301, 449, FileType::Wave, 100}},
         .sheet = "FILE a.bin BINARY\n" + Track(1) + kTwoFromB,
         .disc = {{301, 0, 147 * 4}, {449, 301, 100 * 4}}},
        // A FLAC file with a damaged frame (also the one whole FLAC file named as it is), or cut
        // short, and a WAVE file cut short: the tracks keep the places the headers promise.
        {.name = "damaged FLAC frame",
         .files = {{"a.flac", 0, 750, FileType::Flac}},
         .sheet = kFlac + kThree,
         .damage = 'd',
         .bad = {301, 501}},
        {.name = "FLAC cut short",
         .files = {{"a.flac", 0, 301, FileType::Flac}, b},
         .sheet = kFlac + Track(1) + kTwoFromB,
         .damage = 'c',
         .bad = {26, 301}},
        {.name = "WAVE cut short",
         .files = {{"a.wav", 0, 301, FileType::Wave}, b},
         .sheet = kWav + Track(1) + kTwoFromB,
         .damage = 'c',
         .bad = {26, 301}},
        // Single steps of finding a FILE; AWindowsRipListsEveryAudioTrack reads whole rips, a
        // file's name in other letter case behind a folder among them.
        {"several FILE lines in other letter case, two in one folder, converted or beside the "
         "sheet",
         {{"disc/one.wav", 0, 300, FileType::Wave},
          {"disc/Two.flac", 300, 200, FileType::Flac},
          {"three.wav", 500, 250, FileType::Wave}},
         "FILE \"DISC\\ONE.WAV\" WAVE\n" + Track(1) + "FILE \"Disc\\two.wav\" WAVE\n" + Track(2) +
             "FILE \"C:\\Elsewhere\\THREE.WAV\" WAVE\n" + Track(3),
         {0, 300, 500, 750}},
        {"converted to FLAC, named by a Windows path beside the sheet",
         {{"c.flac", 0, 750, FileType::Flac}},
         "FILE \"C:\\Rips\\c.wav\" WAVE\n" + kThree},
        {"a \"\\\" in the file's own name",
         {{"lit\\x.wav", 0, 750, FileType::Wave}},
         "FILE \"lit\\x.wav\" WAVE\n" + kThree},
        // Names that are not UTF-8 are told apart by their bytes, or read in the sheet's 8-bit
        // encoding.
        {"names in Windows' Western code page, and not UTF-8 in other letter case",
         {{"caf\xC3\xA9.wav", 0, 300, FileType::Wave}, {"B\xE9.wav", 300, 450, FileType::Wave}},
         "FILE \"CAF\xE9.WAV\" WAVE\n" + Track(1) + "FILE \"b\xE9.wav\" WAVE\n" + Track(2),
         {0, 300, 750}},
    };
}

// Sectors [first, first + count) of a plan's audio.
std::vector<unsigned char> Audio(const discmaker::DiscPlan& plan, std::int32_t first,
                                 std::int32_t count) {
    std::vector<unsigned char> audio(std::size_t(count) * kSector);
    for (std::int32_t s = 0; s < count; ++s)
        discmaker::FillSector(plan, first + s, &audio[std::size_t(s) * kSector]);
    return audio;
}

// Reads the whole disc 26 sectors at a time, as extraction does: each read gives the disc's bytes,
// or fails and touches the sectors [bad[0], bad[1]). Which reads worked.
std::vector<bool> ReadAll(int handle, const std::vector<unsigned char>& disc,
                          std::array<int, 2> bad = {}) {
    std::vector<bool> good;
    for (int at = 0, end = int(disc.size() / kSector); at < end; at += 26) {
        const auto read = ReadSectors(handle, at, std::min(26, end - at));
        good.push_back(read.has_value());
        EXPECT_TRUE(read ? std::equal(read->begin(), read->end(), disc.begin() + at * kSector)
                         : at + 26 > bad[0] && at < bad[1])
            << "at " << at;
    }
    return good;
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

TEST_F(CueImageTest, EveryCaseGivesItsTableAndEveryByte) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        for (const File& f : c.files) {
            std::filesystem::create_directories(
                std::filesystem::path(folder_.file(f.name)).parent_path());
            discmaker::WriteAudioFile(folder_.file(f.name), kPlan, f.first, f.count, f.type,
                                      f.cutFrames, f.form);
        }
        if (c.damage) {
            const std::string path = folder_.file(c.files[0].name);
            const auto half = std::filesystem::file_size(path) / 2;
            if (c.damage == 'c')
                std::filesystem::resize_file(path, half);
            else
                std::fstream(path, std::ios::in | std::ios::out).seekp(half)
                    << std::string(3000, 'U');
        }
        const int handle = Open(c.sheet);
        akrip::TOC toc;
        std::fill_n(reinterpret_cast<unsigned char*>(&toc), sizeof toc, 0xff);
        ASSERT_EQ(akrip::ReadTOC(handle, &toc), 1);
        const auto n = static_cast<int>(c.starts.size()) - 1;
        EXPECT_EQ(std::pair(+toc.firstTrack, +toc.lastTrack), std::pair(c.first, c.first + n - 1));
        for (int i = 0; i <= n + 1; ++i) { // the tracks, the lead-out, then zeros
            const int adr = 0x10 | (c.controls.empty() ? 0 : c.controls[std::min(i, n - 1)]);
            const auto expected =
                i > n ? std::tuple(0u, 0, 0)
                      : std::tuple(std::uint32_t(c.starts[i]), i == n ? 0xAA : c.first + i, adr);
            const akrip::TOCTRACK& e = toc.tracks[i];
            EXPECT_EQ(std::tuple(Address(e), +e.trackNumber, +e.ADR), expected) << "entry " << i;
        }

        std::vector<unsigned char> disc;
        for (const auto& [sectors, from, zeros] : c.disc) {
            const auto part = from < 0 ? std::vector<unsigned char>(std::size_t(sectors) * kSector)
                                       : Audio(kPlan, from, sectors);
            disc.insert(disc.end(), part.begin(), part.end() - zeros);
            disc.resize(disc.size() + zeros);
        }
        const std::int32_t end = c.starts.back();
        ASSERT_EQ(disc.size(), std::size_t(end) * kSector);
        const std::vector<bool> good = ReadAll(handle, disc, c.bad);
        EXPECT_EQ(ReadAll(handle, disc, c.bad), good) << "a second pass fails the same reads";
        EXPECT_EQ(std::count(good.begin(), good.end(), false) > 0, c.damage != 0)
            << "the damage was read";
        EXPECT_FALSE(ReadSectors(handle, end - 1, 2)) << "past the lead-out";
    }
}

// Sheets refused: files not found or not to be told apart, audio not of a CD, numbers libcue
// would wrap or take as they come, tracks out of order. The drive is there, without a disc, and
// one line says why.
TEST_F(CueImageTest, ABrokenSheetSaysWhy) {
    ASSERT_EQ(::mkfifo(folder_.file("p.wav").c_str(), 0600), 0); // which would block a reader
    const auto write = [&](const std::string& name, std::int32_t count, FileType type,
                           discmaker::SoundForm form = {}) {
        discmaker::WriteAudioFile(folder_.file(name), kPlan, 0, count, type, 0, form);
    };
    write("d.bin", 750, FileType::Binary), write("1.bin", 301, FileType::Binary);
    write("x.flac", 300, FileType::Flac), write("x.aiff", 300, FileType::Aiff);
    for (const char* name : {"Y.wav", "y.WAV", "Caf\xE9.wav", "caf\xC3\xA9.wav"})
        write(name, 300, FileType::Wave);
    write("h.wav", 300, FileType::Wave, {48000, 2, 16});
    write("m.wav", 300, FileType::Wave, {44100, 1, 16});
    const std::pair<std::string, std::string> cases[] = {
        {"\"x.wav\" could be any of " + folder_.file("x.flac") + ", " + folder_.file("x.aiff"),
         "FILE x.wav WAVE\n" + Track(1)},
        {"\"y.wav\" could be any of ", "FILE y.wav WAVE\n" + Track(1)},
        {"cannot find \"sub\\gone.wav\": looked for " + folder_.file("sub\\gone.wav") + ", " +
             folder_.file("sub/gone.wav") + " and " + folder_.file("gone.wav") +
             ", in any letter case, and as .flac, .aiff, .aif",
         "FILE \"sub\\gone.wav\" WAVE\n" + Track(1)},
        {"cannot find \"caf\\xE8.wav\"", "FILE \"caf\xE8.wav\" WAVE\n" + Track(1)},
        {"cannot find \"gone.bin\": looked for " + folder_.file("gone.bin") +
             ", in any letter case",
         "FILE gone.bin BINARY\n" + Track(1)},
        {"line 5, \"INDEX 01 954437:11:71\": the time lies beyond what a disc can address",
         kBin + Track(1) + Track(2, "954437:11:71")},
        {"line 4, \"POSTGAP 954437:59:00\": the time lies beyond",
         kBin + Track(1) + "POSTGAP 954437:59:00\n"},
        {"line 6, \"INDEX 4294967297 00:01:00\": index numbers run from 00 to 99",
         "FILE 1.bin BINARY\n" + Track(1) +
             "TRACK 02 AUDIO\nFILE d.bin BINARY\nINDEX 4294967297 00:01:00\n"},
        {"line 3, \"INDEX 01 00:40:75\": times are minutes:seconds:frames, with seconds below 60 "
         "and frames below 75",
         kBin + Track(1, "00:40:75")},
        {"line 4, \"INDEX 01 00:01:00\": TRACK 01 has INDEX 01 already",
         kBin + Track(1) + "INDEX 01 00:01:00\n"},
        {"line 4, \"TRACK 4294967298 AUDIO\": TRACK 4294967298 follows TRACK 01",
         kBin + Track(1) + "TRACK 4294967298 AUDIO\nINDEX 01 00:04:00\n"},
        {"48000 Hz", "FILE h.wav WAVE\n" + Track(1)},
        {"1-channel", "FILE m.wav WAVE\n" + Track(1)},
        {"p.wav): not a file", "FILE p.wav WAVE\n" + Track(1)},
        {"line 4, \"TRACK 01 AUDIO\": TRACK 01 follows TRACK 02",
         kBin + Track(2) + Track(1, "00:04:00")},
        {"line 4, \"TRACK 02 AUDIO\": TRACK 02 does not start after the track before it",
         kBin + Track(1, "00:04:00") + Track(2, "00:01:00")},
        {"past the end of \"d.bin\" (00:10:00 long)", kBin + Track(1, "00:10:00")},
        {"no audio track", kBin + Track(1, "00:00:00", "", "MODE1/2352")},
        {"near line 4: syntax error", kBin + Track(1) + "BOGUS 3\n"},
    };
    for (const auto& [says, sheet] : cases) {
        ::testing::internal::CaptureStderr();
        const int handle = Open(sheet);
        const std::string said = ::testing::internal::GetCapturedStderr();
        akrip::TOC toc{};
        EXPECT_TRUE(handle > 0 && akrip::ReadTOC(handle, &toc) == 0) << says;
        EXPECT_EQ(said.find("Dorvane: cannot use the CUE sheet " + sheet_ + ": "), 0u) << said;
        EXPECT_NE(said.find(says), std::string::npos) << said;
    }
}

// What a Windows ripper leaves, copied here (a folder beside the sheet, names in other letter case,
// the audio converted to FLAC, an Enhanced CD's data track): every audio track, byte for byte.
TEST_F(CueImageTest, AWindowsRipListsEveryAudioTrack) {
    for (const auto& [name, type, pregap, dataTrack] :
         {std::tuple{"Album", FileType::Wave, false, false},
          {"Enhanced CD", FileType::Flac, true, true}}) {
        discmaker::DiscPlan plan{{300, 200, 250}, 7, pregap, type};
        std::ifstream made(discmaker::WriteWindowsRip(folder_.path(), name, plan, dataTrack));
        const int handle = Open(std::string(std::istreambuf_iterator<char>(made), {}));
        akrip::TOC toc{};
        ASSERT_EQ(akrip::ReadTOC(handle, &toc), 1);
        EXPECT_EQ(+toc.lastTrack, 3);
        for (int i = 0; i <= 3; ++i)
            EXPECT_EQ(Address(toc.tracks[i]), std::uint32_t(discmaker::TrackStart(plan, i))) << i;
        ReadAll(handle, Audio(plan, 0, discmaker::TotalSectors(plan)));
    }
}

// The sheet's titles, from UTF-8 or from Windows' Western code page (one ending in "\", as
// Shift-JIS titles may), one entry per listed track; and the files the open disc reads, which
// extraction must never write.
TEST_F(CueImageTest, TitlesAndTheFilesTheDiscReads) {
    discmaker::WriteAudioFile(folder_.file("a.wav"), kPlan, 0, 750, FileType::Wave);
    const int handle =
        Open("PERFORMER \"Sigur R\xC3\xB3s\"\nTITLE \"( )\"\n" + kWav + Track(1) +
             "TITLE \"Caf\xE9 \x93Noir\x94\"\nPERFORMER \"Anna Bell\"\n" + Track(2, "00:04:01") +
             Track(3, "00:06:51") + "TITLE \"\xE6\x97\xA5\"\nPERFORMER \"\x83\x5C\"\n" +
             "TRACK 04 MODE1/2352\nTITLE \"Data\"\nINDEX 00 00:10:00\n");
    const akrip::DiscText text = akrip::ReadDiscText(handle);
    std::vector<std::string> titles = {text.title + "/" + text.performer}; // then each track's
    for (const auto& track : text.tracks)
        titles.push_back(track.title + "/" + track.performer);
    EXPECT_EQ(titles,
              (std::vector<std::string>{"( )/Sigur R\xC3\xB3s",
                                        "Caf\xC3\xA9 \xE2\x80\x9CNoir\xE2\x80\x9D/Anna Bell", "/",
                                        "\xE6\x97\xA5/\xC6\x92\\"}));

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
    auto time = [&](unsigned from) { // mostly a time from `from` on
        char msf[16];
        const unsigned f = from + rng() % 90;
        std::snprintf(msf, sizeof msf, "%02u:%02u:%02u", f / 4500, f / 75 % 60, f % 75);
        return rng() % 30 ? msf : pick({"1:2", "::", "99:99:99", "999999999:59:74", "0:0x:0"});
    };
    // Lines that may follow a TRACK line, each in so many sixths of the tracks.
    const std::pair<std::string, unsigned> gaps[] = {
        {"PREGAP ", 2}, {"INDEX 00 ", 2}, {"INDEX 01 ", 5}, {"POSTGAP ", 1}, {"INDEX 02 ", 1}};
    int refused = 0;
    ::testing::internal::CaptureStderr();
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> lines;
        for (unsigned t = 1, tracks = 1 + rng() % 5; t <= tracks; ++t) {
            if (t == 1 || rng() % 4 == 0)
                lines.push_back(
                    pick({"FILE a.bin BINARY", "FILE \"b.wav\" WAVE", "FILE 'a.bin' MOTOROLA"}));
            lines.push_back("TRACK 0" + std::to_string(t) + (rng() % 9 ? " AUDIO" : " MODE1/2048"));
            for (const auto& [line, sixths] : gaps)
                if (rng() % 6 < sixths)
                    lines.push_back(line + time((t - 1) * 60));
            if (rng() % (round % 2 ? 2 : 12) == 0)
                lines.push_back(
                    pick({std::string(rng() % 40, char(' ' + rng() % 95)), "\r", "TRACK 1",
                          "FILE gone.bin BINARY", "FILE a.bin MP3", "FILE \"a.bin",
                          "TRACK 100 AUDIO", "FLAGS DCP PRE", "INDEX 4294967297 0"}));
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
        const int last = toc.lastTrack - toc.firstTrack + 1;
        for (int i = 0; i < last; ++i)
            EXPECT_LT(Address(toc.tracks[i]), Address(toc.tracks[i + 1])) << sheet;
        const std::uint32_t end = Address(toc.tracks[last]), at = rng() % 400;
        EXPECT_TRUE(ReadSectors(handle, 0, 1) && ReadSectors(handle, end - 1, 1)) << sheet;
        EXPECT_EQ(ReadSectors(handle, at, 3).has_value(), at + 3 <= end) << sheet;
    }
    std::istringstream said(::testing::internal::GetCapturedStderr());
    EXPECT_TRUE(refused > 30 && refused < 270) << refused << " of 300 refused";
    int count = 0;
    for (std::string line; std::getline(said, line); ++count)
        EXPECT_EQ(line.rfind("Dorvane: cannot use the CUE sheet ", 0), 0u) << line;
    EXPECT_EQ(count, refused) << "one line for each sheet refused, nothing else";
}

// What taggers read from a sheet: the REM DATE, GENRE, DISCNUMBER and TOTALDISCS comments and the
// CATALOG line before the first track, and each track's ISRC. Text in Windows' code page becomes
// UTF-8; codes of the wrong shape and disc numbers past 99 are left out, and a comment inside a
// track is not the disc's.
TEST(CueSheetScan, WhatTaggersReadFromASheet) {
    const struct {
        std::string sheet, disc; // date|genre|disc/total|catalog
        std::vector<std::string> isrcs;
    } cases[] = {
        {"REM GENRE \"Hard Rock\"\nREM DATE 1998\nREM DISCNUMBER 2\nREM TOTALDISCS 3\n"
         "CATALOG 0724349691121\n" +
             kBin + Track(1, "00:00:00", "ISRC GBAYE9800012\n") + Track(2, "00:04:01"),
         "1998|Hard Rock|2/3|0724349691121",
         {"GBAYE9800012", ""}},
        {"REM DATE \"1998-05-21\"\nREM GENRE Canci\xF3n\nREM DISCNUMBER 100\nCATALOG 12345\n" +
             kBin + Track(1, "00:00:00", "ISRC gbaye9800012\nREM DATE 2001\n") +
             Track(2, "00:04:01", "ISRC GBAYE98000123\n"),
         "1998-05-21|Canci\xC3\xB3n|0/0|",
         {"", ""}},
    };
    for (const auto& c : cases) {
        const akrip::detail::SheetScan scan = akrip::detail::ScanSheet(c.sheet);
        akrip::DiscText text;
        akrip::detail::SetDiscText(text, scan);
        EXPECT_EQ(text.date + "|" + text.genre + "|" + std::to_string(text.discNumber) + "/" +
                      std::to_string(text.totalDiscs) + "|" + text.catalog,
                  c.disc);
        std::vector<std::string> isrcs;
        for (const auto& track : scan.tracks)
            isrcs.push_back(akrip::detail::TrackTextOf(track).isrc);
        EXPECT_EQ(isrcs, c.isrcs) << c.sheet;
    }
}

} // namespace
