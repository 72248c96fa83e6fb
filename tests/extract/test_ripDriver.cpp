// The extraction driver over a disc image: which tracks it extracts, where
// the files land, the empty-folder message, Cancel and a second Extract.

#include <gtest/gtest.h>

#include <QDir>

#include "ExtractFixture.h"
#include "extract/modRip.h"
#include "tracks/modNames.h"

namespace {

using extracttest::OpenDisc;
using extracttest::ReadAll;

struct FakeSource : modRip::RipSource {
    QStringList names;
    std::vector<int> ticked;
    QString outPath;
    int settingsShown = 0;
    int ItemCount() override { return static_cast<int>(names.size()); }
    bool IsChecked(int i) override { return std::find(ticked.begin(), ticked.end(), i) != ticked.end(); }
    QString ItemText(int i) override { return names.value(i); }
    bool Mp3Selected() override { return false; }
    QString OutPath() override { return outPath; }
    modRip::EncoderChoices Encoder() override { return {QStringLiteral("160"), 1}; }
    void ShowSettings() override { ++settingsShown; }
};

struct Session : OpenDisc {
    FakeSource source;
    explicit Session(std::vector<std::int32_t> lengths) : OpenDisc(std::move(lengths)) {
        for (std::size_t i = 1; i <= plan.trackSectors.size(); ++i)
            source.names << modNames::DefaultTrackName(static_cast<int>(i));
        source.outPath = folder.qpath();
    }
    void Extract() { modRip::cmdRip_Click(source, progress, dialogs); }
    QStringList Files() const { return QDir(folder.qpath()).entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name); }
};

TEST(RipDriver, ExtractsTheTickedTracksInListOrder) {
    const struct {
        std::vector<int> ticked;
        QString outPath;  // empty: the test folder
    } cases[] = {{{1, 4}, {}}, {{0, 1, 2, 3, 4, 5}, {}}, {{4, 1}, QStringLiteral("/")}};
    for (const auto& c : cases) {
        Session run({40, 27, 52, 1, 30, 26});
        run.source.ticked = c.ticked;
        if (!c.outPath.isEmpty())
            run.source.outPath = run.folder.qpath() + c.outPath;  // ends in "/" already
        run.Extract();
        std::vector<int> sorted = c.ticked;
        std::sort(sorted.begin(), sorted.end());
        QStringList expected;
        for (int i : sorted) {
            expected << QStringLiteral("Extracting: %1.wav").arg(run.source.names[i]);
            const std::string file = run.folder.file(run.source.names[i].toStdString() + ".wav");
            EXPECT_EQ(ReadAll(file), run.Wav(run.Start(i), run.Start(i + 1))) << file;
        }
        QStringList statuses;
        for (const auto& u : run.progress.updates)
            if (!statuses.contains(u.status))
                statuses << u.status;
        EXPECT_EQ(statuses, expected);
        EXPECT_EQ(run.Files().size(), expected.size());
        EXPECT_TRUE(run.dialogs.boxes.empty());
    }
}

TEST(RipDriver, AnEmptyFolderIsToldOncePerTickedTrack) {
    Session run({30, 30, 30});
    run.source.ticked = {0, 2};
    run.source.outPath.clear();
    run.Extract();
    ASSERT_EQ(run.dialogs.boxes.size(), 2u);
    for (const auto& box : run.dialogs.boxes) {
        EXPECT_EQ(box.text, QStringLiteral("Please select a valid output path"));
        EXPECT_EQ(box.title, QStringLiteral("No output path specified"));
        EXPECT_EQ(box.icon, Dialogs::Icon::Information);
    }
    EXPECT_EQ(run.source.settingsShown, 2);
    EXPECT_EQ(run.progress.shown, 0);
}

TEST(RipDriver, ASlashInANameStaysInTheFolder) {
    Session run({30});
    run.source.names = {QStringLiteral("AC/DC 01 - Live")};
    run.source.ticked = {0};
    run.Extract();
    EXPECT_EQ(run.Files(), QStringList{QStringLiteral("AC_DC 01 - Live.wav")});
    EXPECT_EQ(ReadAll(run.folder.file("AC_DC 01 - Live.wav")), run.Wav(0, 30));
}

TEST(RipDriver, CancelEndsTheRunAfterTheTrackAndASecondExtractWaits) {
    Session run({30, 30});
    run.source.ticked = {0, 1};
    run.progress.onEvents = [&run] {
        mVariables::CancelRequested = true;
        run.Extract();  // a second Extract while the first runs does nothing
    };
    run.Extract();
    EXPECT_EQ(run.progress.shown, 1);
    EXPECT_EQ(run.Files(), QStringList{QStringLiteral("Track 01 - CD1.wav")});
    EXPECT_EQ(ReadAll(run.folder.file("Track 01 - CD1.wav")), run.Wav(0, 30));  // WAV ends its track
    run.progress.onEvents = nullptr;
    run.Extract();
    EXPECT_EQ(run.Files().size(), 2);
}

TEST(RipDriver, BitrateTextAndFolder) {
    const std::pair<const char*, std::uint32_t> bitrates[] = {
        {"160", 160}, {" 128 kbit/s", 128}, {"160.5", 160}, {"161.5", 162}, {"191.51", 192},
        {"abc", 0},   {"", 0},              {"-64", 0},     {".4", 0},      {"99999999999", 0}};
    for (const auto& [text, rate] : bitrates)
        EXPECT_EQ(modRip::BitrateFromText(QString::fromLatin1(text)), rate) << text;
    EXPECT_EQ(modRip::EnsureTrailingBackslash(QStringLiteral("/music")), QStringLiteral("/music/"));
    EXPECT_EQ(modRip::EnsureTrailingBackslash(QStringLiteral("/music/")), QStringLiteral("/music/"));
}

}  // namespace
