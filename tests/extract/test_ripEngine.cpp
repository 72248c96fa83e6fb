// The extraction engine through the window's run: encoding four tracks at
// once must leave exactly the files, and tell exactly the messages, of a run
// that takes one track at a time, whatever happens on the way. And a run cut
// short by a signal leaves only files that say what they hold.

#include <gtest/gtest.h>

#include <QDir>

#include <csignal>
#include <map>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ExtractFixture.h"
#include "engine/RipEngine.h"
#include "engine/StopSignals.h"
#include "extract/WindowRun.h"
#include "extract/modMP3.h"
#include "extract/modRip.h"
#include "extract/modWAV.h"
#include "output/Mp3Encoder.h"
#include "output/WavEncoder.h"

namespace {

using extracttest::OpenDisc;
using extracttest::ReadAll;

// A run into a folder of its own, and what it leaves there.
struct Rip : OpenDisc {
    explicit Rip(std::vector<std::int32_t> lengths) : OpenDisc(std::move(lengths)) {}

    // Every entry of the folder, hidden ones too, with its bytes.
    std::map<std::string, std::string> Files(const std::string& sub) const {
        std::map<std::string, std::string> files;
        const QDir dir(QString::fromStdString(folder.file(sub)));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
            files[name.toStdString()] = ReadAll(folder.file(sub) + "/" + name.toStdString());
        return files;
    }
    // The boxes' texts without the folder, so two runs' messages compare.
    QStringList Boxes(const std::string& sub) const {
        QStringList texts;
        for (const auto& box : dialogs.boxes)
            texts << QString(box.text).replace(QString::fromStdString(folder.file(sub)),
                                               QStringLiteral("<out>"));
        return texts;
    }
};

// Lets the current track's status decide when to act: `when` is the track
// whose first progress update triggers it.
std::function<void()> OnTrack(Rip& run, const char* when, std::function<void()> act) {
    return [&run, when, act] {
        if (!run.progress.statuses.isEmpty() &&
            run.progress.statuses.last().contains(QLatin1String(when)))
            act();
    };
}

TEST(RipEngine, FourJobsLeaveTheFilesAndMessagesOfOne) {
    // Track 4 is the longest, so a file size limit fails it alone.
    const std::vector<std::int32_t> lengths{60, 90, 70, 200, 52, 40};
    const struct Scenario {
        const char* name;
        bool mp3;
        std::function<void(Rip&)> arm; // run before each of the two runs
        std::function<void(Rip&, const std::map<std::string, std::string>&, const QStringList&)>
            check;
    } scenarios[] = {
        {"plain", true, [](Rip&) {},
         [](Rip&, const auto& files, const QStringList& boxes) {
             EXPECT_TRUE(files.size() == 6 && boxes.empty());
         }},
        {"cancel in track 3", true,
         [](Rip& r) {
             r.progress.onEvents =
                 OnTrack(r, "Track 03", [] { mVariables::CancelRequested = true; });
         },
         [](Rip& r, const auto& files, const QStringList& boxes) {
             // Nothing of 4 and 6, and the older 5 is kept. Track 3 may have
             // run ahead before it became current: it holds whole blocks, as
             // a track cancelled there on its own would.
             EXPECT_TRUE(files.size() == 4 && files.count("Track 04.mp3") == 0 && boxes.empty());
             EXPECT_TRUE(files.at("Track 05.mp3") == "an older file");
             bool found = false;
             for (std::int32_t end = r.Start(2) + 26; end < r.Start(3) + 26 && !found; end += 26) {
                 std::int32_t start = r.Start(2);
                 r.progress.onEvents = [] {};
                 modMP3::RipTrackMp3(r.Out("prefix.mp3"), start, std::min(end, r.Start(3)),
                                     modRip::MakeEncoderConfig({QStringLiteral("160"), 1}),
                                     r.progress, r.dialogs);
                 found = ReadAll(r.folder.file("prefix.mp3")) == files.at("Track 03.mp3");
             }
             EXPECT_TRUE(found);
         }},
        {"read failure ahead", true, [](Rip& r) { akrip::testing::FailReads(r.Start(3) + 30, 6); },
         [](Rip& r, const auto& files, const QStringList& boxes) {
             EXPECT_EQ(files.size(), 6u);
             ASSERT_EQ(boxes.size(), 1);
             const QString text =
                 QStringLiteral("Track 4 could not be read at sector %1, so \"Track 04.mp3\"");
             EXPECT_TRUE(boxes[0].startsWith(text.arg(r.Start(3) + 30))) << boxes[0].toStdString();
         }},
        {"full disk ahead", true, [](Rip&) {},
         [](Rip&, const auto& files, const QStringList& boxes) {
             // Track 4 keeps what was written, and nothing after it is left.
             EXPECT_TRUE(files.size() == 5 && files.count("Track 04.mp3") == 1 &&
                         files.count("Track 06.mp3") == 0);
             ASSERT_EQ(boxes.size(), 1);
             EXPECT_TRUE(boxes[0].contains(QLatin1String("<out>/Track 04.mp3")))
                 << boxes[0].toStdString();
         }},
        {"window closed in track 2", false,
         [](Rip& r) {
             r.progress.onEvents = OnTrack(r, "Track 02", [] { mVariables::StopRequested = true; });
         },
         [](Rip& r, const auto& files, const QStringList& boxes) {
             // Track 2 ends after a block, with a header that says so.
             const std::string& wav = files.at("Track 02.wav");
             ASSERT_TRUE(files.size() == 3 && boxes.empty());
             EXPECT_TRUE(wav == r.Wav(60, 60 + std::int32_t(wav.size() - 44) / 2352));
         }},
    };
    for (const Scenario& s : scenarios) {
        std::map<std::string, std::string> results[2];
        QStringList boxes[2];
        for (const int jobs : {1, 4}) {
            Rip run(lengths);
            const std::string sub = "j" + std::to_string(jobs);
            QDir().mkpath(QString::fromStdString(run.folder.file(sub)));
            std::ofstream(run.folder.file(sub + "/Track 05." + (s.mp3 ? "mp3" : "wav")))
                << "an older file";
            s.arm(run);
            const windowrun::Choices choices{
                s.mp3, modRip::MakeEncoderConfig({QStringLiteral("160"), 1}), jobs};
            {
                std::optional<extracttest::FileSizeLimit> limit;
                if (std::string_view(s.name) == "full disk ahead")
                    limit.emplace(30000);
                windowrun::Run(run.Tracks(sub + "/Track 0", s.mp3 ? ".mp3" : ".wav"), choices,
                               run.progress, run.dialogs);
            }
            EXPECT_EQ(run.progress.open, 0);
            results[jobs == 4] = run.Files(sub);
            boxes[jobs == 4] = run.Boxes(sub);
            if (jobs == 4)
                s.check(run, results[1], boxes[1]);
        }
        // Where the current track ends depends on how far it ran ahead.
        const std::string cut =
            s.name == std::string_view("cancel in track 3") ? "Track 03.mp3" : "Track 02.wav";
        results[0].erase(cut), results[1].erase(cut);
        EXPECT_TRUE(results[0] == results[1]) << s.name;
        EXPECT_EQ(boxes[0], boxes[1]) << s.name;
    }
}

// The default number of jobs is the cores the process may run on, not the
// machine's (taskset, a container's limit).
TEST(RipEngine, DefaultJobsFollowTheAffinityMask) {
    cpu_set_t all, one;
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    const int jobs = ripengine::DefaultJobs();
    ASSERT_EQ(::sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(jobs, 1);
    EXPECT_EQ(ripengine::DefaultJobs(), CPU_COUNT(&all));
}

// Two ticked tracks of one name keep both: the later gets " (2)", never a
// name a third track has, and one box says so.
TEST(RipEngine, ClashingNamesAreNumbered) {
    std::vector<windowrun::Track> tracks{{1, 0, 1, QStringLiteral("/o/Track.wav")},
                                         {2, 1, 2, QStringLiteral("/o/Track (2).wav")},
                                         {3, 2, 3, QStringLiteral("/o/Track.wav")},
                                         {4, 3, 4, QStringLiteral("/o/Track.wav")}};
    const QString text = modRip::RenameClashes(tracks, QStringLiteral(".wav"));
    QStringList names;
    for (const auto& t : tracks)
        names << t.fileName;
    EXPECT_EQ(names, (QStringList{
                         QStringLiteral("/o/Track.wav"), QStringLiteral("/o/Track (2).wav"),
                         QStringLiteral("/o/Track (3).wav"), QStringLiteral("/o/Track (4).wav")}));
    EXPECT_TRUE(text.contains(QLatin1String("Track 3: \"Track (3).wav\"")) &&
                text.contains(QLatin1String("Track 4")) &&
                !text.contains(QLatin1String("Track 2:")))
        << text.toStdString();
}

// A signal in the middle of a WAV track: SIGTERM, SIGINT and SIGHUP end it
// after its block with a header that states what the file holds, landed
// beside the older file of its name, which keeps its bytes; SIGKILL leaves
// the older file as it was and nothing else.
TEST(RipEngine, ASignalNeverLeavesAFileThatClaimsMoreThanItHolds) {
    // twice: a second signal while the first is being honoured ends the
    // process at once, and nothing more lands, hidden files included.
    const struct {
        int signal;
        bool twice;
    } cases[] = {
        {SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGKILL, false}, {SIGINT, true}};
    for (const auto& c : cases) {
        OpenDisc disc({2000});
        const std::string out = disc.folder.file("t.wav");
        std::ofstream(out) << "an older file";
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            if (c.twice)
                ::setenv("DORVANE_NO_TMPFILE", "1", 1);
            stopsignals::Install(-1);
            // The job waits after its second block until the signal is in
            // (and, to be hit twice, a while longer).
            windowrun::Choices choices;
            choices.afterBlock = [&](int, std::int32_t sectors) {
                if (sectors != 52)
                    return;
                [[maybe_unused]] ssize_t n = write(ready[1], "x", 1);
                for (int i = 0; i < 20000 && stopsignals::Received() == 0; ++i)
                    usleep(500);
                if (c.twice) {
                    n = write(ready[1], "y", 1);
                    for (int i = 0; i < 20000; ++i)
                        usleep(500);
                }
            };
            windowrun::Run({{1, 0, 2000, QString::fromStdString(out)}}, choices, disc.progress,
                           disc.dialogs);
            _exit(stopsignals::Received() == c.signal ? 0 : 1);
        }
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        kill(child, c.signal);
        if (c.twice) {
            ASSERT_EQ(read(ready[0], &byte, 1), 1);
            kill(child, c.signal);
        }
        int status = 0;
        waitpid(child, &status, 0);
        close(ready[0]), close(ready[1]);
        // The disc's sheet and BIN, t.wav, and after a stop "t (partial).wav"; a
        // kill leaves a hidden file only where the file system had to name it.
        const QStringList entries = QDir(disc.folder.qpath()).entryList(QDir::Files | QDir::Hidden);
        const bool killed = c.signal == SIGKILL || c.twice;
        EXPECT_TRUE(killed ? WIFSIGNALED(status) && WTERMSIG(status) == c.signal
                           : WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << c.signal;
        ASSERT_EQ(entries.size(), killed ? 3 + c.twice : 4) << entries.join(u' ').toStdString();
        EXPECT_EQ(ReadAll(out), "an older file");
        if (killed)
            continue;
        const std::string wav = ReadAll(disc.folder.file("t (partial).wav"));
        const auto sectors = std::int32_t(wav.size() - 44) / 2352;
        EXPECT_TRUE(sectors == 52 && wav == disc.Wav(0, sectors)) << c.signal << ": " << sectors;
    }
}

// A real drive is read by one reader in track order while the jobs encode;
// the engine is driven here on an image read that way. The files are those
// of jobs that read for themselves, a read failure included.
TEST(RipEngine, OneReaderInTrackOrderLeavesTheSameFiles) {
    OpenDisc disc({60, 90, 70});
    for (const bool oneReader : {false, true}) {
        akrip::testing::ClearReadFailures();
        akrip::testing::FailReads(disc.Start(1) + 30, 6);
        std::vector<ripengine::Job> jobs;
        for (int i = 0; i < 3; ++i)
            jobs.push_back(
                {i + 1, disc.Start(i), disc.Start(i + 1), disc.Out(std::to_string(i) + ".wav")});
        ripengine::Options options;
        options.jobs = 3;
        options.handle = modAKRip32::Drive().CDHandle;
        options.oneReader = oneReader;
        ripengine::RipEngine engine(
            jobs, [](const ripengine::Job&) { return ripengine::MakeWavEncoder(); }, options);
        engine.Start();
        for (int i = 0; i < 3; ++i) {
            int error = 0;
            EXPECT_TRUE(engine.Land(i, error)) << error;
            const ripengine::JobStatus st = engine.Status(i);
            EXPECT_EQ(st.outcome,
                      i == 1 ? ripengine::Outcome::ReadFailed : ripengine::Outcome::Complete)
                << i;
            const std::int32_t end = i == 1 ? disc.Start(1) + 30 : disc.Start(i + 1);
            EXPECT_TRUE(ReadAll(disc.folder.file(std::to_string(i) + ".wav")) ==
                        disc.Wav(disc.Start(i), end))
                << oneReader << " " << i;
        }
    }
}

} // namespace
