// WAV extraction from disc images read by libcdio: the files must hold the
// disc's bytes exactly, and every failure must leave a header that states
// what the file holds.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "ExtractFixture.h"
#include "extract/modWAV.h"

namespace {

using extracttest::OpenDisc;
using extracttest::ReadAll;
using riptrack::RipOutcome;
constexpr std::int32_t kBlock = 26 * 2352;

TEST(RipTrackWav, CopiesTheSectorsBehindTheHeader) {
    const struct {
        int track;  // -1: an empty track at the start of track 0
        std::vector<float> progress;
    } cases[] = {{-1, {}}, {0, {1}}, {1, {26}}, {2, {26, 27}}, {3, {26, 52}}};
    OpenDisc disc({1, 26, 27, 52});
    for (const auto& c : cases) {
        disc.progress = {};
        akrip::testing::ClearReadFailures();
        const std::int32_t start = disc.Start(std::max(c.track, 0));
        const std::int32_t end = c.track < 0 ? start : disc.Start(c.track + 1);
        const QString name = disc.Out("t.wav");
        EXPECT_EQ(modWAV::RipTrackWav(name, start, end, disc.progress, disc.dialogs), RipOutcome::Continue);
        EXPECT_EQ(ReadAll(name.toStdString()), disc.Wav(start, end)) << c.track;
        EXPECT_EQ(disc.progress.done(), c.progress);
        EXPECT_EQ(akrip::testing::ReadCallCount(), static_cast<int>(c.progress.size()));
        EXPECT_EQ(disc.progress.shown, 1);
        EXPECT_EQ(disc.progress.open, 0);
        for (const auto& u : disc.progress.updates)
            EXPECT_EQ(u.status, QStringLiteral("Extracting: t.wav"));
    }
    EXPECT_TRUE(disc.dialogs.boxes.empty());
}

TEST(RipTrackWav, RetriesABlockTwiceThenStopsWithTheLibrarysMessage) {
    for (int failures : {1, 2, 3}) {
        OpenDisc disc({70});
        akrip::testing::FailReads(30, failures);  // in the second block
        const QString name = disc.Out("t.wav");
        modWAV::RipTrackWav(name, 0, 70, disc.progress, disc.dialogs);
        const bool gaveUp = failures == 3;
        EXPECT_EQ(akrip::testing::ReadCallCount(), gaveUp ? 4 : 3 + failures);
        EXPECT_EQ(ReadAll(name.toStdString()), disc.Wav(0, gaveUp ? 26 : 70)) << failures;
        ASSERT_EQ(disc.dialogs.boxes.size(), gaveUp ? 1u : 0u);
        if (gaveUp) {
            const auto& box = disc.dialogs.boxes[0];
            EXPECT_EQ(box.text, modAKRip32::CDErrorText(akrip::E_ASPIERROR));
            EXPECT_EQ(box.icon, Dialogs::Icon::None);
            EXPECT_EQ(box.title, QStringLiteral("Dorvane"));
        }
    }
}

// A file that cannot be created skips the track; one that cannot be written
// (a full disk, or a file grown to the size limit) stops the run. The
// message names the file and the system's reason.
TEST(RipTrackWav, FileFaultsAreToldAndTheHeaderStatesWhatWasWritten) {
    const struct {
        const char* file;  // under the test folder unless absolute
        rlim_t sizeLimit;
        RipOutcome outcome;
        const char* reason;
        std::int32_t audioKept;  // -1: no file to look at
    } cases[] = {
        {"/nonexistent-folder/t.wav", RLIM_INFINITY, RipOutcome::Continue, "No such file or directory", -1},
        {"/dev/full", RLIM_INFINITY, RipOutcome::StopRun, "No space left on device", -1},
        {"t.wav", 44 + kBlock + 1000, RipOutcome::StopRun, "File too large", kBlock + 1000},
    };
    ::signal(SIGXFSZ, SIG_IGN);
    for (const auto& c : cases) {
        OpenDisc disc({100});
        const QString name = c.file[0] == '/' ? QString::fromLatin1(c.file) : disc.Out(c.file);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = c.sizeLimit;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const RipOutcome outcome = modWAV::RipTrackWav(name, 0, 100, disc.progress, disc.dialogs);
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(outcome, c.outcome) << c.file;
        ASSERT_EQ(disc.dialogs.boxes.size(), 1u);
        EXPECT_TRUE(disc.dialogs.boxes[0].text.contains(name)) << disc.dialogs.boxes[0].text.toStdString();
        EXPECT_TRUE(disc.dialogs.boxes[0].text.contains(QLatin1String(c.reason)));
        if (c.outcome == RipOutcome::Continue) {
            EXPECT_EQ(akrip::testing::ReadCallCount(), 0);  // the track was not read
        }
        if (c.audioKept >= 0) {
            const std::string audio = disc.Audio(0, 100).substr(0, static_cast<std::size_t>(c.audioKept));
            EXPECT_EQ(ReadAll(name.toStdString()), extracttest::WavHeader(c.audioKept) + audio);
        }
    }
}

TEST(RipTrackWav, ReplacesALongerFileAndStopsAfterTheBlockWhenTheProgramCloses) {
    OpenDisc disc({60});
    const std::string name = disc.folder.file("t.wav");
    std::ofstream(name) << std::string(1 << 20, 'x');
    disc.progress.onEvents = [] { mVariables::StopRequested = true; };
    modWAV::RipTrackWav(QString::fromStdString(name), 0, 60, disc.progress, disc.dialogs);
    EXPECT_EQ(ReadAll(name), disc.Wav(0, 26));
    EXPECT_EQ(disc.progress.open, 0);
}

}  // namespace
