// The extraction driver over a disc image: which tracks it extracts, where the
// files land, the empty-folder message and Cancel.

#include <gtest/gtest.h>

#include <QDir>

#include "ExtractFixture.h"
#include "extract/modRip.h"
#include "general/modFiles.h"

#include "tracks/modNames.h"
#include <sys/stat.h>

namespace {

// The track list in default names, nothing ticked, WAV into the test folder.
struct Session : extracttest::OpenDisc, modRip::RipSource {
    QStringList names;
    QList<int> ticked;
    QString outPath = folder.qpath();
    int settingsShown = 0;

    explicit Session(std::vector<std::int32_t> lengths) : OpenDisc(std::move(lengths)) {
        for (int i = 1; i <= int(plan.trackSectors.size()); ++i)
            names << modNames::DefaultTrackName(i);
    }
    int ItemCount() override { return int(names.size()); }
    bool IsChecked(int i) override { return ticked.contains(i); }
    QString ItemText(int i) override { return names.value(i); }
    bool Mp3Selected() override { return false; }
    QString OutPath() override { return outPath; }
    modRip::EncoderChoices Encoder() override { return {QStringLiteral("160"), 1}; }
    void ShowSettings() override { ++settingsShown; }
    void Extract() { modRip::cmdRip_Click(*this, progress, dialogs); }
    QStringList Files() const {
        return QDir(folder.qpath()).entryList({QStringLiteral("*.wav")}, QDir::Files);
    }
    std::string File(int i) const {
        return extracttest::ReadAll(folder.file(names[i].toStdString() + ".wav"));
    }
};

// Each ticked item, in list order, gets the sectors from its table entry to the
// next (the lead-out for the last). A name holding "/" does not make a folder
// of its own.
TEST(RipDriver, ExtractsTheTickedTracksInListOrder) {
    Session run({40, 27, 52, 1, 30, 26});
    run.ticked = {0, 4, 5};
    run.names[4] = QStringLiteral("AC/DC 05 - Live");
    run.Extract();
    run.names[4] = QStringLiteral("AC_DC 05 - Live");
    QStringList statuses;
    for (int i : run.ticked) {
        statuses << QStringLiteral("Extracting: %1.wav").arg(run.names[i]);
        EXPECT_TRUE(run.File(i) == run.Wav(run.Start(i), run.Start(i + 1))) << i;
    }
    run.progress.statuses.removeDuplicates();
    EXPECT_EQ(run.progress.statuses, statuses);
    EXPECT_EQ(run.Files().size(), 3);
}

// Without a folder each ticked item is told once and skipped. After a Cancel a
// WAV track runs to its end and the run stops; the next Extract runs normally.
TEST(RipDriver, AnEmptyFolderIsToldPerTickedTrackAndCancelStopsTheRun) {
    Session run({30, 30, 30});
    run.ticked = {0, 2};
    run.outPath.clear();
    run.Extract();
    ASSERT_EQ(run.dialogs.boxes.size(), 2u);
    for (const auto& box : run.dialogs.boxes)
        EXPECT_TRUE(box.text == QStringLiteral("Please select a valid output path") &&
                    box.title == QStringLiteral("No output path specified") &&
                    box.icon == Dialogs::Icon::Information);
    EXPECT_TRUE(run.settingsShown == 2 && run.progress.shown == 0);
    run.outPath = run.folder.qpath();
    run.progress.onEvents = [&run] {
        mVariables::CancelRequested = true, run.Extract();
    }; // a second Extract waits
    run.Extract();
    EXPECT_TRUE(run.Files() == QStringList{run.names[0] + QStringLiteral(".wav")} &&
                run.File(0) == run.Wav(0, 30));
    run.progress.onEvents = [] {};
    run.Extract();
    EXPECT_EQ(run.Files().size(), 2);
}

// An output folder whose name is not UTF-8 is written into under the bytes
// it has on the disk.
TEST(RipDriver, WritesIntoAFolderWhoseNameIsNotUtf8) {
    Session run({30});
    run.ticked = {0};
    const QByteArray folder = QByteArray::fromStdString(run.folder.path()) + "/caf\xe9";
    ASSERT_EQ(mkdir(folder.constData(), 0777), 0);
    run.outPath = modFiles::PathFromBytes(folder);
    run.Extract();
    EXPECT_TRUE(run.dialogs.boxes.empty() &&
                extracttest::ReadAll((folder + "/Track 01 - CD1.wav").toStdString()) ==
                    run.Wav(0, 30));
}

} // namespace
