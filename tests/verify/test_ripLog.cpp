// The rip log loads as YAML with PyYAML whatever its strings hold, gives
// every value back as written (bad UTF-8 as U+FFFD), and its last line holds
// the SHA-256 Python's hashlib finds for the lines above it.

#include "TestSupport.h"
#include "VerifyTestSupport.h"
#include "verify/RipLog.h"

namespace {

using namespace verifytest;

// Loads the log with yaml.safe_load and prints, for each path given
// ("Tracks.0.Title"), s:<hex of its UTF-8> for a string, i:<n> for a number,
// n for null; the first line says whether the SHA-256 line holds.
const char* const kReader = "import sys, yaml, hashlib\n"
                            "data = open(sys.argv[1], 'rb').read()\n"
                            "doc = yaml.safe_load(data.decode('utf-8', 'strict'))\n"
                            "body = data[:data.rindex(b'\\nSHA-256: ') + 1]\n"
                            "print(hashlib.sha256(body).hexdigest() == doc['SHA-256'])\n"
                            "for path in sys.argv[2:]:\n"
                            "    v = doc\n"
                            "    for part in path.split('.'):\n"
                            "        v = v[int(part)] if isinstance(v, list) else v[part]\n"
                            "    if v is None: print('n')\n"
                            "    elif isinstance(v, str): print('s:' + v.encode('utf-8').hex())\n"
                            "    elif isinstance(v, bool): print('b:' + str(v))\n"
                            "    else: print('i:' + str(v))\n";

std::string Hex(const std::string& s) {
    return QByteArray::fromStdString(s).toHex().toStdString();
}

// n replacement characters, U+FFFD.
std::string Bad(int n) {
    return n == 0 ? "" : "\xef\xbf\xbd" + Bad(n - 1);
}

TEST(RipLog, LoadsAsYamlAndGivesEveryStringBack) {
    const struct {
        const char* name;
        std::string title;
        std::string loaded; // what YAML gives back
    } titles[] = {
        {"quotes and colons", "He said: \"no\" - 'yes': #1", ""},
        {"looks like other YAML", "- [a, {b: c}] &x *y !tag | > %", ""},
        {"looks like values", "null", ""},
        {"a number", "0012", ""},
        {"empty", "", ""},
        {"backslashes", "C:\\Music\\a\\", ""},
        {"controls", std::string("a\0b\x01\x1b[0m\tc\nd\re\x7f", 15), ""},
        {"C1 and separators", "x\xc2\x85y\xc2\x9bz\xe2\x80\xa8\xe2\x80\xa9\xef\xbb\xbf", ""},
        {"non-characters", "\xef\xbf\xbe\xef\xbf\xbf", ""},
        {"accents and beyond", "Bj\xc3\xb6rk \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x8e\xb5", ""},
        {"bad UTF-8",
         "a\xff\xfe"
         "b\xc3(\xed\xa0\x80\xf4\x90\x80\x80\xc0\xaf",
         "a" + Bad(2) + "b" + Bad(1) + "(" + Bad(9)},
        {"cut short", "abc\xe2\x80", "abc" + Bad(2)},
    };
    verify::RipLog log;
    log.version = "2.4.0";
    log.date = "2026-01-02T03:04:05Z";
    log.driveModel = "HL-DT-ST \"DVDRAM\" GH24NSD1: 1.00";
    log.readOffset = 6;
    log.toc = {1, 2, {{1, 0, true, 0}, {2, 15000, false, std::nullopt}}, 40000};
    std::string error;
    log.ids = verify::ComputeDiscIds(log.toc, error);
    log.arSource = "http://127.0.0.1:9/accuraterip/";
    log.arResult = "the disc is not in the database";
    testsupport::TempFolder folder;
    const std::string path = folder.file("rip.log");
    // What a drive's rip holds beside its titles (an image's: test_ripVerify).
    std::vector<std::string> args = {path,
                                     "Source.Drive",
                                     "Source.Read offset",
                                     "Table of contents.Tracks.1.Type",
                                     "Table of contents.Tracks.0.Gap",
                                     "Table of contents.Tracks.1.Gap",
                                     "Summary.Accurate"};
    std::string expected =
        "True\ns:" + Hex(log.driveModel) + "\ni:6\ns:" + Hex("data") + "\ni:0\nn\ni:1";
    for (std::size_t i = 0; i < std::size(titles); ++i) {
        verify::LogTrack t;
        t.number = int(i) + 1;
        t.title = titles[i].title;
        t.fileName = "/music/" + titles[i].title + ".flac";
        if (i == 0) {
            verify::TrackVerdict v;
            v.status = verify::TrackVerdict::Status::Accurate;
            v.confidence = 3, v.v2 = true, v.offset = -7;
            t.verdict = v;
        }
        log.tracks.push_back(t);
        args.push_back("Tracks." + std::to_string(i) + ".Title");
        expected += "\ns:" + Hex(titles[i].loaded.empty() ? titles[i].title : titles[i].loaded);
    }
    verify::DiscVerdict verdict;
    verdict.entriesForDisc = 1;
    verdict.tracks = {*log.tracks[0].verdict};
    log.verdict = verdict;
    ASSERT_TRUE(verify::WriteRipLog(path, log, error)) << error;
    EXPECT_EQ(Python(kReader, args), expected);
    // Nothing but the log is left in the folder.
    EXPECT_EQ(Capture("ls -A " + folder.path()), "rip.log");
}

// (A changed log failing its check: test_ripVerify.)
TEST(RipLog, WhatCannotBeWrittenIsToldAndAFileThereIsKeptUnlessReplaced) {
    testsupport::TempFolder folder;
    const std::string there = folder.file("there.log");
    WriteFile(there, "older");
    const struct {
        std::string path;
        bool replace;
        const char* says; // empty: written
    } cases[] = {
        {"/proc/no-such-folder/rip.log", true, "cannot write a file in /proc/no-such-folder"},
        {there, false, " is already there"},
        {there, true, ""},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(verify::WriteRipLog(c.path, verify::RipLog{}, error, c.replace), !*c.says);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(Capture("cat " + there) == "older", !c.replace || *c.says) << c.path;
    }
    EXPECT_EQ(Capture("ls -A " + folder.path()), "there.log");
}

} // namespace
