#include "tracks/modNames.h"

#include <gtest/gtest.h>

using namespace modNames;

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

TEST(NameParts, TitleNumberAndPrefix) {
    struct Row {
        const char *name, *title, *trackNo, *prefix;
    };
    const Row rows[] = {
        {"Track 01 - CD1", "Track", "01", " CD1"},
        {"Intro", "Intro", "Intro", "Intro"},
        {"", "", "", ""},
        // A title with a space or hyphens shifts the number slot.
        {"My Song 01 - CD1", "My", "Song", " CD1"},
        {"Rock-n-Roll 05 - CD2", "Rock-n-Roll", "CD2", " CD2"},
        // More hyphens than words: no word there.
        {"A-B-C", "A-B-C", "", "A-B-C"},
        {"Track  01 - CD1", "Track", "", " CD1"},
        {"Track 01 -", "Track", "01", ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TitleFromName(S(r.name)), S(r.title)) << r.name;
        EXPECT_EQ(TrackNoFromName(S(r.name)), S(r.trackNo)) << r.name;
        EXPECT_EQ(PrefixFromName(S(r.name)), S(r.prefix)) << r.name;
    }
}

TEST(NameParts, FileNameFromPathTakesTheLastPiece) {
    const std::pair<const char*, const char*> rows[] = {
        {"/music/Track 01 - CD1.wav", "Track 01 - CD1.wav"},
        {"a.wav", "a.wav"},
        {"/music/", ""},
        {"", ""},
        {"C:\\music\\a.wav", "C:\\music\\a.wav"}};
    for (const auto& [path, name] : rows)
        EXPECT_EQ(FileNameFromPath(S(path)), S(name)) << path;
}

TEST(BuildingNames, DefaultComposedAndNumberedNamesReadBack) {
    EXPECT_EQ(DefaultTrackName(9), S("Track 09 - CD1"));
    EXPECT_EQ(DefaultTrackName(10), S("Track 10 - CD1"));
    EXPECT_EQ(ComposeName(S("Intro"), S("03"), S("CD2")), S("Intro 03 - CD2"));
    EXPECT_EQ(BareName(S("Intro 03 - CD2")), S("Intro"));
    EXPECT_EQ(NumberedName(S("Outro"), 11), S("Outro 12 - CD1"));
}

TEST(OptionSwitch, ExcludeRefusedWhileDefaultNamesRemain) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"Track 01 - CD1", "Track 02 - CD1", true},
        {"Intro 01 - CD1", "Track 02 - CD1", true},
        {"Track 01 - CD1", "Song 02 - CD1", true},
        {"Track 01", "", true},
        {"Intro 01 - CD1", "Song 02 - CD1", false},
        {"Song 01 - CD1", "", false},
        {"", "", false},
        // The comparison is exact: case, position and the number matter.
        {"track 01 - CD1", "TRACK 02 - CD1", false},
        {"Track 02 - CD1", "Track 01 - CD1", false},
    };
    for (const auto& [a, b, refused] : rows)
        EXPECT_EQ(ExcludeRefused(S(a), S(b)), refused) << a << " / " << b;
}

} // namespace
