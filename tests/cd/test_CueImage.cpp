// CUE sheets as people have them, read through the CD library layer: each
// case writes real files (raw, WAVE, AIFF, FLAC through libsndfile), a sheet
// by hand or by discmaker, lists it in DORVANE_DISC_IMAGES, and then checks
// the whole table of contents and every sector of the disc against the audio
// the files were made from.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CdTestSupport.h"
#include "DiscMaker.h"
#include "TestSupport.h"
#include "cd/akrip32.h"
#include "cd/akrip32_testing.h"

namespace {

using discmaker::FileType;
using testsupport::Address;
using testsupport::ReadSectors;
using testsupport::TempFolder;
using testsupport::TrackBlock;

constexpr int kSector = akrip::kSectorBytes;
// Three tracks of 4 s, 2 2/3 s and 3 1/3 s: 750 sectors in all. Track 2
// starts at 00:04:00, track 3 at 00:06:50.
const discmaker::DiscPlan kPlan{{300, 200, 250}, 5, false};

struct File {
    std::string name;
    std::int32_t first;  // sectors of kPlan it holds
    std::int32_t count;
    FileType type = FileType::Binary;
    std::int32_t cutFrames = 0;
    discmaker::SoundForm form = {};
};

// A stretch of the expected disc: sectors of kPlan from `from`, or silence
// (from -1); the last zeroTail bytes of its last sector are padding.
struct Piece {
    std::int32_t sectors;
    std::int32_t from;
    int zeroTail = 0;
};

struct Case {
    const char* name;
    std::vector<File> files;
    std::string sheet;  // empty: discmaker writes sheet and file from `made`
    std::vector<std::int32_t> starts;  // track starts, then the lead-out
    std::vector<Piece> disc;
    int firstNumber = 1;
    std::vector<std::uint8_t> controls = {};  // per track; empty: all audio, no flags
    discmaker::DiscPlan made = {};
};

const char* const kThreeTracks =
    "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n"
    "  TRACK 03 AUDIO\n    INDEX 01 00:06:50\n";
const std::vector<std::int32_t> kStarts = {0, 300, 500, 750};
const std::vector<Piece> kWhole = {{750, 0}};

std::vector<File> PerTrack(FileType type, const char* ext) {
    return {{std::string("t1") + ext, 0, 300, type}, {std::string("t2") + ext, 300, 200, type},
            {std::string("t3") + ext, 500, 250, type}};
}

std::string PerTrackSheet(const char* ext, const char* keyword) {
    std::string sheet;
    for (int t = 1; t <= 3; ++t)
        sheet += "FILE \"t" + std::to_string(t) + ext + "\" " + keyword + "\n  TRACK 0" + std::to_string(t) +
                 " AUDIO\n    INDEX 01 00:00:00\n";
    return sheet;
}

std::vector<std::int32_t> MadeStarts(const discmaker::DiscPlan& plan) {
    std::vector<std::int32_t> starts;
    for (std::size_t i = 0; i <= plan.trackSectors.size(); ++i)
        starts.push_back(discmaker::TrackStart(plan, static_cast<int>(i)));
    return starts;
}

Case Made(const char* name, discmaker::DiscPlan plan) {
    return {name, {}, "", MadeStarts(plan), {{discmaker::TotalSectors(plan), 0}}, 1, {}, plan};
}

std::vector<Case> Cases() {
    std::vector<std::int32_t> many;
    for (int i = 0; i < 99; ++i)
        many.push_back(10 + i * 7 % 50);
    return {
        {"sheet named apart from its BIN, a decoy BIN beside it",
         {{"d.bin", 0, 750}, {"f.bin", 50, 700}},
         "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    FLAGS DCP PRE\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
         "    INDEX 01 00:04:00\n  TRACK 03 MODE1/2352\n    INDEX 01 00:06:50\n",
         kStarts, kWhole, 1, {0x03, 0x00, 0x04}},
        {"one BIN per track, a byte order mark before the sheet", PerTrack(FileType::Binary, ".bin"),
         "\xEF\xBB\xBF" + PerTrackSheet(".bin", "BINARY"), kStarts, kWhole},
        {"one WAVE per track", PerTrack(FileType::Wave, ".wav"), PerTrackSheet(".wav", "WAVE"), kStarts, kWhole},
        {"one AIFF per track", PerTrack(FileType::Aiff, ".aiff"), PerTrackSheet(".aiff", "AIFF"), kStarts, kWhole},
        {"one FLAC file for the album", {{"album.flac", 0, 750, FileType::Flac}},
         std::string("FILE \"album.flac\" WAVE\n") + kThreeTracks, kStarts, kWhole},
        {"MOTOROLA", {{"m.bin", 0, 750, FileType::Motorola}}, std::string("FILE m.bin MOTOROLA\n") + kThreeTracks,
         kStarts, kWhole},
        {"PREGAP and POSTGAP silence", {{"d.bin", 0, 750}},
         "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    PREGAP 00:01:00\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
         "    PREGAP 00:00:30\n    INDEX 01 00:04:00\n  TRACK 03 AUDIO\n    INDEX 01 00:06:50\n    POSTGAP 00:00:10\n",
         {75, 405, 605, 865}, {{75, -1}, {300, 0}, {30, -1}, {450, 300}, {10, -1}}},
        {"INDEX 00 gaps stay in the track before; POSTGAP goes before them", {{"d.bin", 0, 750}},
         "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:50\n"
         "    POSTGAP 00:00:05\n  TRACK 02 AUDIO\n    INDEX 00 00:03:55\n    INDEX 01 00:04:00\n"
         "  TRACK 03 AUDIO\n    INDEX 01 00:06:50\n",
         {50, 305, 505, 755}, {{280, 0}, {5, -1}, {470, 280}}},
        {"first track 4, gap at the end of the file before",
         {{"a.wav", 0, 300, FileType::Wave}, {"b.wav", 300, 450, FileType::Wave}},
         "FILE \"a.wav\" WAVE\n  TRACK 04 AUDIO\n    INDEX 01 00:00:00\n  TRACK 05 AUDIO\n    INDEX 00 00:03:55\n"
         "FILE \"b.wav\" WAVE\n    INDEX 01 00:00:00\n  TRACK 06 AUDIO\n    INDEX 01 00:02:50\n",
         kStarts, kWhole, 4},
        {"files not a whole number of sectors",
         {{"a.bin", 0, 300, FileType::Binary, 147}, {"b.wav", 300, 450, FileType::Wave, 100}},
         "FILE a.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE b.wav WAVE\n  TRACK 02 AUDIO\n"
         "    INDEX 01 00:00:00\n  TRACK 03 AUDIO\n    INDEX 01 00:02:50\n",
         kStarts, {{300, 0, 147 * 4}, {450, 300, 100 * 4}}},
        Made("1 track", {{4000}, 3}),
        Made("12 tracks", {{300, 450, 301, 900, 75, 1, 600, 333, 2000, 150, 299, 1200}, 3}),
        Made("99 tracks", {many, 3}),
        Made("150 quiet sectors before track 1", {{300, 200}, 3, true}),
        Made("FLAC from discmaker", {{300, 200}, 3, false, FileType::Flac}),
    };
}

class CueImageTest : public ::testing::Test {
protected:
    void SetUp() override { akrip::testing::CloseAllHandles(); }
    void TearDown() override { akrip::testing::CloseAllHandles(); }

    // The handle of the image at `sheet`, listed as the only image.
    int Open(const std::string& sheet) {
        images_.reset();
        images_.emplace(std::vector<std::string>{sheet});
        akrip::CDLIST list{};
        akrip::GetCDList(&list);
        return testsupport::OpenDrive(list.num - 1);
    }
    std::string WriteSheet(const std::string& name, const std::string& text) {
        const std::string path = folder_.file(name);
        std::FILE* f = std::fopen(path.c_str(), "w");
        EXPECT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
        return path;
    }
    void WriteFiles(const std::vector<File>& files) {
        for (const File& f : files)
            discmaker::WriteAudioFile(folder_.file(f.name), kPlan, f.first, f.count, f.type, f.cutFrames, f.form);
    }

    TempFolder folder_;
    std::optional<testsupport::ScopedDiscImages> images_;
};

TEST_F(CueImageTest, EveryCaseGivesItsTableAndEveryByte) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        WriteFiles(c.files);
        const bool made = c.sheet.empty();
        const std::string sheet = made ? discmaker::WriteCueBin(folder_.path(), "made", c.made) : WriteSheet("f.cue", c.sheet);
        const int handle = Open(sheet);
        ASSERT_GT(handle, 0);
        akrip::TOC toc;
        std::memset(&toc, 0xff, sizeof toc);
        ASSERT_EQ(akrip::ReadTOC(handle, &toc), 1);
        const auto n = static_cast<int>(c.starts.size()) - 1;
        EXPECT_EQ(toc.firstTrack, c.firstNumber);
        EXPECT_EQ(toc.lastTrack, c.firstNumber + n - 1);
        for (int i = 0; i <= n; ++i) {
            EXPECT_EQ(Address(toc.tracks[i]), static_cast<std::uint32_t>(c.starts[static_cast<std::size_t>(i)])) << i;
            EXPECT_EQ(toc.tracks[i].trackNumber, i == n ? 0xAA : c.firstNumber + i);
            const std::uint8_t control = c.controls.empty() ? 0 : c.controls[static_cast<std::size_t>(std::min(i, n - 1))];
            EXPECT_EQ(toc.tracks[i].ADR, 0x10 | control) << i;
        }
        EXPECT_TRUE(n == 99 || Address(toc.tracks[n + 1]) == 0u);

        // Every sector, 26 at a time as extraction reads.
        const discmaker::DiscPlan& plan = made ? c.made : kPlan;
        std::vector<unsigned char> expected;
        for (const Piece& p : c.disc) {
            for (std::int32_t s = 0; s < p.sectors; ++s) {
                unsigned char sector[kSector] = {};
                if (p.from >= 0)
                    discmaker::FillSector(plan, p.from + s, sector);
                if (s == p.sectors - 1)
                    std::memset(sector + kSector - p.zeroTail, 0, static_cast<std::size_t>(p.zeroTail));
                expected.insert(expected.end(), sector, sector + kSector);
            }
        }
        ASSERT_EQ(expected.size(), static_cast<std::size_t>(c.starts.back()) * kSector);
        TrackBlock block(26);
        for (std::int32_t at = 0; at < c.starts.back(); at += 26) {
            const auto count = static_cast<std::uint32_t>(std::min(26, c.starts.back() - at));
            ASSERT_EQ(ReadSectors(handle, block, at, count), 1) << "at " << at;
            ASSERT_EQ(std::memcmp(block.audio(), expected.data() + static_cast<std::size_t>(at) * kSector,
                                  count * kSector),
                      0)
                << "sectors " << at << " to " << at + count;
        }
        EXPECT_EQ(ReadSectors(handle, block, c.starts.back() - 1, 2), 0) << "past the lead-out";
        akrip::CloseCDHandle(handle);
    }
}

// A sheet that cannot be used: a drive without a disc, and one line on
// stderr that names the sheet and what to mend.
TEST_F(CueImageTest, UnusableSheetsSayWhy) {
    const discmaker::SoundForm at48k{48000, 2, 16}, mono{44100, 1, 16}, deep{44100, 2, 24};
    const std::string track = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    struct Refusal {
        std::vector<File> files;
        std::string sheet;  // empty: no sheet at all
        std::string why;
    } const refusals[] = {
        {{}, "", "cannot be read: No such file or directory"},
        {{}, "FILE \"gone.bin\" BINARY\n" + track, "cannot open \"gone.bin\" (" + folder_.file("gone.bin") + "): No such file"},
        {{{"w.wav", 0, 300, FileType::Wave, 0, at48k}}, "FILE w.wav WAVE\n" + track, "48000 Hz"},
        {{{"w.wav", 0, 300, FileType::Wave, 0, mono}}, "FILE w.wav WAVE\n" + track, "1-channel"},
        {{{"w.flac", 0, 300, FileType::Flac, 0, deep}}, "FILE w.flac WAVE\n" + track, "not 16-bit"},
        {{{"a.mp3", 0, 1}}, "FILE a.mp3 MP3\n" + track, "type MP3"},
        {{{"d.bin", 0, 750}}, "FILE d.bin BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n  TRACK 01 AUDIO\n    INDEX 01 00:04:00\n",
         "TRACK 1 follows TRACK 2"},
        {{{"d.bin", 0, 750}}, "FILE d.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:04:00\n  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n",
         "out of order: TRACK 2"},
        {{{"d.bin", 0, 750}}, "FILE d.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:10:00\n", "past the end of \"d.bin\" (00:10:00 long)"},
        {{{"d.bin", 0, 750}}, "FILE d.bin BINARY\n" + track + "  TRACK 02 AUDIO\n    INDEX 00 00:04:00\n", "TRACK 2 has no INDEX 01"},
        {{{"d.bin", 0, 750}}, "FILE d.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n", "no audio track"},
        {{{"d.bin", 0, 750}}, "FILE d.bin BINARY\n" + track + "    BOGUS 3\n", "near line 4: syntax error"},
        {{}, "FILE p.wav WAVE\n" + track, "p.wav): not a file"},  // a FIFO would block the open
    };
    ASSERT_EQ(::mkfifo(folder_.file("p.wav").c_str(), 0600), 0);
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.why);
        WriteFiles(r.files);
        const std::string sheet = r.sheet.empty() ? folder_.file("gone.cue") : WriteSheet("f.cue", r.sheet);
        ::testing::internal::CaptureStderr();
        const int handle = Open(sheet);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_GT(handle, 0) << "a drive without a disc";
        akrip::TOC toc{};
        EXPECT_EQ(akrip::ReadTOC(handle, &toc), 0);
        EXPECT_EQ(akrip::GetAspiLibError(), akrip::E_ASPIERROR);
        EXPECT_EQ(said.find("Dorvane: cannot use the CUE sheet " + sheet + ": "), 0u) << said;
        EXPECT_NE(said.find(r.why), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
        akrip::CloseCDHandle(handle);
    }
}

// Sheets of random lines from the keywords, with broken times and huge
// numbers, and sheets of tracks in order with random times and gaps: each
// opens without a crash (the sanitizer build checks memory), gives a
// consistent table or none, and says at most one line.
TEST_F(CueImageTest, MalformedSheetsOpenSafely) {
    WriteFiles({{"a.bin", 0, 300}, {"b.wav", 300, 100, FileType::Wave, 33}});
    std::mt19937 random(20261207);
    auto pick = [&](std::vector<std::string> words) { return words[random() % words.size()]; };
    auto number = [&] { return pick({"0", "1", "04", "99", "100", "4294967297", "99999999999999999999", "-1", "x"}); };
    auto time = [&] {
        if (random() % 40 == 0)
            return pick({"1:2", "::", "99:99:99", "999999999:59:74", "00:0x:00", "00:00:75", number()});
        char msf[16];
        const unsigned frames = random() % 320;
        std::snprintf(msf, sizeof msf, "%02u:%02u:%02u", frames / 4500, frames / 75 % 60, frames % 75);
        return std::string(msf);
    };
    auto junk = [&] { return std::string(random() % 40, static_cast<char>(' ' + random() % 95)); };
    auto file = [&] {
        return "FILE " + pick({"a.bin", "\"b.wav\"", "'a.bin'", "gone.bin", "\"a.bin"}) + ' ' +
               (random() % 8 ? pick({"BINARY", "WAVE"}) : pick({"MOTOROLA", "MP3", "BOGUS", ""})) + '\n';
    };
    int opened = 0;
    int refused = 0;
    ::testing::internal::CaptureStderr();
    for (int round = 0; round < 300; ++round) {
        std::ostringstream sheet;
        auto goodFile = [&] {
            return random() % 10 ? pick({"FILE a.bin BINARY\n", "FILE \"b.wav\" WAVE\n", "FILE 'a.bin' MOTOROLA\n"}) : file();
        };
        if (round % 2 == 0) {
            sheet << goodFile();
            for (int t = 1, tracks = 1 + static_cast<int>(random() % 5); t <= tracks; ++t) {
                if (t > 1 && random() % 4 == 0)
                    sheet << goodFile();
                sheet << "TRACK " << (random() % 12 ? "0" + std::to_string(t) : number()) << ' '
                      << (random() % 10 ? "AUDIO" : pick({"MODE1/2352", "MODE1/2048"})) << '\n';
                for (const auto& [line, sixths] : {std::pair{"PREGAP ", 2u}, {"INDEX 00 ", 2u}, {"INDEX 01 ", 5u},
                                                   {"POSTGAP ", 1u}, {"INDEX 02 ", 1u}})
                    if (random() % 6 < sixths)
                        sheet << line << time() << '\n';
                if (random() % 30 == 0)
                    sheet << junk() << '\n';
            }
        } else {
            for (int line = static_cast<int>(random() % 12); line > 0; --line) {
                switch (random() % 8) {
                case 0: sheet << file(); break;
                case 1: sheet << "TRACK " << number() << ' ' << pick({"AUDIO", "MODE2/2336", ""}); break;
                case 2: sheet << "INDEX " << number() << ' ' << time(); break;
                case 3: sheet << pick({"PREGAP ", "POSTGAP "}) << time(); break;
                case 4: sheet << "FLAGS " << pick({"DCP", "PRE 4CH", "SCMS", "BOGUS"}); break;
                case 5: sheet << pick({"REM GENRE x", "TITLE \"a", "PERFORMER \"b\"", "CATALOG 1", "ISRC ABC", "REM"}); break;
                case 6: sheet << junk(); break;
                default: sheet << pick({"", "\r", "\t", "\"", "FILE", "INDEX", "TRACK 01"}); break;
                }
                sheet << pick({"\n", "\n", "\r\n", "\n\n", " "});
            }
        }
        const int handle = Open(WriteSheet("f" + std::to_string(round % 3) + ".cue", sheet.str()));
        ASSERT_GT(handle, 0) << sheet.str();
        akrip::TOC toc{};
        if (akrip::ReadTOC(handle, &toc) == 1) {
            ++opened;
            const int last = toc.lastTrack - toc.firstTrack + 1;
            for (int i = 0; i < last; ++i)
                EXPECT_LT(Address(toc.tracks[i]), Address(toc.tracks[i + 1])) << sheet.str();
            const std::uint32_t leadout = Address(toc.tracks[last]);
            TrackBlock block(3);
            EXPECT_EQ(ReadSectors(handle, block, 0, 1), 1) << sheet.str();
            EXPECT_EQ(ReadSectors(handle, block, leadout - 1, 1), 1) << sheet.str();
            const std::uint32_t at = Address(toc.tracks[0]) + static_cast<std::uint32_t>(random() % 400);
            EXPECT_EQ(ReadSectors(handle, block, at, 3), at + 3 <= leadout ? 1 : 0) << sheet.str();
        } else {
            ++refused;
        }
        akrip::CloseCDHandle(handle);
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_GT(opened, 15) << "the layout was reached";
    EXPECT_GT(refused, 20);
    std::istringstream lines(said);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_EQ(line.rfind("Dorvane: cannot use the CUE sheet ", 0), 0u) << line;
    EXPECT_EQ(count, refused) << "one line for each sheet refused, nothing else";
}

}  // namespace
