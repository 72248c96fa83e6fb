// dorvane-rip run as a child process on disc images made for each test: its
// exit status, output, and files as flac, lame, TagLib, accuraterip-checksum,
// Python's zlib and libdiscid read them.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <unistd.h>

#include "NamesTestSupport.h"
#include "RipTestSupport.h"

namespace {

using namespace riptest;

// Whether the file holds pcm: a WAV after its header, a FLAC decoded, an MP3
// after its ID3v2 tag as the bytes the lame command makes of pcm at
// dorvane-rip's default settings, its Info frame written into a file.
bool Holds(const std::string& file, const std::string& pcm) {
    if (file.ends_with(".wav"))
        return ReadAll(file).substr(44) == pcm;
    if (file.ends_with(".flac"))
        return Command("flac -d -s -c --force-raw-format --endian=little --sign=signed '" + file +
                       "' 2>/dev/null") == pcm;
    static const testsupport::TempFolder scratch;
    std::ofstream(scratch.file("in.raw"), std::ios::binary) << pcm;
    Command("lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 160 -q 5 "
            "--noreplaygain -o '" +
            scratch.file("in.raw") + "' '" + scratch.file("lame.mp3") + "' 2>/dev/null");
    TagLib::MPEG::File mp3(file.c_str());
    return mp3.hasID3v2Tag() && ReadAll(file).substr(mp3.ID3v2Tag()->header()->completeTagSize()) ==
                                    ReadAll(scratch.file("lame.mp3"));
}

// The manual page renders without a warning, states the version the program
// gives, and documents every option --help lists; --help is usage on standard
// output.
TEST(DorvaneRip, TheManualPageDocumentsEveryOption) {
    EXPECT_EQ(Command("groff -man -Tutf8 -ww -z '" DORVANE_RIP_PAGE "' 2>&1"), "");
    const Child usage({"--help"});
    EXPECT_TRUE(usage.status == 0 &&
                usage.out.starts_with("Usage: dorvane-rip [OPTIONS] [SOURCE...]\n") &&
                usage.err.empty());
    const std::string page = ReadAll(DORVANE_RIP_PAGE), help = usage.out,
                      version = Child({"--version"}).out.substr(12);
    EXPECT_TRUE(Has(page, "\"Dorvane " + version.substr(0, version.size() - 1) + "\""));
    const std::regex option(" (--[a-z0-9-]+)");
    int options = 0;
    for (std::sregex_iterator at(help.begin(), help.end(), option), end; at != end; ++at, ++options)
        EXPECT_TRUE(Has(page, std::regex_replace((*at)[1].str(), std::regex("-"), "\\-")))
            << (*at)[1];
    EXPECT_GT(options, 20) << "the options --help lists";
}

// The tags as TagLib reads them: title, artist, album artist, album, track
// number and count, disc number and count, date, genre, ISRC, barcode.
std::string Tags(const TagLib::File& file) {
    TagLib::PropertyMap tags = file.properties();
    TagLib::String said;
    for (const char* key : {"TITLE", "ARTIST", "ALBUMARTIST", "ALBUM", "TRACKNUMBER", "TRACKTOTAL",
                            "DISCNUMBER", "DISCTOTAL", "DATE", "GENRE", "ISRC", "BARCODE"})
        said += tags[key].toString() + "|";
    return said.to8Bit(true);
}

// Every format, two jobs: the files hold the audio, its checksums in --json
// are the tools' (the audio read, not the file), the names come from the
// titles ("/" made "_"), the tags read back (MP3's ID3v2.4); a pipe gets one
// plain line per track, --quiet nothing; --no-log writes only the tracks.
TEST(DorvaneRip, EveryFormatNamedTaggedAndExact) {
    const Disc disc({120, 260, 75});
    const std::string names[] = {"Señal _ Ruido 01 - CD1", "Track 02 - CD1", "Track 03 - CD1"};
    for (const std::string format : {"wav", "flac", "mp3"}) {
        const Child r({"-f", format, "--titles", "-j", "2", "--json", "-o",
                       disc.folder.file(format), disc.cue});
        const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
        EXPECT_TRUE(r.status == 0 && json[u"accuraterip"][u"status"].toString() == u"not_asked")
            << r.err;
        EXPECT_TRUE(r.err.starts_with("[1/3] " + names[0] + "." + format + " (0:01.45)\n[2/3] " +
                                      names[1] + "." + format + " (0:03.35)\n[3/3] " + names[2] +
                                      "." + format + " (0:01.00)\n3 of 3 tracks") &&
                    r.err.find_first_of("\r\x1b") == std::string::npos &&
                    r.err.ends_with(" real time)\n") &&
                    std::count(r.err.begin(), r.err.end(), '\n') == 4)
            << r.err;
        for (int t = 1; t <= 3; ++t) {
            const std::string file = disc.folder.file(format + "/" + names[t - 1] + "." + format);
            EXPECT_TRUE(Holds(file, disc.Track(t))) << file;
            const std::string wav = disc.folder.file("t.wav");
            WriteFile(wav, WavFile(disc.Track(t)));
            const QJsonValue got = json[u"tracks"][t - 1][u"checksums"];
            EXPECT_EQ((got[u"crc32"].toString() + got[u"crc32_without_nulls"].toString() +
                       got[u"accuraterip_v1"].toString() + got[u"accuraterip_v2"].toString())
                          .toStdString(),
                      Hex(ToolCrc(wav, 44, false)) + Hex(ToolCrc(wav, 44, true)) +
                          Hex(ToolArSum(wav, t, 3, true)) + Hex(ToolArSum(wav, t, 3, false)))
                << file;
        }
    }
    TagLib::MPEG::File mp3(disc.folder.file("mp3/" + names[1] + ".mp3").c_str());
    EXPECT_TRUE(mp3.ID3v2Tag() && mp3.ID3v2Tag()->header()->majorVersion() == 4);
    EXPECT_EQ(Tags(mp3), "Track 02 - CD1|Guest|Los Ejemplos|" + kAlbum +
                             "|2/3||1/2||1998|Hard Rock||0724349691121|");
    EXPECT_EQ(Tags(TagLib::FLAC::File(disc.folder.file("flac/" + names[0] + ".flac").c_str())),
              "Señal / Ruido|Los Ejemplos|Los Ejemplos|" + kAlbum +
                  "|1|3|1|2|1998|Hard Rock|GBAYE9800012|0724349691121|");

    const Child quiet({"--quiet", "--no-log", "-t", "3", "-o", disc.folder.file("q"), disc.cue});
    EXPECT_TRUE(quiet.status == 0 && quiet.err.empty() && quiet.out.empty()) << quiet.err;
    EXPECT_EQ(Command("ls '" + disc.folder.file("q") + "'"), "Track 03 - CD1.wav\n");
}

// --lookup against a server on 127.0.0.1 in MusicBrainz's shape: one release
// names the files (a "/" and an escape made safe, over --titles) and tags
// them, and its cover is saved; of several, --release picks one, else the
// first is taken and the others are listed; a disc not known or a server
// that fails is one line, and the files are named as without a lookup. With
// --list: the disc's table and ids, and the releases.
TEST(DorvaneRip, TheTableAndNamesAndTagsFromMusicBrainz) {
    using namespace namestest;
    const Disc disc({120, 260, 75});
    const QString discId = QString::fromStdString(disc.musicBrainz);
    const auto release = [&](int id, const QString& album) {
        const std::vector<TrackSpec> tracks = {{u"Uno /\u001b[1mDos"_s, 1600},
                                               {u"Tres"_s, 3466, Credit({"Ana"})},
                                               {u"Cuatro"_s, 1000}};
        return Release(id, album, {Medium(2, {discId}, tracks), Medium(1, {}, tracks)},
                       Credit({"Los Ejemplos"}));
    };
    const std::string cover = "\xff\xd8\xff\xe0 a front cover",
                      one = Answer({release(1, u"Primero"_s)}, discId),
                      three = Answer({release(1, u"Primero"_s), release(2, u"Segundo"_s),
                                      release(3, u"Tercero"_s)},
                                     discId);
    const std::string named[] = {"Uno _ [1mDos 01 - CD1", "Tres 02 - CD1", "Cuatro 03 - CD1"},
                      plain[] = {"Señal _ Ruido 01 - CD1", "Track 02 - CD1", "Track 03 - CD1"},
                      taking = "MusicBrainz: 3 releases hold the disc; taking " +
                               Mbid(1).toStdString() +
                               " Los Ejemplos - Primero (1998-03-27, GB, Virgin CDV 2843, disc 2 "
                               "of 2), --release picks another:\n  " +
                               Mbid(2).toStdString() + " Los Ejemplos - Segundo",
                      failing = Line("cannot look the disc up in MusicBrainz: the server answered "
                                     "HTTP 500; the tracks keep their names") +
                                "[1/3]";
    const struct {
        const char* name;
        Reply reply;
        std::vector<std::string> args;
        std::string album; // empty: no names from the lookup
        std::string said;  // on standard error
    } cases[] = {
        {"one", Http(200, one), {}, "Primero", ""},
        {"picked", Http(200, three), {"--release", Mbid(2).toStdString()}, "Segundo", ""},
        {"first", Http(200, three), {}, "Primero", taking},
        {"unknown", Http(404, "{}"), {}, "", "MusicBrainz: the disc is not known; the tracks keep"},
        {"failing", Http(500, "oops"), {}, "", failing},
    };
    setenv("NO_PROXY", "127.0.0.1", 1);
    for (const auto& c : cases) {
        const LocalServer server([&](const std::string& target, int) {
            return target.starts_with("/release/") ? Http(200, cover) : c.reply;
        });
        const std::string out = disc.folder.file(c.name), base = server.Base().toStdString();
        setenv("XDG_CACHE_HOME", (out + "-cache").c_str(), 1);
        std::filesystem::create_directory(out);
        if (c.album == "Segundo") // a cover already there is kept
            std::ofstream(out + "/cover.jpg") << "mine";
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-f", "flac", "--titles", "--lookup", "--musicbrainz-url", base,
                                 "--coverart-url", base, "-o", out, disc.cue});
        const Child r(args);
        EXPECT_TRUE(r.status == 0 && Has(r.err, c.said)) << c.name << r.err;
        EXPECT_EQ(Has(r.err, "releases hold"), c.said == taking) << r.err;
        for (int t = 0; t < 3; ++t)
            EXPECT_TRUE(
                std::filesystem::exists(out + "/" + (c.album.empty() ? plain : named)[t] + ".flac"))
                << c.name << t << r.err;
        EXPECT_EQ(ReadAll(out + "/cover.jpg"), c.album.empty()        ? ""
                                               : c.album == "Segundo" ? "mine"
                                                                      : cover)
            << c.name;
        if (c.album.empty())
            continue;
        TagLib::FLAC::File flac((out + "/" + named[1] + ".flac").c_str());
        EXPECT_EQ(Tags(flac), "Tres|Ana|Los Ejemplos|" + c.album +
                                  "|2|3|2|2|1998-03-27|Hard Rock||724384260620|");
        // The MusicBrainz ids in the fields taggers read, and the cover inside.
        const TagLib::PropertyMap props = flac.properties();
        EXPECT_TRUE(!props["MUSICBRAINZ_ALBUMID"].isEmpty() &&
                    !props["MUSICBRAINZ_TRACKID"].isEmpty() &&
                    !props["MUSICBRAINZ_DISCID"].isEmpty())
            << c.name;
        const auto pictures = flac.pictureList();
        EXPECT_TRUE(pictures.size() == 1 &&
                    pictures.front()->data() ==
                        TagLib::ByteVector(cover.data(), unsigned(cover.size())))
            << c.name;
    }
    // The table as text and as JSON (parsed and written again compact, so its
    // keys sorted): titles and performers where the sheet has them, the
    // disc's ids, and every release, as JSON with their data.
    const LocalServer server([&](const std::string&, int) { return Http(200, three); });
    const std::string base = server.Base().toStdString();
    setenv("XDG_CACHE_HOME", disc.folder.file("list-cache").c_str(), 1);
    const Child text({"-l", "--lookup", "--musicbrainz-url", base, disc.cue}),
        json({"-l", "--json", "--lookup", "--musicbrainz-url", base, disc.cue});
    EXPECT_TRUE(text.status == 0 && json.status == 0);
    EXPECT_TRUE(text.out.starts_with(
        "Title: " + kAlbum +
        "\nPerformer: Los Ejemplos\n 1   0:00.00   0:01.45  Señal / Ruido\n"
        " 2   0:01.45   0:03.35  (Guest)\n 3   0:05.05   0:01.00\nMusicBrainz: 3 releases\n" +
        Mbid(1).toStdString() +
        " Los Ejemplos - Primero (1998-03-27, GB, Virgin CDV 2843, disc 2 of 2)\n"
        " 1  Uno / [1mDos\n 2  Tres (Ana)\n"))
        << text.out;
    QJsonObject listed = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    const QJsonObject found = listed.take(u"musicbrainz").toObject();
    EXPECT_EQ(QJsonDocument(listed).toJson(QJsonDocument::Compact).toStdString(),
              R"({"ids":{"accuraterip":{"cddb":")" + Hex(disc.cddb) + R"(","file":")" +
                  disc.arFile + R"(","id1":")" + Hex(disc.id1) + R"(","id2":")" + Hex(disc.id2) +
                  R"(","tracks":3},"freedb":")" + Hex(disc.cddb) + R"(","musicbrainz":")" +
                  disc.musicBrainz + R"("},"performer":"Los Ejemplos","source":")" + disc.cue +
                  R"(","title":")" + kAlbum +
                  R"(","tracks":[)"
                  R"({"audio":true,"length":120,"number":1,"start":0,"title":"Señal / Ruido"},)"
                  R"({"audio":true,"length":260,"number":2,"performer":"Guest","start":120},)"
                  R"({"audio":true,"length":75,"number":3,"start":380}]})")
        << json.out;
    EXPECT_EQ(found[u"status"], u"found"_s);
    EXPECT_EQ(found[u"releases"][2][u"id"], Mbid(3));
    EXPECT_EQ(found[u"releases"][0][u"tracks"][1][u"artist"], u"Ana"_s);
    EXPECT_EQ(found[u"releases"][0][u"tracks"][0][u"recording_id"], Mbid(100));
    unsetenv("XDG_CACHE_HOME");
}

// A signal once the first track has landed: the track then current ends
// after its block as a valid shorter file (the MP3 is the lame command's for
// the audio it says it holds, the FLAC decodes to it and states its length),
// the track encoded ahead leaves no trace and an older file under its name
// keeps its bytes, and the log says what was stopped; then the command dies
// by the signal, so that a shell loop around it stops. Under nohup a hang-up changes nothing.
TEST(DorvaneRip, ASignalLeavesAValidShorterFileAndNothingAhead) {
    const Disc disc({150, 22500, 300}); // the second track: 5 minutes
    // The name "nohup": SIGHUP, ignored as nohup leaves it.
    const std::tuple<int, std::string, std::string> cases[] = {{SIGINT, "mp3", "SIGINT"},
                                                               {SIGTERM, "flac", "SIGTERM"},
                                                               {SIGHUP, "mp3", "SIGHUP"},
                                                               {SIGHUP, "flac", "nohup"}};
    for (const auto& [signal, format, name] : cases) {
        const bool ignored = name == "nohup";
        const std::string out = disc.folder.file(name), ext = "." + format,
                          first = out + "/Track 01 - CD1" + ext,
                          second = out + "/Track 02 - CD1" + ext,
                          third = out + "/Track 03 - CD1" + ext;
        std::filesystem::create_directory(out);
        std::ofstream(third) << "older";
        std::signal(SIGHUP, ignored ? SIG_IGN : SIG_DFL); // and so in the child
        Child child({"-f", format, "-j", "2", "--overwrite", "-o", out, disc.cue}, false);
        std::signal(SIGHUP, SIG_DFL);
        ASSERT_TRUE(child.ReadUntil("[1/3]")) << child.err;
        ::kill(child.pid, signal);
        if (ignored) {
            EXPECT_EQ(child.Finish(), 0) << child.err;
            EXPECT_TRUE(Holds(second, disc.Track(2)) && Holds(third, disc.Track(3)));
            continue;
        }
        EXPECT_EQ(child.Finish(), 1000 + signal) << child.err;
        const std::string said =
            "dorvane-rip: " + second + ": stopped by " + name + "; the file holds the first ";
        const auto at = child.err.find(said);
        ASSERT_NE(at, std::string::npos) << child.err;
        int minutes = 0, seconds = 0, frames = 0;
        std::sscanf(child.err.c_str() + at + said.size(), "%d:%d.%d", &minutes, &seconds, &frames);
        const std::int32_t held = (minutes * 60 + seconds) * 75 + frames;
        EXPECT_TRUE(held > 0 && held < 22500 && Holds(first, disc.Track(1)) &&
                    Holds(second, disc.Track(2, held)) &&
                    (format == "mp3" || Command("metaflac --show-total-samples '" + second + "'") ==
                                            std::to_string(held * 588) + "\n"))
            << held;
        EXPECT_EQ(ReadAll(third), "older");
        EXPECT_TRUE(Has(ReadAll(out + "/disc.log"), "Outcome: \"stopped after "));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 4);
    }
}

// What a source is refused for before anything is read or written, in one
// line each even under --quiet: usage errors (with where to find help) and
// unusable sources end with 2 and make no folder; a folder that cannot be
// made, a track too long for WAV (4.3 GB, from a sparse BIN) and files already
// there, which only --overwrite replaces, end with 1. --skip-existing resumes
// a cut run, keeping the log. A listing that cannot be written fails, as ls
// does.
TEST(DorvaneRip, WhatASourceIsRefusedFor) {
    const Disc disc({30, 20});
    const std::string big = disc.folder.file("big.cue"), broken = disc.folder.file("broken.cue"),
                      none = disc.folder.file("none.cue"), dir = disc.folder.path(),
                      unmade = disc.folder.file("unmade"), empty = disc.folder.file("empty"),
                      out = disc.folder.file("out"), first = out + "/Track 01 - CD1.wav",
                      second = out + "/Track 02 - CD1.wav", log = out + "/disc.log",
                      help = "Try 'dorvane-rip --help' for more information.\n",
                      there = ": is already there; --overwrite replaces it, --skip-existing "
                              "leaves its track";
    std::ofstream(big) << "FILE \"big.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    std::ofstream(broken) << "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    std::ofstream(disc.folder.file("big.bin")).close();
    ASSERT_EQ(::truncate(disc.folder.file("big.bin").c_str(), off_t{1830000} * 2352), 0);
    std::filesystem::create_directory(out);
    std::ofstream(first) << "older";
    std::ofstream(log) << "older";
    // The status, the arguments after --quiet split at spaces, and what is said.
    const std::tuple<int, std::string, std::string> cases[] = {
        {2, "-f ogg " + disc.cue, Line("-f \"ogg\": the formats are wav, mp3 and flac") + help},
        // as getopt_long reads them: abbreviated, "--opt=value", bundled
        {2, "--trac=2-1 " + disc.cue,
         Line("--tracks \"2-1\": not a list of track numbers from 1 to 99, such as 1,3-5") + help},
        {2, "-lj0 " + disc.cue, Line("-j \"0\": not a number of jobs from 1 to 1024") + help},
        {2, "-o " + unmade + " " + none, Line(none + ": No such file or directory")},
        {2, "-o " + unmade + " " + dir,
         Line(dir + ": is a folder; name the disc image (the CUE sheet) in it")},
        {2, "-o " + unmade + " -t 2,5 " + disc.cue,
         Line(disc.cue + ": the disc has no track 5 (its tracks are 1 to 2)")},
        {2, "-o " + unmade + " " + broken,
         Line(broken + ": cannot find \"gone.bin\": looked for " + disc.folder.file("gone.bin") +
              ", in any letter case")},
        {1, "-o " + big + "/sub " + big,
         Line(big + "/sub: cannot create the folder: Not a directory")},
        {1, "--no-log -o " + empty + " " + big,
         Line(empty + "/Track 01 - CD1.wav: track 1 is too long for a WAV file (at most 4 GB of "
                      "audio); choose -f flac or -f mp3")},
        {1, "-o " + out + " " + disc.cue, Line(first + there) + Line(log + there)},
    };
    for (const auto& [status, line, err] : cases) {
        std::vector<std::string> args = {"--quiet"};
        std::istringstream words(line);
        for (std::string word; words >> word;)
            args.push_back(word);
        const Child r(args);
        EXPECT_TRUE(r.status == status && r.out.empty()) << err;
        EXPECT_EQ(r.err, err);
    }
    EXPECT_TRUE(!std::filesystem::exists(unmade) && std::filesystem::is_empty(empty) &&
                !std::filesystem::exists(second));
    const Child skipped({"--skip-existing", "-o", out, disc.cue});
    EXPECT_TRUE(skipped.status == 0 && ReadAll(first) == "older" && ReadAll(log) == "older" &&
                ReadAll(second).substr(44) == disc.Track(2))
        << skipped.err;
    EXPECT_EQ(Command("'" DORVANE_RIP "' -l '" + disc.cue + "' 2>&1 >/dev/full; echo $?"),
              "dorvane-rip: standard output: No space left on device\n1\n");
}

} // namespace
