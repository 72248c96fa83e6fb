// dorvane-rip's proof that a rip is exact, on disc images made here: verdicts
// from answers of accuraterip-checksum's sums written or served on 127.0.0.1,
// and the log read by PyYAML and hashlib. (Checksums, ids: test_dorvaneRip.)

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "LocalServer.h"
#include "RipTestSupport.h"
#include "cd/akrip32_testing.h"
#include "general/modGeneral.h"
#include "rip/CommandRun.h"

namespace {

using namespace riptest;

// accuraterip-checksum's v1 or v2 of audio as track t of three.
std::uint32_t ArSum(const Disc& disc, const std::string& audio, int t, bool v1) {
    WriteFile(disc.folder.file("t.wav"), WavFile(audio));
    return ToolArSum(disc.folder.file("t.wav"), t, 3, v1);
}

// The database's answer for three tracks: an entry of v1 sums, confidence 2,
// and one of v2 sums, confidence 5, laid out byte by byte.
std::string Answer(const Disc& disc) {
    const auto le32 = [](std::uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    std::string bytes;
    for (const bool v2 : {false, true}) {
        bytes += char(3) + le32(disc.id1) + le32(disc.id2) + le32(disc.cddb);
        for (int t = 1; t <= 3; ++t)
            bytes += char(v2 ? 5 : 2) + le32(ArSum(disc, disc.Track(t), t, !v2)) +
                     le32(ArSum(disc, disc.Track(t).substr(450 * 2352, 2352), 2, true));
    }
    return bytes;
}

// Loads the log with yaml.safe_load; prints whether its SHA-256 line holds,
// then each value asked for by its path ("Tracks.0.File").
const char* const kLogReader =
    "import sys, yaml, hashlib, functools\n"
    "data = open(sys.argv[1], 'rb').read()\n"
    "doc = yaml.safe_load(data.decode('utf-8'))\n"
    "print(hashlib.sha256(data[:data.rindex(b'\\nSHA-256: ') + 1]).hexdigest() == doc['SHA-256'])\n"
    "for path in sys.argv[2:]:\n"
    "    print(functools.reduce(lambda v, part: v[int(part)] if isinstance(v, list) else v[part],\n"
    "                           path.split('.'), doc))\n";

// --verify on rips as read, damaged and made at another offset (the search
// itself, early and late, is test_arVerify's), against an answer file and a
// folder (test_responseSource lays one out like the database): the verdict of
// each track, the disc's, and the exit status; nothing is written anywhere.
// Then the log of a rip checked against the answer. (One already there, and
// --no-log: test_dorvaneRip.)
TEST(RipVerify, VerdictsOfRipsAsReadDamagedAndShiftedAndTheLog) {
    const Disc disc({500, 470, 620}, 7);
    const testsupport::TempFolder here;
    const std::string answer = disc.folder.file("answer.bin");
    WriteFile(answer, Answer(disc));
    std::string damaged = disc.pcm;
    damaged[std::size_t(disc.starts[1] + 100) * 2352 + 2] ^= 0x04;
    const std::string accurate = "accurate (confidence 5, v2)";
    const auto all = [](const std::string& verdict) { return std::vector(3, verdict); };
    const struct {
        const char* name;
        std::string audio, from;
        int status;
        std::vector<std::string> verdicts;
        std::string summary;
    } cases[] = {
        {"as read", disc.pcm, answer, 0, all(accurate), "3 of 3 tracks accurate"},
        {"one sample changed",
         damaged,
         answer,
         1,
         {accurate, "not accurate (2 entries)", accurate},
         "2 of 3 tracks accurate"},
        {"made late", std::string(6 * 4, '\0') + disc.pcm.substr(0, disc.pcm.size() - 24), answer,
         0, all("accurate at offset +6 (confidence 5, v2)"),
         "rip made +6 samples off: 3 of 3 tracks accurate at offset +6"},
        {"not in the database", disc.pcm, here.path(), 1, all("not in the database"),
         "disc not in the database"},
    };
    int n = 0;
    for (const auto& c : cases) { // each an image of the disc holding its audio
        const std::string name = "rip" + std::to_string(n++),
                          image = disc.folder.file(name + ".cue");
        std::string sheet = ReadAll(disc.cue);
        WriteFile(image, sheet.replace(sheet.find("disc.bin"), 8, name + ".bin"));
        WriteFile(disc.folder.file(name + ".bin"), c.audio);
        const Child r({"--verify", "--accuraterip", c.from, image}, true, here.path());
        EXPECT_EQ(r.status, c.status) << c.name << r.err;
        std::vector<std::string> verdicts;
        std::istringstream lines(r.out);
        std::string summary;
        for (std::string line; std::getline(lines, line); summary = line)
            if (line.starts_with("    "))
                verdicts.push_back(line.substr(47));
        EXPECT_EQ(verdicts, c.verdicts) << c.name << "\n" << r.out;
        EXPECT_EQ(summary, c.summary) << c.name;
    }
    // JSON says the same, one line, with the offset as a number.
    const Child json(
        {"--verify", "--json", "-t", "2-3", "--accuraterip", answer, disc.folder.file("rip2.cue")});
    const QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_TRUE(json.status == 0 && json.out.find('\n') == json.out.size() - 1) << json.out;
    EXPECT_EQ(j[u"accuraterip"][u"rip_offset"].toInt(), 6);
    EXPECT_EQ(j[u"tracks"][1][u"accuraterip"][u"verdict"].toString(), u"accurate");
    EXPECT_TRUE(j[u"tracks"][0][u"accuraterip"].isUndefined()) << json.out;
    EXPECT_EQ(Command("ls -A '" + here.path() + "'"), "");
    EXPECT_EQ(
        Command("cd '" + disc.folder.path() + "' && ls -A | grep -v '^rip[0-9].\\(bin\\|cue\\)$'"),
        "answer.bin\ndisc.bin\ndisc.cue\nt.wav\n");

    // The log of a checked rip holds what the tools say of its files, loads
    // as YAML and gives a change away; it is named after the image.
    const std::string out = disc.folder.file("out"), log = out + "/disc.log",
                      v2 = Hex(ArSum(disc, disc.Track(2), 2, false));
    const Child r({"-f", "flac", "--accuraterip", answer, "-o", out, disc.cue});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Python(kLogReader,
                     {log, "Source.Image", "Tracks.1.File", "Tracks.1.Checksums.AccurateRip v2",
                      "Tracks.2.AccurateRip.Verdict", "Summary.AccurateRip"}),
              "True\n" + disc.cue + "\nTrack 02 - CD1.flac\n" + v2 +
                  "\naccurate (confidence 5, v2)\n3 of 3 tracks accurate");
    std::string text = ReadAll(log);
    const std::size_t at = text.find(v2);
    text[at] = text[at] == '0' ? '1' : '0';
    WriteFile(log, text);
    EXPECT_EQ(Python(kLogReader, {log}), "False");

    // An answer that cannot be read (the ways it cannot are test_arVerify's)
    // is told in one line after the summary; the rip succeeds, and its log,
    // named after the prefix, says why nothing was checked.
    const std::string bad = disc.folder.file("bad.bin"), answered = ReadAll(answer);
    WriteFile(bad, answered.substr(0, answered.size() - 5));
    const Child r2({"--prefix", "Vol 2", "-t", "1", "--accuraterip", bad, "-o", out, disc.cue});
    EXPECT_TRUE(r2.status == 0 &&
                Has(r2.err, " real time)\ndorvane-rip: AccurateRip: " + bad +
                                ": not an AccurateRip answer: ") &&
                std::count(r2.err.begin(), r2.err.end(), '\n') == 3)
        << r2.err;
    EXPECT_EQ(Python(kLogReader, {out + "/Vol 2.log", "Tracks.0.File"}),
              "True\nTrack 01 - Vol 2.wav");
    EXPECT_TRUE(Has(ReadAll(out + "/Vol 2.log"), "not an AccurateRip answer"));
}

// The database over HTTP, served on 127.0.0.1: its file under the address
// given, a 404 as "not in the database"; asked after an extraction, and by
// --verify, from AccurateRipUrl= in Dorvane.ini when nothing else is named.
TEST(RipVerify, TheDatabaseOverHttp) {
    const Disc disc({500, 470, 620}, 7);
    const std::string answer = Answer(disc);
    const LocalServer server([&](const std::string& path) {
        return path == "/db/" + disc.arFile ? Reply{Ok(answer)}
                                            : Reply{"HTTP/1.1 404 Not Found\r\n\r\n"};
    });
    const std::string base = server.Base().toStdString();
    const Child missing({"--verify", "--accuraterip-url", base + "none/", disc.cue});
    EXPECT_TRUE(missing.status == 1 &&
                Has(missing.out, "AccurateRip: the disc is not in the database (" + base + "none/" +
                                     disc.arFile + " answered 404)"))
        << missing.out;

    // In process, no SOURCE: drive, folder and database saved by Settings. A
    // sector that fails three reads (the CD layer's seam), in its block and
    // alone, ends its track with every sector before it, names the file, the
    // sector and the system's reason, and the run goes on, ending with 1.
    const testsupport::ScopedDiscImages images({disc.cue});
    modGeneral::SetAppFolderForTesting(disc.folder.qpath());
    std::ofstream(disc.folder.file("Dorvane.ini"))
        << "[Settings]\nDrive=IMAGE disc.cue\nOutpath=" << disc.folder.file("saved")
        << "\nAccurateRipUrl=" << base << "db/\n";
    ripcli::RipOptions options;
    options.jobs = 2;
    akrip::testing::FailReads(500 + 30, 6); // in the second block of track 2, which starts at 526
    ::testing::internal::CaptureStderr();
    const int status = ripcli::Run(options);
    const std::string err = ::testing::internal::GetCapturedStderr(),
                      second = disc.folder.file("saved/Track 02 - CD1.wav");
    EXPECT_TRUE(status == 1 &&
                Has(err, "dorvane-rip: " + second +
                             ": cannot read the disc at sector 530, 0:00.30 into track 2 "
                             "(Input/output error)"))
        << err;
    EXPECT_TRUE(ReadAll(second).substr(44) == disc.Track(2, 30));
    // The summary counts the whole tracks, and the answer came from the
    // address saved.
    EXPECT_TRUE(Has(err, "2 of 3 tracks (1 failed), ")) << err;
    EXPECT_TRUE(err.ends_with(" real time)\nAccurateRip: 2 of 3 tracks accurate\n")) << err;
    EXPECT_TRUE(Has(ReadAll(disc.folder.file("saved/disc.log")),
                    "AccurateRip: \"2 of 3 tracks accurate\""));

    // --verify says where, leaves the track unchecked, exits 1.
    options.verify = true;
    akrip::testing::FailReads(600, 6); // the block and then the sector alone, thrice each
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int unread = ripcli::Run(options);
    const std::string out = ::testing::internal::GetCapturedStdout(),
                      said = ::testing::internal::GetCapturedStderr();
    akrip::testing::ClearReadFailures();
    modGeneral::SetAppFolderForTesting({});
    EXPECT_TRUE(unread == 1 && Has(out, "  not checked: cannot read sector 600\n") &&
                out.ends_with("\n2 of 3 tracks accurate\n"))
        << out;
    EXPECT_TRUE(Has(said, "cannot read the disc at sector 600, 0:01.25 into track 2")) << said;
}

} // namespace
