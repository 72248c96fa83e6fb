// dorvane-rip's proof that a rip is exact, run as a child on disc images made
// here: checksums against accuraterip-checksum and Python's zlib on the files
// it wrote, the disc ids against python3-libdiscid and AccurateRip's formula,
// verdicts from answers the tests write (as a file, a database-shaped folder,
// or served by a server on 127.0.0.1), rips made at other offsets, and the
// rip log read by PyYAML and hashlib.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <random>

#include "LocalServer.h"
#include "RipTestSupport.h"
#include "TestSupport.h"
#include "VerifyTestSupport.h"
#include "cd/akrip32_testing.h"
#include "general/modGeneral.h"
#include "rip/CommandRun.h"

namespace {

using namespace riptest;
using namespace verifytest;

std::string Le32(std::uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string Hex(std::uint32_t v) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

// Three tracks of the disc maker's audio; what the tools say of each track's
// WAV is what the database holds.
struct TrueDisc {
    testsupport::TempFolder folder;
    std::vector<std::int32_t> lengths{500, 470, 620}, starts{0};
    std::string cue = testsupport::MakeImage(folder, "disc", lengths, 7);
    std::string pcm = ReadAll(folder.file("disc.bin"));
    struct Sums {
        std::uint32_t v1, v2, sector450;
    };
    std::vector<Sums> sums;
    std::uint32_t id1 = 0, id2 = 0, cddb = 0;
    std::string musicBrainz, fileName;

    TrueDisc() {
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            starts.push_back(starts.back() + lengths[i]);
            WriteFile(folder.file("t.wav"), WavFile(Track(pcm, int(i) + 1)));
            WriteFile(folder.file("s.wav"),
                      WavFile(Track(pcm, int(i) + 1).substr(450 * 2352, 2352)));
            sums.push_back({ToolArSum(folder.file("t.wav"), int(i) + 1, 3, true),
                            ToolArSum(folder.file("t.wav"), int(i) + 1, 3, false),
                            ToolArSum(folder.file("s.wav"), 2, 3, true)});
            // AccurateRip's ids, as its own client counts them.
            id1 += std::uint32_t(starts[i]);
            id2 += std::uint32_t(std::max(starts[i], 1)) * std::uint32_t(i + 1);
        }
        id1 += std::uint32_t(starts.back());
        id2 += std::uint32_t(starts.back()) * 4;
        std::string offsets;
        for (std::size_t i = 0; i < lengths.size(); ++i)
            offsets += std::to_string(starts[i] + 150) + (i + 1 < lengths.size() ? "," : "");
        const std::string ids = Python("import sys, libdiscid\n"
                                       "d = libdiscid.put(1, 3, int(sys.argv[1]),\n"
                                       "    [int(x) for x in sys.argv[2].split(',')])\n"
                                       "print(d.id, d.freedb_id)\n",
                                       {std::to_string(starts.back() + 150), offsets});
        musicBrainz = ids.substr(0, ids.find(' '));
        cddb = std::uint32_t(std::stoul(ids.substr(ids.find(' ') + 1), nullptr, 16));
        const std::string h = Hex(id1);
        fileName = std::string{h[7], '/', h[6], '/', h[5], '/'} + "dBAR-003-" + h + "-" + Hex(id2) +
                   "-" + Hex(cddb) + ".bin";
    }
    std::string Track(const std::string& audio, int t) const {
        return audio.substr(std::size_t(starts[std::size_t(t - 1)]) * 2352,
                            std::size_t(lengths[std::size_t(t - 1)]) * 2352);
    }
    // The database's answer: an entry of v1 sums, confidence 2, and one of v2
    // sums, confidence 5, laid out byte by byte.
    std::string Answer() const {
        std::string bytes;
        for (const bool v2 : {false, true}) {
            bytes += char(3) + Le32(id1) + Le32(id2) + Le32(cddb);
            for (const Sums& s : sums)
                bytes += char(v2 ? 5 : 2) + Le32(v2 ? s.v2 : s.v1) + Le32(s.sector450);
        }
        return bytes;
    }
    // An image of this disc holding other audio.
    std::string Image(const std::string& name, const std::string& audio) const {
        WriteFile(folder.file(name + ".bin"), audio);
        std::string sheet = ReadAll(cue);
        sheet.replace(sheet.find("disc.bin"), 8, name + ".bin");
        WriteFile(folder.file(name + ".cue"), sheet);
        return folder.file(name + ".cue");
    }
};

// The audio `shift` samples later (earlier when negative), zero where none is.
std::string Shifted(const std::string& pcm, int shift) {
    const std::size_t bytes = std::size_t(std::abs(shift)) * 4;
    return shift >= 0 ? std::string(bytes, '\0') + pcm.substr(0, pcm.size() - bytes)
                      : pcm.substr(bytes) + std::string(bytes, '\0');
}

QJsonObject Json(const std::string& out) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
}

// Every format, two jobs: the checksums --json gives are the tools' on the
// WAV file and the decoded FLAC, and those of an MP3 run the same (the audio
// read, not the file); the ids are libdiscid's and AccurateRip's formula's.
TEST(RipVerify, ChecksumsOfEveryFormatAreTheToolsOnTheFilesAndIdsAreRight) {
    const TrueDisc disc;
    std::vector<std::string> wavSums;
    for (const std::string format : {"wav", "flac", "mp3"}) {
        const std::string out = disc.folder.file("out-" + format);
        const Child r({"-f", format, "-j", "2", "--json", "-o", out, disc.cue});
        ASSERT_EQ(r.status, 0) << r.err;
        const QJsonObject json = Json(r.out);
        for (int t = 1; t <= 3; ++t) {
            const QJsonObject sums = json[u"tracks"][t - 1][u"checksums"].toObject();
            const auto got = [&](const char* key) { return sums[QLatin1String(key)].toString(); };
            const std::string all = (got("crc32") + got("crc32_without_nulls") +
                                     got("accuraterip_v1") + got("accuraterip_v2"))
                                        .toStdString();
            if (format == "mp3") {
                EXPECT_EQ(all, wavSums[std::size_t(t - 1)]) << t;
                continue;
            }
            std::string wav = out + "/Track 0" + std::to_string(t) + " - CD1." + format;
            if (format == "flac") {
                Command("flac -d -s -f -o '" + out + "/t.wav' '" + wav + "'");
                wav = out + "/t.wav";
            }
            EXPECT_EQ(all, Hex(ToolCrc(wav, 44, false)) + Hex(ToolCrc(wav, 44, true)) +
                               Hex(ToolArSum(wav, t, 3, true)) + Hex(ToolArSum(wav, t, 3, false)))
                << format << " " << t;
            if (format == "wav")
                wavSums.push_back(all);
        }
        const QJsonObject ids = json[u"ids"].toObject(), ar = ids[u"accuraterip"].toObject();
        EXPECT_EQ(ids[u"musicbrainz"].toString().toStdString(), disc.musicBrainz);
        EXPECT_EQ((ar[u"id1"].toString() + ar[u"id2"].toString() + ar[u"cddb"].toString() +
                   ar[u"file"].toString())
                      .toStdString(),
                  Hex(disc.id1) + Hex(disc.id2) + Hex(disc.cddb) + disc.fileName);
        EXPECT_EQ(json[u"accuraterip"][u"status"].toString(), u"not_asked");
    }
}

// --verify on rips as read, damaged and made at other offsets, against an
// answer file and a database-shaped folder: the verdict of each track, the
// disc's, and the exit status; nothing is written anywhere.
TEST(RipVerify, VerdictsOfRipsAsReadDamagedAndShifted) {
    const TrueDisc disc;
    const testsupport::TempFolder here;
    const std::string answer = disc.folder.file("answer.bin"), db = disc.folder.file("db");
    WriteFile(answer, disc.Answer());
    std::filesystem::create_directories(
        std::filesystem::path(db + "/" + disc.fileName).parent_path());
    WriteFile(db + "/" + disc.fileName, disc.Answer());
    std::string damaged = disc.pcm;
    damaged[std::size_t(disc.starts[1] + 100) * 2352 + 2] ^= 0x04;
    const std::string accurate = "accurate (confidence 5, v2)";
    const struct {
        const char* name;
        std::string audio, from;
        int status;
        std::vector<std::string> verdicts;
        std::string summary;
    } cases[] = {
        {"as read", disc.pcm, answer, 0, {accurate, accurate, accurate}, "3 of 3 tracks accurate"},
        {"from the folder",
         disc.pcm,
         db,
         0,
         {accurate, accurate, accurate},
         "3 of 3 tracks accurate"},
        {"one sample changed",
         damaged,
         answer,
         1,
         {accurate, "not accurate (2 entries)", accurate},
         "2 of 3 tracks accurate"},
        {"made late", Shifted(disc.pcm, 6), answer, 0,
         std::vector<std::string>(3, "accurate at offset +6 (confidence 5, v2)"),
         "rip made +6 samples off: 3 of 3 tracks accurate at offset +6"},
        {"made early", Shifted(disc.pcm, -1000), db, 0,
         std::vector<std::string>(3, "accurate at offset -1000 (confidence 5, v2)"),
         "rip made -1000 samples off: 3 of 3 tracks accurate at offset -1000"},
        {"not in the database", disc.pcm, here.path(), 1,
         std::vector<std::string>(3, "not in the database"), "disc not in the database"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string image = disc.Image("rip" + std::to_string(n++), c.audio);
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
        {"--verify", "--json", "-t", "2-3", "--accuraterip", answer, disc.folder.file("rip3.cue")});
    const QJsonObject j = Json(json.out);
    EXPECT_TRUE(json.status == 0 && json.out.find('\n') == json.out.size() - 1) << json.out;
    EXPECT_EQ(j[u"accuraterip"][u"rip_offset"].toInt(), 6);
    EXPECT_EQ(j[u"tracks"][1][u"accuraterip"][u"verdict"].toString(), u"accurate");
    EXPECT_TRUE(j[u"tracks"][0][u"accuraterip"].isUndefined()) << json.out;
    EXPECT_EQ(Command("ls -A '" + here.path() + "'"), "");
    EXPECT_EQ(
        Command("cd '" + disc.folder.path() + "' && ls -A | grep -v '^rip[0-9].\\(bin\\|cue\\)$'"),
        "answer.bin\ndb\ndisc.bin\ndisc.cue\ns.wav\nt.wav\n");
}

// An answer that cannot be read is told in one line; the rip goes on and
// succeeds, and its log says why nothing was checked.
TEST(RipVerify, ABadAnswerIsOneLineAndTheRipSucceeds) {
    const TrueDisc disc;
    std::string random(300, '\0');
    std::mt19937 generator(5);
    for (char& c : random)
        c = char(generator());
    const std::string answer = disc.Answer();
    for (const std::string& bytes : {answer.substr(0, answer.size() - 5), random}) {
        const std::string file = disc.folder.file("bad.bin"), out = disc.folder.file("out");
        WriteFile(file, bytes);
        const Child r({"--overwrite", "--accuraterip", file, "-o", out, disc.cue});
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string said =
            "dorvane-rip: AccurateRip: " + file + ": not an AccurateRip answer: ";
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        EXPECT_TRUE(r.err.ends_with(" real time)\n" + r.err.substr(r.err.find(said)))) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 5) << r.err;
        EXPECT_TRUE(ReadAll(out + "/Track 03 - CD1.wav").substr(44) == disc.Track(disc.pcm, 3));
        EXPECT_NE(ReadAll(out + "/disc.log").find("not an AccurateRip answer"), std::string::npos);
    }
}

// The database over HTTP, served on 127.0.0.1: its file under the address
// given, a 404 as "not in the database"; asked after an extraction too, and
// from AccurateRipUrl= in Dorvane.ini when nothing else is named.
TEST(RipVerify, TheDatabaseOverHttp) {
    const TrueDisc disc;
    const LocalServer server([&](const std::string& path) {
        return path == "/db/" + disc.fileName ? Reply{Ok(disc.Answer())}
                                              : Reply{"HTTP/1.1 404 Not Found\r\n\r\n"};
    });
    const Child found({"--verify", "--accuraterip-url", server.Base() + "db", disc.cue});
    EXPECT_EQ(found.status, 0) << found.out << found.err;
    const Child missing({"--verify", "--accuraterip-url", server.Base() + "none/", disc.cue});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("AccurateRip: the disc is not in the database (" + server.Base() +
                               "none/" + disc.fileName + " answered 404)"),
              std::string::npos)
        << missing.out;
    const Child ripped(
        {"--accuraterip-url", server.Base() + "db", "-o", disc.folder.file("a"), disc.cue});
    EXPECT_TRUE(ripped.status == 0 &&
                ripped.err.ends_with("\nAccurateRip: 3 of 3 tracks accurate\n"))
        << ripped.err;

    modGeneral::SetAppFolderForTesting(disc.folder.qpath());
    std::ofstream(disc.folder.file("Dorvane.ini"))
        << "[Settings]\nAccurateRipUrl=" << server.Base() << "db/\n";
    ripcli::RipOptions options;
    options.sources = {disc.folder.qpath() + QStringLiteral("/disc.cue")};
    options.output = disc.folder.qpath() + QStringLiteral("/b");
    options.quiet = true;
    const int status = ripcli::Run(options);
    modGeneral::SetAppFolderForTesting({});
    EXPECT_EQ(status, 0);
    EXPECT_NE(
        ReadAll(disc.folder.file("b/disc.log")).find("AccurateRip: \"3 of 3 tracks accurate\""),
        std::string::npos);
    ASSERT_EQ(server.Requests().size(), 4u);
    EXPECT_TRUE(server.Requests()[3].starts_with("GET /db/" + disc.fileName + " HTTP/1.1\r\n"));

    // A sector of track 2 that will not read (the CD layer's seam, so in
    // process): --verify says where, leaves the track unchecked, exits 1.
    options.verify = true;
    options.accurateripUrl = QString::fromStdString(server.Base() + "db");
    akrip::testing::FailReads(600, 6); // the block and then the sector alone, thrice each
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int unread = ripcli::Run(options);
    const std::string out = ::testing::internal::GetCapturedStdout(),
                      err = ::testing::internal::GetCapturedStderr();
    akrip::testing::ClearReadFailures();
    EXPECT_EQ(unread, 1);
    EXPECT_NE(out.find("  not checked: cannot read sector 600\n"), std::string::npos) << out;
    EXPECT_NE(err.find("cannot read the disc at sector 600, 0:01.25 into track 2"),
              std::string::npos)
        << err;
}

// Loads the log with yaml.safe_load; prints whether its SHA-256 line holds,
// then each value asked for by its path ("Tracks.0.File").
const char* const kLogReader = "import sys, yaml, hashlib\n"
                               "data = open(sys.argv[1], 'rb').read()\n"
                               "doc = yaml.safe_load(data.decode('utf-8'))\n"
                               "body = data[:data.rindex(b'\\nSHA-256: ') + 1]\n"
                               "print(hashlib.sha256(body).hexdigest() == doc['SHA-256'])\n"
                               "for path in sys.argv[2:]:\n"
                               "    v = doc\n"
                               "    for part in path.split('.'):\n"
                               "        v = v[int(part)] if isinstance(v, list) else v[part]\n"
                               "    print(v)\n";

// The log of a checked rip holds what the tools say of its files, loads as
// YAML and gives a change away; it is named after the prefix or the image,
// replaced only with --overwrite, and left out with --no-log.
TEST(RipVerify, TheRipLog) {
    const TrueDisc disc;
    const std::string answer = disc.folder.file("answer.bin"), out = disc.folder.file("out"),
                      log = out + "/disc.log";
    WriteFile(answer, disc.Answer());
    const Child r({"-f", "flac", "--accuraterip", answer, "-o", out, disc.cue});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Python(kLogReader,
                     {log, "Source.Image", "Tracks.1.File", "Tracks.1.Checksums.AccurateRip v2",
                      "Tracks.2.AccurateRip.Verdict", "Summary.AccurateRip"}),
              "True\n" + disc.cue + "\nTrack 02 - CD1.flac\n" + Hex(disc.sums[1].v2) +
                  "\naccurate (confidence 5, v2)\n3 of 3 tracks accurate");
    std::string text = ReadAll(log);
    const std::size_t at = text.find(Hex(disc.sums[1].v2));
    text[at] = text[at] == '0' ? '1' : '0';
    WriteFile(log, text);
    EXPECT_EQ(Python(kLogReader, {log}), "False");

    const Child again({"-o", out, "-t", "1", disc.cue});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, Line(log + ": is already there; --overwrite replaces it, --skip-existing "
                                    "leaves its track"));
    const Child replaced({"--overwrite", "--prefix", "Vol 2", "-t", "1", "-o", out, disc.cue});
    const Child none({"--no-log", "-t", "1", "-o", disc.folder.file("none"), disc.cue});
    EXPECT_TRUE(replaced.status == 0 && none.status == 0);
    EXPECT_EQ(Python(kLogReader, {out + "/Vol 2.log", "Tracks.0.File"}),
              "True\nTrack 01 - Vol 2.wav");
    EXPECT_EQ(Command("ls '" + disc.folder.file("none") + "'"), "Track 01 - CD1.wav\n");
}

} // namespace
