// The raw file writer on real files, and WAV extraction from disc images read
// by libcdio: the files hold the disc's bytes exactly, behind a header that
// states what they hold, whatever failed.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "ExtractFixture.h"
#include "extract/modWAV.h"
#include "output/WavEncoder.h"
#include "output/clsFileIo.h"

namespace {

using extracttest::OpenDisc;
using extracttest::ReadAll;
using windowrun::RipOutcome;

// A writer without a file must not reach descriptor 0 (standard input); a
// second writer of a file is refused without emptying it; a second close must
// not close the descriptor another writer has been given since.
TEST(clsFileIo, TouchesOnlyTheFileItHolds) {
    testsupport::TempFolder folder;
    const QString name = QString::fromStdString(folder.file("a.wav"));
    clsFileIo first, second;
    EXPECT_TRUE(!first.writeWavHeader(0) && !first.FlushBuffers() && !first.WriteBytes("x", 1) &&
                !first.CloseFile());
    ASSERT_TRUE(first.OpenFile(name) && first.WriteBytes("abc", 3));
    EXPECT_TRUE(!second.OpenFile(name) && ReadAll(folder.file("a.wav")) == "abc");
    EXPECT_TRUE(first.CloseFile() && second.OpenFile(name) && !first.CloseFile() &&
                second.WriteBytes("d", 1));
    EXPECT_EQ(ReadAll(folder.file("a.wav")), "d");
}

// Tracks of 0, 1, 26, 27 and 52 sectors, each over an older, longer file; then
// the 52 with sector 90, in its second block, failing to read once, twice,
// three times (the block is then read sector by sector, and 90 reads) and six
// times. Then the file keeps every sector before 90 and says so; as it does
// not hold its whole track it never replaces the older file, but lands beside
// it as "t (partial).wav".
TEST(RipTrackWav, CopiesTheSectorsBehindTheHeader) {
    OpenDisc disc({1, 26, 27, 52});
    const QString name = disc.Out("t.wav"), partial = disc.Out("t (partial).wav");
    const std::string older(1 << 20, 'x');
    const struct {
        std::int32_t from, to;
        int failures, reads;
        std::vector<float> done;
    } cases[] = {{0, 0, 0, 0, {}},          {0, 1, 0, 1, {1}},          {1, 27, 0, 1, {26}},
                 {27, 54, 0, 2, {26, 27}},  {54, 106, 0, 2, {26, 52}},  {54, 106, 1, 3, {26, 52}},
                 {54, 106, 2, 4, {26, 52}}, {54, 106, 3, 30, {26, 52}}, {54, 106, 6, 17, {26, 36}}};
    for (const auto& c : cases) {
        disc.progress = {};
        disc.dialogs.boxes.clear();
        akrip::testing::ClearReadFailures();
        akrip::testing::FailReads(90, c.failures);
        std::ofstream(name.toStdString()) << older;
        QFile::remove(partial);
        EXPECT_EQ(modWAV::RipTrackWav(name, c.from, c.to, disc.progress, disc.dialogs),
                  RipOutcome::Continue);
        const int written =
            c.done.empty() ? 0 : int(c.done.back()); // the file ends where the progress did
        const bool whole = c.failures < 6;
        EXPECT_TRUE(ReadAll((whole ? name : partial).toStdString()) ==
                        disc.Wav(c.from, c.from + written) &&
                    (whole ? !QFile::exists(partial) : ReadAll(name.toStdString()) == older))
            << c.to - c.from << " sectors, " << c.failures << " failures";
        // The window shows whole blocks, up to the last the file holds.
        const auto& done = disc.progress.done;
        EXPECT_TRUE(akrip::testing::ReadCallCount() == c.reads &&
                    (done.empty() ? 0 : int(done.back())) == written);
        for (float n : done)
            EXPECT_TRUE(n <= c.done.back() && (int(n) % 26 == 0 || n == c.done.back())) << n;
        EXPECT_EQ(disc.progress.statuses,
                  QStringList(qsizetype(done.size()), QStringLiteral("Extracting: t.wav")));
        EXPECT_TRUE(disc.progress.shown == 1 && disc.progress.open == 0);
        ASSERT_EQ(disc.dialogs.boxes.size(), std::size_t(c.failures / 6));
        for (const auto& box : disc.dialogs.boxes) // which track, which file, the library's
                                                   // text, and where the audio went
            EXPECT_TRUE(box.text.startsWith(QStringLiteral(
                            "Track 4 could not be read at sector 90, so \"t.wav\"")) &&
                        box.text.contains(QStringLiteral("\n\n") +
                                          modAKRip32::CDErrorText(akrip::E_ASPIERROR)) &&
                        box.text.endsWith(QStringLiteral("is in \"t (partial).wav\".")) &&
                        box.icon == Dialogs::Icon::None && box.title == QStringLiteral("Dorvane"))
                << box.text.toStdString();
    }
}

// What is at a track's name, or a folder or disk that takes no file: each is
// told with the file's name and the reason. A fault of the folder or the disk
// stops the run; one of the name alone skips the track, and what is at the
// name is never opened, changed or replaced (a FIFO would hang the run). A
// file cut short by a full disk states exactly the audio it holds, and one
// that could not even take its header is not left.
TEST(RipTrackWav, FileFaultsAreTold) {
    enum class At { Nothing, Fifo, Folder, ReadOnly };
    const rlim_t none = RLIM_INFINITY, oneBlock = 44 + 26 * 2352 + 1000;
    const struct {
        const char* file;
        At at;
        RipOutcome outcome;
        const char* reason;
        rlim_t sizeLimit;
    } cases[] = {
        {"/nonexistent-folder/t.wav", At::Nothing, RipOutcome::StopRun, "No such file or directory",
         none},
        {"/dev/full", At::Nothing, RipOutcome::Continue, "a pipe, a socket or a device", none},
        {"", At::Fifo, RipOutcome::Continue, "a pipe, a socket or a device", none},
        {"", At::Folder, RipOutcome::Continue, "Is a directory", none},
        {"", At::ReadOnly, RipOutcome::Continue, "Permission denied", none},
        {"", At::Nothing, RipOutcome::StopRun, "File too large", 20},
        {"", At::Nothing, RipOutcome::StopRun, "File too large", oneBlock}};
    for (const auto& c : cases) {
        OpenDisc disc({100});
        const QString name = *c.file ? QString::fromLatin1(c.file) : disc.Out("t.wav");
        const std::string path = name.toStdString();
        if (c.at == At::ReadOnly)
            std::ofstream(path) << "older";
        ASSERT_EQ(c.at == At::Fifo       ? ::mkfifo(path.c_str(), 0644)
                  : c.at == At::Folder   ? ::mkdir(path.c_str(), 0755)
                  : c.at == At::ReadOnly ? ::chmod(path.c_str(), 0444)
                                         : 0,
                  0);
        {
            const extracttest::FileSizeLimit limit(c.sizeLimit);
            EXPECT_EQ(modWAV::RipTrackWav(name, 0, 100, disc.progress, disc.dialogs), c.outcome)
                << c.file;
        }
        struct stat info {};
        const bool there = ::stat(path.c_str(), &info) == 0;
        // What was at the name is untouched; a full disk after one block keeps that block alone.
        EXPECT_TRUE(c.at == At::Fifo     ? there && S_ISFIFO(info.st_mode)
                    : c.at == At::Folder ? there && S_ISDIR(info.st_mode)
                    : c.at == At::ReadOnly
                        ? ReadAll(path) == "older" && (info.st_mode & 0777) == 0444
                    : c.sizeLimit == oneBlock ? ReadAll(path) == disc.Wav(0, 26)
                                              : *c.file || !there)
            << c.file;
        ASSERT_TRUE(disc.dialogs.boxes.size() == 1 &&
                    (c.sizeLimit == oneBlock || akrip::testing::ReadCallCount() == 0))
            << c.file;
        const QString text = disc.dialogs.boxes[0].text;
        EXPECT_TRUE(text.contains(name) && text.contains(QLatin1String(c.reason)))
            << text.toStdString();
    }
}

// Any name the system takes can be landed, on file systems with unnamed
// files and without (where the file is written under a short hidden name),
// and a hidden file that a killed run left behind goes at the next run in
// that folder, while one of a run still alive stays.
TEST(clsFileIo, LandsAnyNameAndClearsWhatKilledRunsLeft) {
    testsupport::TempFolder folder;
    const std::string longest = std::string(251, 'n') + ".wav";
    const std::string dead = ".dorvane-7ffffffe-00000000.part";
    const std::string alive = QStringLiteral(".dorvane-%1-00000000.part")
                                  .arg(unsigned(::getppid()), 8, 16, QLatin1Char('0'))
                                  .toStdString();
    for (const bool unnamed : {true, false}) {
        if (!unnamed)
            ::setenv("DORVANE_NO_TMPFILE", "1", 1);
        std::ofstream(folder.file(dead)) << "left";
        std::ofstream(folder.file(alive)) << "running";
        EXPECT_EQ(clsFileIo::RemoveStaleHidden(folder.qpath()), 1);
        EXPECT_TRUE(!QFile::exists(QString::fromStdString(folder.file(dead))) &&
                    ReadAll(folder.file(alive)) == "running");
        clsFileIo file;
        const QString name = QString::fromStdString(folder.file(longest));
        ASSERT_TRUE(file.OpenHidden(name) && file.WriteBytes("abc", 3));
        EXPECT_FALSE(QFile::exists(name));
        EXPECT_TRUE(file.Land() && file.CloseFile()) << std::strerror(file.LastError());
        EXPECT_EQ(ReadAll(folder.file(longest)), "abc");
        QFile::remove(name);
    }
    ::unsetenv("DORVANE_NO_TMPFILE");
    EXPECT_EQ(QDir(folder.qpath()).entryList(QDir::Files | QDir::Hidden),
              QStringList(QString::fromStdString(alive)));
}

// The disc's own audio file is never written over, however the track is
// named; and a track too long for a WAV header (a 4.3 GB one, from a sparse
// BIN) is refused before anything is written. Up to that limit the header
// states the length exactly, past 2 GB too.
TEST(RipTrackWav, RefusesTheDiscsOwnFilesAndTracksTooLongForAWav) {
    unsigned char header[44];
    clsFileIo::BuildWavHeader(3000000000u, header);
    std::uint32_t riff = 0, data = 0;
    std::memcpy(&riff, header + 4, 4), std::memcpy(&data, header + 40, 4);
    EXPECT_TRUE(riff == 3000000036u && data == 3000000000u);
    EXPECT_TRUE(ripengine::FitsWav(0xFFFFFFFFull - 36) && !ripengine::FitsWav(0xFFFFFFFFull - 35));

    testsupport::TempFolder folder;
    const std::string cue = discmaker::WriteCueBin(folder.path(), "disc",
                                                   {{30, 30}, 3, false, discmaker::FileType::Wave});
    std::ofstream(folder.file("big.cue"))
        << "FILE \"big.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const std::int32_t bigSectors = 1830000;
    std::ofstream(folder.file("big.bin")).close();
    ASSERT_EQ(truncate(folder.file("big.bin").c_str(), off_t{bigSectors} * 2352), 0);
    const testsupport::ScopedDiscImages images({cue, folder.file("big.cue")});
    const std::string source = ReadAll(folder.file("disc.wav"));
    const struct {
        const char *drive, *out, *text;
        std::int32_t end;
    } cases[] = {
        {"IMAGE disc.cue", "disc.wav", "is one of the files the disc is read from", 30},
        {"IMAGE big.cue", "big out.wav", "Track 1 is too long for a WAV file", bigSectors}};
    for (const auto& c : cases) {
        OpenDisc::Reset();
        ASSERT_TRUE(
            modAKRip32::OpenCD(int(modAKRip32::DriveListTexts().indexOf(QLatin1String(c.drive)))));
        extracttest::FakeProgress progress;
        ScriptedDialogs dialogs;
        const QString out = QString::fromStdString(folder.file(c.out));
        EXPECT_EQ(modWAV::RipTrackWav(out, 0, c.end, progress, dialogs), RipOutcome::Continue);
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_TRUE(dialogs.boxes[0].text.contains(QLatin1String(c.text)))
            << dialogs.boxes[0].text.toStdString();
        EXPECT_EQ(akrip::testing::ReadCallCount(), 0);
    }
    EXPECT_TRUE(ReadAll(folder.file("disc.wav")) == source &&
                !QFile::exists(QString::fromStdString(folder.file("big out.wav"))));
    OpenDisc::Reset();
}

} // namespace
