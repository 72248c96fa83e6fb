// cdrdao TOC files read through the CD library layer from files the tests write: the table and
// every sample against what the files hold, and against cdrdao's own show-toc and show-data where
// cdrdao is installed; or the one line saying why not. Audio from the numbered files says where it
// came from: each frame holds its own sector and its place in it.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CdTestSupport.h"
#include "DiscMaker.h"
#include "TestSupport.h"
#include "cd/DiscInfo.h"
#include "cd/akrip32_testing.h"

namespace {

using namespace testsupport;

constexpr int kSector = akrip::kSectorBytes, kFrames = kSector / 4;
const discmaker::DiscPlan kPlan{{300}, 9, false};

// Frame f of the numbered audio: left f / 588, right f % 588.
void PutFrame(std::string& out, std::int64_t f, bool bigEndian) {
    for (const auto v :
         {static_cast<std::uint16_t>(f / kFrames), static_cast<std::uint16_t>(f % kFrames)}) {
        out += static_cast<char>(bigEndian ? v >> 8 : v & 0xff);
        out += static_cast<char>(bigEndian ? v & 0xff : v >> 8);
    }
}

std::string Numbered(std::int64_t sectors, bool bigEndian) {
    std::string out;
    for (std::int64_t f = 0; f < sectors * kFrames; ++f)
        PutFrame(out, f, bigEndian);
    return out;
}

std::string Le32(std::uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// The files every TOC below reads: n.raw (600 numbered sectors, big-endian as cdrdao reads raw
// audio), l.raw (1000 bytes of header, then the same little-endian), n.wav (300 of them, a LIST
// chunk before its data), p.flac and p.aiff (kPlan's audio) and d.iso (100 sectors of 2048 bytes
// and 100 more).
void WriteFiles(const TempFolder& folder) {
    std::ofstream(folder.file("n.raw")) << Numbered(600, true);
    std::ofstream(folder.file("l.raw")) << std::string(1000, 'h') << Numbered(600, false);
    const std::string audio = Numbered(300, false), list = "JUNK" + Le32(10) + std::string(10, 'j');
    std::ofstream(folder.file("n.wav"))
        << "RIFF" << Le32(std::uint32_t(4 + 24 + list.size() + 8 + audio.size())) << "WAVEfmt "
        << Le32(16) << std::string("\1\0\2\0", 4) << Le32(44100) << Le32(44100 * 4)
        << std::string("\4\0\20\0", 4) << list << "data" << Le32(std::uint32_t(audio.size()))
        << audio;
    discmaker::WriteAudioFile(folder.file("p.flac"), kPlan, 0, 300, discmaker::FileType::Flac);
    discmaker::WriteAudioFile(folder.file("p.aiff"), kPlan, 0, 300, discmaker::FileType::Aiff);
    std::ofstream(folder.file("d.iso")) << std::string(2048 * 100 + 100, 'd');
}

struct Span { // frames of numbered ('n') or kPlan ('p') audio from a frame on, or zeros ('0')
    std::int64_t frames;
    char from = '0';
    std::int64_t first = 0;
};

std::vector<unsigned char> Expected(const std::vector<Span>& spans) {
    std::string out;
    unsigned char sector[kSector];
    std::int64_t filled = -1; // the kPlan sector in `sector`
    for (const Span& s : spans)
        for (std::int64_t f = s.first; f < s.first + s.frames; ++f) {
            if (s.from == 'n') {
                PutFrame(out, f, false);
            } else if (s.from == 'p') {
                if (f / kFrames != filled)
                    discmaker::FillSector(kPlan, std::int32_t(filled = f / kFrames), sector);
                out.append(reinterpret_cast<const char*>(sector) + f % kFrames * 4, 4);
            } else {
                out.append(4, '\0');
            }
        }
    return {out.begin(), out.end()};
}

constexpr std::int64_t S = kFrames; // frames in a sector

struct Case {
    std::string name; // for a TOC refused: what its line must say
    std::string toc;
    std::vector<std::int32_t> starts = {}; // and the lead-out; empty: refused
    std::vector<Span> disc = {};
    std::vector<std::uint8_t> controls = {}; // per track; empty: all audio, no flags
    bool cdrdao = true;                      // cdrdao lays it out the same way
};

const std::string kDa = "CD_DA\nTRACK AUDIO\n", kMinute = "FILE \"n.raw\" 0 00:01:00\n";

std::vector<Case> Cases() {
    return {
        {"starts and lengths in samples and in times",
         kDa + "FILE \"n.raw\" 0 1000\nTRACK AUDIO\nFILE \"n.raw\" 1000 00:04:00\n",
         {0, 2, 302},
         {{1000, 'n'}, {176}, {300 * S, 'n', 1000}}},
        {"SILENCE before track 1 and START: audio before the first track",
         kDa + "SILENCE 00:01:00\nSTART\nFILE \"n.raw\" 0 00:02:00\nTRACK AUDIO\nFILE \"n.raw\" "
               "00:02:00 00:02:00\n",
         {75, 225, 375},
         {{75 * S}, {300 * S, 'n'}}},
        {"PREGAP, INDEX, a track that ends mid-sector, START on the last track",
         kDa + "FILE \"n.raw\" 0 00:02:00\nTRACK AUDIO\nPREGAP 00:00:10\nFILE \"n.raw\" 00:02:00 "
               "1000\n"
               "INDEX 00:00:01\nTRACK AUDIO\nFILE \"n.raw\" 00:02:00 00:01:00\nSTART 00:00:20\n",
         {0, 160, 182, 237},
         {{150 * S, 'n'}, {10 * S}, {1000, 'n', 150 * S}, {176}, {75 * S, 'n', 150 * S}}},
        {"a byte offset, and SWAP for little-endian raw audio",
         kDa + "AUDIOFILE \"l.raw\" SWAP #1000 588 00:01:00\nTRACK AUDIO\nFILE \"n.raw\" #2352 0 "
               "00:01:00\n",
         {0, 75, 150},
         {{75 * S, 'n', S}, {75 * S, 'n', S}}},
        {"WAVE read from its data chunk on",
         kDa + "FILE \"n.wav\" 0 00:01:00\nTRACK AUDIO\nFILE \"n.wav\" 44100\n",
         {0, 75, 300},
         {{300 * S, 'n'}}},
        {"FLAC and AIFF read as WAVE is",
         kDa + "FILE \"p.flac\" 0 00:02:00\nTRACK AUDIO\nFILE \"p.aiff\" 00:02:00\n",
         {0, 150, 300},
         {{300 * S, 'p'}},
         {},
         false},
        {"flags, ISRC and CATALOG",
         "CD_ROM\nCATALOG \"1234567890123\"\nTRACK AUDIO\nCOPY\nPRE_EMPHASIS\nISRC "
         "\"DEXXX9800001\"\n" +
             kMinute + "TRACK AUDIO\nFOUR_CHANNEL_AUDIO\n" + kMinute +
             "TRACK AUDIO\nCOPY\nNO COPY\nTWO_CHANNEL_AUDIO\n" + kMinute,
         {0, 75, 150, 225},
         {{75 * S, 'n'}, {75 * S, 'n'}, {75 * S, 'n'}},
         {0x03, 0x08, 0x00}},
        {"a data track first, then audio after its START",
         "CD_ROM\nTRACK MODE1\nDATAFILE \"d.iso\"\nZERO 00:02:00\nTRACK AUDIO\nSILENCE "
         "00:02:00\nSTART\n" +
             kMinute,
         {0, 401, 476},
         {{401 * S}, {75 * S, 'n'}},
         {0x04, 0x00}},
        {"DATAFILE in an audio track; ZERO with its mode",
         "CD_ROM\nTRACK AUDIO\nDATAFILE \"n.raw\" 00:01:00\nTRACK MODE1\nZERO MODE1 "
         "00:00:10\nSTART\n"
         "DATAFILE \"d.iso\" 4096\n",
         {0, 85, 87},
         {{75 * S, 'n'}, {12 * S}},
         {0x00, 0x04}},
        // Enhanced CDs: the data track stands after the gap between the sessions, or, never read,
        // is left out and the disc ends with its audio.
        {"an Enhanced CD's data track after its sessions' gap",
         "CD_ROM_XA\nTRACK AUDIO\nFILE \"n.raw\" 0 00:02:00\nTRACK MODE2_FORM1\nZERO "
         "00:10:00\nDATAFILE \"d.iso\"\n",
         {0, 900, 1001},
         {{150 * S, 'n'}, {851 * S}},
         {0x00, 0x04},
         false},
        {"an Enhanced CD's data track never read",
         "CD_ROM_XA\nTRACK AUDIO\nFILE \"n.raw\" 0 00:02:00\nTRACK MODE2_FORM1\nZERO 02:32:00\n",
         {0, 150},
         {{150 * S, 'n'}},
         {},
         false},
        // Refused, naming the line.
        {"line 3, \"BOGUS 3\": BOGUS is not a statement", kDa + "BOGUS 3\n"},
        {"line 3, \"FILE \"n.raw 0\": a string has no closing quote", kDa + "FILE \"n.raw 0\n"},
        {"line 3, \"FILE \"n.raw\" 0 00:01:75\": times have seconds below 60 and frames below 75",
         kDa + "FILE \"n.raw\" 0 00:01:75\n"},
        {"line 3, \"FILE \"n.raw\" 0 00:09:00\": it asks for 396900 samples of \"n.raw\", which "
         "holds 352800",
         kDa + "FILE \"n.raw\" 0 00:09:00\n"},
        {"line 3, \"FILE \"gone.raw\" 0\": cannot find \"gone.raw\"",
         kDa + "FILE \"gone.raw\" 0\n"},
        {"line 3, \"SILENCE 00:01:00\": SILENCE is for audio tracks",
         "CD_ROM\nTRACK MODE1\nSILENCE 00:01:00\n"},
        {"line 4, \"ZERO 00:01:00\": a track mixes", kDa + kMinute + "ZERO 00:01:00\n"},
        {"line 2, \"TRACK AUDIO\": the track ends before its START",
         kDa + kMinute + "START 00:01:00\n"},
        {"line 4, \"PREGAP 00:00:10\": PREGAP comes before", kDa + kMinute + "PREGAP 00:00:10\n"},
        {"line 2, \"CATALOG \"123\"\": a catalog number has exactly 13 digits",
         "CD_DA\nCATALOG \"123\"\n"},
        {"line 2, \"TRACK MODE1\": the disc holds no audio track",
         "CD_ROM\nTRACK MODE1\nDATAFILE \"d.iso\"\n"},
        {"line 2, \"TRACK AUDIO RW\": tracks with sub-channel data",
         "CD_DA\nTRACK AUDIO RW\n" + kMinute},
        {"line 1, \"CD_DA\": it has no TRACK", "CD_DA\n"},
        {"line 3, \"FILE \"n.raw\" 0 0:2\": times are minutes:seconds:frames",
         kDa + "FILE \"n.raw\" 0 0:2\n"},
    };
}

// cdrdao's table from show-toc: each track's start and control bits, then the lead-out.
std::pair<std::vector<std::int32_t>, std::vector<std::uint8_t>>
CdrdaoTable(const std::string& shown) {
    std::vector<std::int32_t> starts;
    std::vector<std::uint8_t> controls;
    std::int32_t end = -1;
    std::istringstream in(shown);
    const std::map<std::string, std::uint8_t> flags = {
        {"COPY PERMITTED", 0x02}, {"PRE-EMPHASIS", 0x01}, {"FOUR CHANNEL AUDIO", 0x08}};
    for (std::string line; std::getline(in, line);) {
        const std::string word = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        const auto sector = [&] {
            return std::int32_t(std::atoi(line.c_str() + line.find('(') + 1));
        };
        if (word.starts_with("TRACK "))
            controls.push_back(word.find("Mode AUDIO") == std::string::npos ? 0x04 : 0x00);
        else if (flags.contains(word))
            controls.back() |= flags.at(word);
        else if (word.starts_with("START "))
            starts.push_back(sector());
        else if (word.starts_with("END"))
            end = sector();
    }
    starts.push_back(end);
    return {starts, controls};
}

class TocImageTest : public ::testing::Test {
  protected:
    int Open(const std::string& text) {
        std::ofstream(toc_) << text;
        akrip::testing::CloseAllHandles();
        return OpenDrive(akrip::GetNumAdapters());
    }
    std::string Cdrdao(const std::string& command) {
        return Command("cd '" + folder_.path() + "' && cdrdao " + command +
                       " --force f.toc 2>/dev/null");
    }

    TempFolder folder_;
    const std::string toc_ = folder_.file("f.toc");
    ScopedDiscImages images_{{toc_}};
    const bool cdrdao_ = std::system("command -v cdrdao >/dev/null 2>&1") == 0;
};

TEST_F(TocImageTest, EveryConstructGivesCdrdaosTableAndAudioOrOneLine) {
    WriteFiles(folder_);
    int compared = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        ::testing::internal::CaptureStderr();
        const int handle = Open(c.toc);
        const std::string said = ::testing::internal::GetCapturedStderr();
        ASSERT_GT(handle, 0);
        akrip::TOC toc{};
        if (c.starts.empty()) {
            EXPECT_EQ(akrip::ReadTOC(handle, &toc), 0);
            EXPECT_EQ(said.find("Dorvane: cannot use the TOC file " + toc_ + ": line "), 0u)
                << said;
            EXPECT_NE(said.find(c.name), std::string::npos) << said;
            EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line";
            continue;
        }
        ASSERT_EQ(akrip::ReadTOC(handle, &toc), 1) << said;
        const int n = int(c.starts.size()) - 1;
        ASSERT_EQ(toc.lastTrack, n);
        std::vector<std::int32_t> starts;
        std::vector<std::uint8_t> controls;
        for (int i = 0; i <= n; ++i) {
            starts.push_back(std::int32_t(Address(toc.tracks[i])));
            if (i < n)
                controls.push_back(toc.tracks[i].ADR & 0x0f);
        }
        EXPECT_EQ(starts, c.starts);
        EXPECT_EQ(controls, c.controls.empty() ? std::vector<std::uint8_t>(n, 0) : c.controls);

        std::vector<unsigned char> disc;
        for (std::int32_t at = 0; at < c.starts.back(); at += 26) {
            const auto read =
                ReadSectors(handle, at, std::uint32_t(std::min(26, c.starts.back() - at)));
            ASSERT_TRUE(read) << "at " << at;
            disc.insert(disc.end(), read->begin(), read->end());
        }
        EXPECT_FALSE(ReadSectors(handle, c.starts.back(), 1)) << "past the lead-out";
        EXPECT_TRUE(disc == Expected(c.disc)) << "the audio";

        if (!cdrdao_ || !c.cdrdao)
            continue;
        ++compared;
        EXPECT_EQ(CdrdaoTable(Cdrdao("show-toc")), std::pair(starts, controls))
            << "cdrdao show-toc";
        // show-data: "frame: left right" for the whole disc; data tracks' samples are 16000, 16000.
        std::istringstream shown(Cdrdao("show-data"));
        std::int64_t lines = 0, differ = 0;
        for (std::string line; std::getline(shown, line); ++lines) {
            long frame = 0;
            int left = 0, right = 0;
            ASSERT_EQ(std::sscanf(line.c_str(), "%ld: %d %d", &frame, &left, &right), 3) << line;
            const unsigned char* b = &disc[std::size_t(frame) * 4];
            if (left == 16000 && right == 16000 && !(b[0] | b[1] | b[2] | b[3]))
                continue; // data, which we read as zeros
            differ +=
                left != std::int16_t(b[0] | b[1] << 8) || right != std::int16_t(b[2] | b[3] << 8);
        }
        EXPECT_EQ(lines * 4, std::int64_t(disc.size())) << "cdrdao show-data";
        EXPECT_EQ(differ, 0) << "samples that differ from cdrdao show-data";
    }
    if (!cdrdao_)
        GTEST_SKIP() << "cdrdao is not installed: checked against the files alone";
    EXPECT_EQ(compared, 8);
}

// CD-Text of the disc and each track: the first language's TITLE and PERFORMER, escapes decoded,
// bytes read as UTF-8 where they are and as Latin-1 elsewhere, binary fields passed over. The files
// a TOC image reads are checked in test_akrip32.cpp.
TEST_F(TocImageTest, TitlesOfTheFirstLanguage) {
    WriteFiles(folder_);
    const int handle = Open(
        "CD_DA\nCD_TEXT {\n LANGUAGE_MAP { 0 : EN 1 : 9 }\n LANGUAGE 0 {\n"
        "  TITLE \"Caf\\351 \\\"Noir\\\" \\\\ 1\" PERFORMER \"Sigur R\\303\\263s\"\n"
        "  SIZE_INFO { 0, 1, 255 } TOC_INFO1 { 1 } GENRE { 0, 25 } DISC_ID \"XY12345\"\n }\n"
        " LANGUAGE 1 { TITLE \"Other\" PERFORMER \"X\" }\n}\n"
        "TRACK AUDIO // first\nCD_TEXT { LANGUAGE 1 { TITLE \"Eins\" } LANGUAGE 0 { TITLE \"One\" "
        "PERFORMER \"\xC3\xA9t\xC3\xA9\" } }\n" +
        kMinute + "TRACK AUDIO\n" + kMinute);
    const akrip::DiscText text = akrip::ReadDiscText(handle);
    std::vector<std::string> titles = {text.title + "/" + text.performer};
    for (const auto& track : text.tracks)
        titles.push_back(track.title + "/" + track.performer);
    EXPECT_EQ(titles, (std::vector<std::string>{"Caf\xC3\xA9 \"Noir\" \\ 1/Sigur R\xC3\xB3s",
                                                "One/\xC3\xA9t\xC3\xA9", "/"}));
}

} // namespace
