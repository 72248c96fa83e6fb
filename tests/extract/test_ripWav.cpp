// The raw file writer on real files, and WAV extraction from disc images
// read by libcdio: the files must hold the disc's bytes exactly, and every
// failure must leave a header that states what the file holds.

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

TEST(clsFileIo, WavHeaderBytes) {
    const struct {
        std::int32_t length;
        const char* sizes;  // chunk size, then data size, little-endian
    } cases[] = {{0, "\x24\0\0\0\0\0\0\0"}, {2352, "\x54\x09\0\0\x30\x09\0\0"}, {63504, "\x34\xf8\0\0\x10\xf8\0\0"}};
    for (const auto& c : cases) {
        testsupport::TempFolder folder;
        clsFileIo file;
        ASSERT_EQ(file.OpenFile(QString::fromStdString(folder.file("h.wav"))), clsFileIo::True);
        EXPECT_EQ(file.writeWavHeader(c.length), clsFileIo::True);
        EXPECT_EQ(file.CloseFile(), clsFileIo::True);
        const std::string sizes(c.sizes, 8);
        const std::string expected = "RIFF" + sizes.substr(0, 4) + "WAVEfmt " +
                                     std::string("\x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 20) +
                                     "data" + sizes.substr(4);
        EXPECT_EQ(ReadAll(folder.file("h.wav")), expected) << c.length;
    }
}

TEST(clsFileIo, AFileThatCannotBeOpenedIsNeverWritten) {
    clsFileIo never;  // no OpenFile at all: descriptor 0 (standard input) must stay untouched
    const char byte = 'x';
    EXPECT_TRUE(!never.writeWavHeader(0) && !never.FlushBuffers() && !never.WriteBytes(&byte, 1));

    clsFileIo missing;
    EXPECT_EQ(missing.OpenFile(QStringLiteral("/nonexistent-folder/a.wav")), clsFileIo::False);
    EXPECT_EQ(missing.LastError(), ENOENT);
    EXPECT_TRUE(!missing.WriteBytes(&byte, 1) && !missing.CloseFile() && !missing.writeWavHeader(0));
}

TEST(clsFileIo, AnOpenFileIsNotShared) {
    testsupport::TempFolder folder;
    const QString name = QString::fromStdString(folder.file("a.wav"));
    clsFileIo first;
    clsFileIo second;
    ASSERT_EQ(first.OpenFile(name), clsFileIo::True);
    ASSERT_EQ(first.WriteBytes("abc", 3), clsFileIo::True);
    EXPECT_EQ(second.OpenFile(name), clsFileIo::False);
    EXPECT_EQ(ReadAll(folder.file("a.wav")), "abc");  // the refused writer did not empty it
    first.CloseFile();
    EXPECT_EQ(second.OpenFile(name), clsFileIo::True);
    EXPECT_EQ(first.CloseFile(), clsFileIo::False);  // closing twice reaches no other file
}

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
        EXPECT_TRUE(ReadAll(name.toStdString()) == disc.Wav(start, end)) << c.track;
        EXPECT_EQ(disc.progress.done(), c.progress);  // one read per update
        EXPECT_EQ(akrip::testing::ReadCallCount(), static_cast<int>(c.progress.size()));
        EXPECT_EQ(disc.progress.shown - disc.progress.open, 1);  // shown once, and gone
        for (const auto& u : disc.progress.updates)
            EXPECT_EQ(u.first, QStringLiteral("Extracting: t.wav"));
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
        EXPECT_TRUE(ReadAll(name.toStdString()) == disc.Wav(0, gaveUp ? 26 : 70)) << failures;
        ASSERT_EQ(disc.dialogs.boxes.size(), gaveUp ? 1u : 0u);
        for (const auto& box : disc.dialogs.boxes)
            EXPECT_TRUE(box.text == modAKRip32::CDErrorText(akrip::E_ASPIERROR) && box.icon == Dialogs::Icon::None &&
                        box.title == QStringLiteral("Dorvane"));
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
        rlimit old{}, limit{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        limit = {c.sizeLimit, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const RipOutcome outcome = modWAV::RipTrackWav(name, 0, 100, disc.progress, disc.dialogs);
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(outcome, c.outcome) << c.file;
        ASSERT_EQ(disc.dialogs.boxes.size(), 1u);
        const QString text = disc.dialogs.boxes[0].text;
        EXPECT_TRUE(text.contains(name) && text.contains(QLatin1String(c.reason))) << text.toStdString();
        EXPECT_TRUE(c.outcome == RipOutcome::StopRun || akrip::testing::ReadCallCount() == 0);  // not read
        const std::string kept = disc.Audio(0, 100).substr(0, std::size_t(std::max(c.audioKept, 0)));
        EXPECT_TRUE(c.audioKept < 0 || ReadAll(name.toStdString()) == extracttest::WavHeader(c.audioKept) + kept);
    }
}

TEST(RipTrackWav, ReplacesALongerFileAndStopsAfterTheBlockWhenTheProgramCloses) {
    OpenDisc disc({60});
    const std::string name = disc.folder.file("t.wav");
    std::ofstream(name) << std::string(1 << 20, 'x');
    disc.progress.onEvents = [] { mVariables::StopRequested = true; };
    modWAV::RipTrackWav(QString::fromStdString(name), 0, 60, disc.progress, disc.dialogs);
    EXPECT_TRUE(ReadAll(name) == disc.Wav(0, 26));
    EXPECT_EQ(disc.progress.open, 0);
}

}  // namespace
