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

// The third case also has a folder ending in "/" and a name holding one,
// which must not become a folder of its own.
TEST(RipDriver, ExtractsTheTickedTracksInListOrder) {
    const struct {
        std::vector<int> ticked;
        const char* fifthName;  // and its file's base name
        const char* fifthFile;
    } cases[] = {{{1, 4}, "Track 05 - CD1", "Track 05 - CD1"},
                 {{0, 1, 2, 3, 4, 5}, "Track 05 - CD1", "Track 05 - CD1"},
                 {{4, 1}, "AC/DC 05 - Live", "AC_DC 05 - Live"}};
    for (const auto& c : cases) {
        Session run({40, 27, 52, 1, 30, 26});
        run.source.ticked = c.ticked;
        run.source.names[4] = QString::fromLatin1(c.fifthName);
        if (c.ticked.size() == 2 && c.ticked[0] == 4)
            run.source.outPath += QLatin1Char('/');
        run.Extract();
        QStringList expected;
        for (int i = 0; i < 6; ++i) {
            if (!run.source.IsChecked(i))
                continue;
            const QString base = i == 4 ? QString::fromLatin1(c.fifthFile) : run.source.names[i];
            expected << QStringLiteral("Extracting: %1.wav").arg(base);
            EXPECT_TRUE(ReadAll(run.folder.file(base.toStdString() + ".wav")) == run.Wav(run.Start(i), run.Start(i + 1)));
        }
        QStringList statuses;
        for (const auto& u : run.progress.updates)
            statuses << u.first;
        statuses.removeDuplicates();
        EXPECT_EQ(statuses, expected);
        EXPECT_TRUE(run.Files().size() == expected.size() && run.dialogs.boxes.empty());
    }
}

TEST(RipDriver, AnEmptyFolderIsToldOncePerTickedTrack) {
    Session run({30, 30, 30});
    run.source.ticked = {0, 2};
    run.source.outPath.clear();
    run.Extract();
    ASSERT_EQ(run.dialogs.boxes.size(), 2u);
    for (const auto& box : run.dialogs.boxes)
        EXPECT_TRUE(box.text == QStringLiteral("Please select a valid output path") &&
                    box.title == QStringLiteral("No output path specified") && box.icon == Dialogs::Icon::Information);
    EXPECT_TRUE(run.source.settingsShown == 2 && run.progress.shown == 0);
}

TEST(RipDriver, CancelEndsTheRunAfterTheTrackAndASecondExtractWaits) {
    Session run({30, 30});
    run.source.ticked = {0, 1};
    run.progress.onEvents = [&run] {
        mVariables::CancelRequested = true;
        run.Extract();  // a second Extract while the first runs does nothing
    };
    run.Extract();
    EXPECT_TRUE(run.progress.shown == 1 && run.Files() == QStringList{QStringLiteral("Track 01 - CD1.wav")});
    EXPECT_TRUE(ReadAll(run.folder.file("Track 01 - CD1.wav")) == run.Wav(0, 30));  // WAV ends its track
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
