#include "tracks/modNames.h"

#include <gtest/gtest.h>

using namespace modNames;

namespace {

struct Parts {
    const char* name;
    const char* title;
    const char* trackNo;
    const char* prefix;
};

void ExpectParts(const Parts& p) {
    const QString name = QString::fromUtf8(p.name);
    EXPECT_EQ(TitleFromName(name), QString::fromUtf8(p.title)) << "title of '" << p.name << "'";
    EXPECT_EQ(TrackNoFromName(name), QString::fromUtf8(p.trackNo)) << "number of '" << p.name << "'";
    EXPECT_EQ(PrefixFromName(name), QString::fromUtf8(p.prefix)) << "prefix of '" << p.name << "'";
}

}  // namespace

TEST(NameParts, FullNames) {
    ExpectParts({"Track 01 - CD1", "Track", "01", " CD1"});
    ExpectParts({"Intro 12 - CD4", "Intro", "12", " CD4"});
    // A title with a space shifts every word: the number slot reads the second word.
    ExpectParts({"My Song 01 - CD1", "My", "Song", " CD1"});
}

TEST(NameParts, BareNames) {
    ExpectParts({"Intro", "Intro", "Intro", "Intro"});
    ExpectParts({"Two words", "Two", "Two", "Two words"});
}

TEST(NameParts, EmptyNameGivesEmptyParts) {
    ExpectParts({"", "", "", ""});
    EXPECT_TRUE(TitleFromName(QString()).isEmpty());
    EXPECT_TRUE(TrackNoFromName(QString()).isEmpty());
    EXPECT_TRUE(PrefixFromName(QString()).isEmpty());
}

TEST(NameParts, HyphensMoveTheNumberSlot) {
    // Three hyphens: the fourth word.
    ExpectParts({"Rock-n-Roll 05 - CD2", "Rock-n-Roll", "CD2", " CD2"});
    // More hyphens than words: no word there.
    ExpectParts({"A-B-C", "A-B-C", "", "A-B-C"});
    ExpectParts({"-", "-", "", "-"});
    ExpectParts({"Track 01 - CD1 - X", "Track", "-", " X"});
}

TEST(NameParts, SpacesMakeEmptyWords) {
    ExpectParts({"Track  01 - CD1", "Track", "", " CD1"});
    ExpectParts({" Intro", "", "", " Intro"});
    ExpectParts({"Intro ", "Intro", "Intro", "Intro "});
    ExpectParts({"Track 01 -", "Track", "01", ""});
    ExpectParts({"Track 01 - ", "Track", "01", " "});
}

TEST(FileNameFromPath, TakesTheLastPiece) {
    EXPECT_EQ(FileNameFromPath(QStringLiteral("/music/Track 01 - CD1.wav")), QStringLiteral("Track 01 - CD1.wav"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("Track 01 - CD1.wav")), QStringLiteral("Track 01 - CD1.wav"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("a/b/c")), QStringLiteral("c"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("/music/")), QString());
    EXPECT_EQ(FileNameFromPath(QString()), QString());
    // Only our own separator counts.
    EXPECT_EQ(FileNameFromPath(QStringLiteral("C:\\music\\a.wav")), QStringLiteral("C:\\music\\a.wav"));
}

TEST(BuildingNames, DefaultTrackNamePadsBelowTen) {
    EXPECT_EQ(DefaultTrackName(1), QStringLiteral("Track 01 - CD1"));
    EXPECT_EQ(DefaultTrackName(9), QStringLiteral("Track 09 - CD1"));
    EXPECT_EQ(DefaultTrackName(10), QStringLiteral("Track 10 - CD1"));
    EXPECT_EQ(DefaultTrackName(99), QStringLiteral("Track 99 - CD1"));
}

TEST(BuildingNames, ComposeNameAndBackAgain) {
    const QString name = ComposeName(QStringLiteral("Intro"), QStringLiteral("03"), QStringLiteral("CD2"));
    EXPECT_EQ(name, QStringLiteral("Intro 03 - CD2"));
    EXPECT_EQ(TitleFromName(name), QStringLiteral("Intro"));
    EXPECT_EQ(TrackNoFromName(name), QStringLiteral("03"));
    EXPECT_EQ(PrefixFromName(name), QStringLiteral(" CD2"));
    EXPECT_EQ(ComposeName(QString(), QString(), QString()), QStringLiteral("  - "));
}

TEST(OptionSwitch, ExcludeRefusedWhileDefaultNamesRemain) {
    auto refused = [](const char* a, const char* b) {
        return ExcludeRefused(QString::fromUtf8(a), QString::fromUtf8(b));
    };
    EXPECT_TRUE(refused("Track 01 - CD1", "Track 02 - CD1"));
    EXPECT_TRUE(refused("Intro 01 - CD1", "Track 02 - CD1"));
    EXPECT_TRUE(refused("Track 01 - CD1", "Song 02 - CD1"));
    EXPECT_TRUE(refused("Track 01 - CD1", ""));
    EXPECT_TRUE(refused("Track 01", ""));
    EXPECT_FALSE(refused("Intro 01 - CD1", "Song 02 - CD1"));
    EXPECT_FALSE(refused("Song 01 - CD1", ""));
    EXPECT_FALSE(refused("", ""));
    // The comparison is exact: case, position and the number matter.
    EXPECT_FALSE(refused("track 01 - CD1", "TRACK 02 - CD1"));
    EXPECT_FALSE(refused(" Track 01 - CD1", "Track 03 - CD1"));
    EXPECT_FALSE(refused("Track 02 - CD1", "Track 01 - CD1"));
    EXPECT_FALSE(refused("Track 0", "Track 0"));
}

TEST(OptionSwitch, BareAndNumberedNames) {
    EXPECT_EQ(BareName(QStringLiteral("Intro 01 - CD1")), QStringLiteral("Intro"));
    EXPECT_EQ(BareName(QStringLiteral("Intro")), QStringLiteral("Intro"));
    EXPECT_EQ(BareName(QString()), QString());
    EXPECT_EQ(NumberedName(QStringLiteral("Intro"), 0), QStringLiteral("Intro 1 - CD1"));
    EXPECT_EQ(NumberedName(QStringLiteral("Outro"), 11), QStringLiteral("Outro 12 - CD1"));
    // The number reads back from the name it makes.
    EXPECT_EQ(TrackNoFromName(NumberedName(QStringLiteral("Outro"), 11)), QStringLiteral("12"));
}
