// The command line's own logic where test_dorvaneRip cannot reach it: its
// arguments, track names, the folders of several sources, the JSON table's
// escapes, and the terminal's progress line.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonValue>

#include <cstdio>

#include "TestSupport.h"
#include "rip/DiscListing.h"
#include "rip/ProgressPrinter.h"
#include "rip/RipOptions.h"
#include "rip/TrackPlan.h"

namespace {

using namespace Qt::StringLiterals;

ripcli::ParsedArguments Parse(const char* line) {
    return ripcli::ParseArguments(QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts));
}

// Each bad argument is named with its value and the reason; good ones land in
// their fields. (Defaults, options a run shows, errors it says: test_dorvaneRip.)
TEST(RipOptions, UsageErrorsNameTheArgumentAndGoodOnesAreRead) {
    const struct {
        const char *line, *error;
    } bad[] = {
        {"--frobnicate", "--frobnicate: unknown option"},
        {"-x a.cue", "-x: unknown option"},
        {"-t", "-t: needs a value"},
        {"--tracks 1,x", "--tracks \"1,x\": not a list of track numbers"},
        {"-t 0", "-t \"0\": not a list"},
        {"-t 1,,2", "-t \"1,,2\": not a list"},
        {"-b 100", "-b \"100\": the bitrates are 32"},
        {"--quality=Loud", "--quality \"Loud\": the qualities are Low"},
        {"--verify -l a.cue", "--verify: cannot go with --list"},
        {"--accuraterip a.bin --accuraterip-url http://h/ a.cue",
         "--accuraterip: cannot go with --accuraterip-url"},
        {"--accuraterip-url https://h/", "--accuraterip-url \"https://h/\": not an http://"},
        {"--quiet=yes", "--quiet=yes: takes no value"},
        {"--lookup --release 12 a.cue", "--release \"12\": not a MusicBrainz release id"},
        {"--release 00000001-1111-4222-8333-000000000001 a.cue", "--release: goes with --lookup"},
        {"--lookup --musicbrainz-url ftp://h a.cue", "--musicbrainz-url \"ftp://h\": not an"},
        {"--lookup --verify a.cue", "--lookup: cannot go with --verify"},
    };
    for (const auto& c : bad)
        EXPECT_TRUE(Parse(c.line).error.startsWith(QString::fromUtf8(c.error)))
            << c.line << " gave " << Parse(c.line).error.toStdString();

    const auto good =
        Parse("-t 7,3-5,4 --format=FLAC -b192 -q studio --crc --no-number -l a.cue -- -b.cue");
    ASSERT_TRUE(good.error.isEmpty()) << good.error.toStdString();
    const ripcli::RipOptions& o = good.options;
    EXPECT_EQ(o.tracks, (std::vector<int>{3, 4, 5, 7}));
    EXPECT_TRUE(o.format == ripcli::Format::Flac && o.bitrateText == u"192" &&
                o.qualityIndex == 9 && o.crc && !o.privateFlag && o.noNumber && o.list);
    EXPECT_EQ(o.sources, (QStringList{u"a.cue"_s, u"-b.cue"_s}));
    EXPECT_EQ(Parse("a.cue").options.jobs, 0); // one per core
}

ripcli::DiscListing Disc() {
    return {u"Álbum \"Uno\""_s,
            u"Los Ejemplos"_s,
            {{1, 0, 40, true, u"Señal / Ruido"_s, {}},
             {2, 40, 75, true, {}, u"Guest"_s},
             {3, 115, 4500, false, {}, {}}}};
}

// The window's name form without a number, or with an empty prefix (no
// dangling " - "), a template's, and control characters kept out of the name;
// data tracks and two tracks in one file are refused. (Titles and prefixes,
// tags and the other refusals are read back in test_dorvaneRip.)
TEST(TrackPlan, NamesRefusalsAndFolders) {
    const struct {
        std::vector<int> wanted;
        ripcli::NameChoices choices;
        const char *files, *error;
    } cases[] = {
        {{1}, {true, {}, true, {}}, "/o/Señal _ Ruido.mp3", ""},
        {{1, 2}, {false, QString(), false, {}}, "/o/Track 01.mp3|/o/Track 02.mp3", ""},
        {{1, 2},
         {true, {}, false, u"%n %t (%p) %a %x 100%%"_s},
         "/o/01 Señal _ Ruido () Álbum \"Uno\" CD1 100%.mp3|/o/02 Track (Guest) Álbum \"Uno\" CD1 "
         "100%.mp3",
         ""},
        {{1}, {true, {}, false, u"%t\x1b[2J\t%n\x01"_s}, "/o/Señal _ Ruido [2J 01.mp3", ""},
        {{}, {false, {}, true, {}}, "", "tracks 1 and 2 would both be written to /o/Track.mp3"},
        {{3}, {}, "", "track 3 is a data track"},
    };
    for (const auto& c : cases) {
        const auto plan = ripcli::PlanTracks(Disc(), c.wanted, c.choices, u"/o/"_s, u"mp3"_s);
        EXPECT_TRUE(*c.error ? plan.error.startsWith(QString::fromUtf8(c.error))
                             : plan.error.isEmpty())
            << plan.error.toStdString();
        QStringList files;
        for (const auto& t : plan.tracks)
            files << t.fileName;
        EXPECT_EQ(files.join(u'|'), QString::fromUtf8(c.files)) << c.error;
    }
    // An Enhanced CD's last audio track ends with its session, 11400 sectors
    // before the data track.
    const ripcli::DiscListing enhanced{
        {}, {}, {{1, 0, 20000, true, {}, {}}, {2, 20000, 900, false, {}, {}}}};
    EXPECT_EQ(ripcli::PlanTracks(enhanced, {}, {}, u"/o/"_s, u"wav"_s).tracks.at(0).end, 8600);
    EXPECT_EQ(ripcli::SourceFolders(u"/o"_s, {u"a/x.cue"_s, u"b/x.cue"_s, u"c/x (2).cue"_s,
                                              u"/dev/sr0"_s, u"y.tar.toc"_s})
                  .join(u'|'),
              u"/o/x|/o/x (2)|/o/x (2) (2)|/o/sr0|/o/y.tar");
}

// Any title parses back, a data track reads as one, a bare disc has no stray
// comma. (The rest of the shape: test_dorvaneRip, on a real image.)
TEST(DiscListing, JsonEscapesEveryTitle) {
    ripcli::DiscListing disc = Disc();
    disc.tracks[1].title = u"Tab\there \\ \"quoted\" \x01\x7f end\n"_s;
    const QByteArray json = ripcli::ListingJson(disc);
    EXPECT_TRUE(json.contains(R"({"number": 3, "start": 115, "length": 4500, "audio": false})"))
        << json.constData();
    EXPECT_EQ(QJsonDocument::fromJson(json)[u"tracks"][1][u"title"].toString(),
              disc.tracks[1].title)
        << json.constData();
    EXPECT_EQ(ripcli::ListingJson({}), QByteArray("{\"source\": null, \"tracks\": []}\n"));
    EXPECT_EQ(ripcli::SectorTime(4 * 60 * 75 + 7 * 75 + 3), u"4:07.03");
}

// On a terminal one line is redrawn in place and never wider than the
// terminal (else \r would not reach its start), coloured only when asked;
// into a pipe and quiet: test_dorvaneRip.
TEST(ProgressPrinter, OnATerminalOneLineIsRedrawn) {
    const QString name = u"A rather long track name that cannot fit 01 - CD1.flac"_s;
    const ripcli::Progress p{name, 300, 600, 1, 0, 3, 900, 1800, 2.0};
    for (const bool colour : {false, true}) {
        std::FILE* out = std::tmpfile();
        ripcli::ProgressPrinter printer(out, ripcli::ProgressPrinter::Mode::Terminal, colour, 60);
        printer.Update(p);
        printer.Update(p);
        printer.TrackDone(p);
        printer.Error(u"no \x1b]0;x\x07"_s);
        std::fflush(out);
        const std::string written =
            testsupport::ReadAll("/proc/self/fd/" + std::to_string(::fileno(out)));
        std::fclose(out);
        if (colour)
            EXPECT_TRUE(written.find("\x1b[32m##########\x1b[0m") != std::string::npos) << written;
        else
            EXPECT_EQ(written,
                      "\rA rather lo~ [##########----------]  50% 1/3 6.0x 0:02 left\x1b[K"
                      "\rA rather lo~ [##########----------]  50% 1/3 6.0x 0:02 left\x1b[K"
                      // a finished track keeps its line, and titles' controls show as codes
                      "\r\x1b[K[1/3] A rather long track name that cannot fit 01 - CD1.flac "
                      "(0:04.00)\nno \\x1b]0;x\\x07\n");
    }
}

} // namespace
