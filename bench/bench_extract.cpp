// Extraction of a 20-minute disc image (15 tracks) through the window's run
// (the engine, the encoders and the progress windows, offscreen), side by
// side in one run with what plain tools do with the same bytes:
//   WAV against dd copying the image's BIN in blocks of the same size;
//   MP3 at 160 kbit/s "Normal" with one job against the lame command on the
//   whole BIN, and with a job per core against the lame command run on every
//   core (xargs -P N, one process per track, each track's PCM on standard
//   input).
// The time spent in fdatasync (on the flusher thread) is counted by wrapping
// fdatasync below. Peak memory is measured in child processes that rip one
// track of 1 and of 74 minutes with two jobs.
//
//   bench_extract            the whole comparison
//   bench_extract --wav      WAV against dd only
//   bench_extract --window   MP3 with the progress windows against without
//   bench_extract --peak CUE FORMAT OUTFOLDER   (used by the comparison)
//   bench_extract --once CUE OUTFOLDER JOBS KIND (likewise)

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "cd/modAKRip32.h"
#include "engine/RipEngine.h"
#include "extract/ProgressWindows.h"
#include "extract/WindowRun.h"
#include "extract/modRip.h"
#include "general/modGeneral.h"
#include "settings/frmSettings.h"
#include "settings/modSettings.h"
#include "shell/Dorvane.h"
#include "tracks/TrackListBox.h"

namespace {

using Clock = std::chrono::steady_clock;

// Flushes happen on the flusher thread.
std::atomic<long long> flushNanoseconds{0};
std::atomic<long> flushCalls{0};
double FlushSeconds() {
    return static_cast<double>(flushNanoseconds.load()) / 1e9;
}

// Processor time of the calling thread: the window's, in a run.
double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

// Every flush the extraction makes passes through here on its way to libc.
extern "C" int fdatasync(int fd) {
    using Real = int (*)(int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fdatasync"));
    const auto start = Clock::now();
    // BENCH_NO_FLUSH=1 measures what the flushes cost, by leaving them out.
    static const bool skip = std::getenv("BENCH_NO_FLUSH") != nullptr;
    const int result = skip ? 0 : real(fd);
    flushNanoseconds +=
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    ++flushCalls;
    return result;
}

namespace {

constexpr std::int32_t kDiscSectors = 90000; // 20 minutes
constexpr int kTracks = 15;

void OpenImage(const std::string& cue) {
    const QString name =
        QStringLiteral("IMAGE ") + QString::fromStdString(cue).section(QLatin1Char('/'), -1);
    if (!modAKRip32::OpenCD(static_cast<int>(modAKRip32::DriveListTexts().indexOf(name))))
        throw std::runtime_error("cannot open " + cue);
}

// No windows and no events: what the extraction costs without them.
struct NoWindows : ProgressHost, ProgressWindow {
    std::unique_ptr<ProgressWindow> ShowProgress() override {
        return std::make_unique<NoWindows>();
    }
    void DoEvents() override {}
    void ChangeProgress(const QString&, float, float) override {}
};

// Seconds for the window's run to extract every track of the open disc.
double Rip(int tracks, bool mp3, const std::string& folder, int jobs, bool windows = true) {
    QWidget owner; // the main window the progress windows belong to
    QtProgressHost shown(&owner);
    NoWindows hidden;
    ProgressHost& host = windows ? static_cast<ProgressHost&>(shown) : hidden;
    ScriptedDialogs dialogs;
    const akrip::TOC& toc = modAKRip32::Drive().DiscTOC;
    std::vector<windowrun::Track> list;
    for (int i = 0; i < tracks; ++i)
        list.push_back({i + 1, modAKRip32::TrackStart(toc, i + 1),
                        modAKRip32::TrackStart(toc, i + 2),
                        QString::fromStdString(folder) +
                            QStringLiteral("/Track %1").arg(i + 1, 2, 10, QLatin1Char('0')) +
                            (mp3 ? QStringLiteral(".mp3") : QStringLiteral(".wav"))});
    const windowrun::Choices choices{mp3, modRip::MakeEncoderConfig({QStringLiteral("160"), 1}),
                                     jobs};
    const auto start = Clock::now();
    windowrun::Run(list, choices, host, dialogs);
    const double seconds = Since(start);
    if (!dialogs.boxes.empty())
        throw std::runtime_error("extraction reported: " + dialogs.boxes[0].text.toStdString());
    return seconds;
}

double Shell(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
    return Since(start);
}

void Clear(const std::string& folder) {
    QDir(QString::fromStdString(folder)).removeRecursively();
    QDir().mkpath(QString::fromStdString(folder));
}

std::string Self() {
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        throw std::runtime_error("cannot find this program");
    return self;
}

// Peak resident memory (MB) of a child that rips the one track of cue.
double PeakMb(const std::string& cue, const char* format, const std::string& out) {
    const std::string run = "'" + Self() + "' --peak '" + cue + "' " + format + " '" + out + "'";
    FILE* child = ::popen(run.c_str(), "r");
    double mb = -1;
    if (!child || std::fscanf(child, "%lf", &mb) != 1 || ::pclose(child) != 0)
        throw std::runtime_error("child failed: " + run);
    Clear(out);
    return mb;
}

int Peak(char** argv) {
    const testsupport::ScopedDiscImages images({argv[2]});
    OpenImage(argv[2]);
    Rip(1, std::string(argv[3]) == "mp3", argv[4], 2);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}

// MP3 with a job per core, with the progress windows shown and without any,
// alternating, best of three each.
// A person's run: the main window shown on the image, every track ticked,
// MP3 at 160 kbit/s "Normal" with a job per core, and a click on Extract;
// the seconds until the last progress window is gone.
class MainWindowRun {
  public:
    MainWindowRun(const testsupport::TempFolder& folder, const std::string& out, int cores)
        : window_((Setup(folder, out, cores), dialogs_)) {
        window_.show();
        if (!QTest::qWaitForWindowExposed(&window_))
            throw std::runtime_error("the main window was not shown");
        frmSettings* settings = window_.Settings();
        settings->optMP3->setChecked(true);
        settings->cmbBitrate->setCurrentText(QStringLiteral("160"));
        settings->cmbQuality->setCurrentIndex(1); // Normal
        if (window_.TrackList->Count() != kTracks)
            throw std::runtime_error("the main window lists no disc");
        for (int i = 0; i < kTracks; ++i)
            window_.TrackList->SetChecked(i, true);
    }
    double Click() {
        const auto start = Clock::now();
        window_.findChild<QPushButton*>(QStringLiteral("cmdRip"))->click();
        const double seconds = Since(start);
        if (!dialogs_.boxes.empty())
            throw std::runtime_error("extraction reported: " +
                                     dialogs_.boxes[0].text.toStdString());
        return seconds;
    }

  private:
    static void Setup(const testsupport::TempFolder& folder, const std::string& out, int cores) {
        // The application folder holds the settings and the encoder module.
        modGeneral::SetAppFolderForTesting(folder.qpath());
        const QString module =
            QCoreApplication::applicationDirPath() + QStringLiteral("/lame_enc.so");
        QFile::link(module, folder.qpath() + QStringLiteral("/lame_enc.so"));
        modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive,
                                  QStringLiteral("IMAGE bench.cue"));
        modSettings::WriteSetting(modSettings::kSection, modSettings::kOutpath,
                                  QString::fromStdString(out));
        modSettings::WriteSetting(modSettings::kSection, modRip::kJobsKey, QString::number(cores));
    }

    ScriptedDialogs dialogs_;
    Dorvane window_;
};

// One run of a kind in this process: 0 the progress windows with an owner
// never shown, 1 no windows at all, 2 the main window's Extract.
double RunKind(int kind, MainWindowRun* person, const std::string& out, int cores) {
    return kind == 2 ? person->Click() : Rip(kTracks, true, out, cores, kind == 0);
}

// A person's first run: a fresh process, the window built, one click.
int Once(char** argv) {
    const std::string cue = argv[2], out = argv[3];
    const int cores = std::atoi(argv[4]), kind = std::atoi(argv[5]);
    const testsupport::ScopedDiscImages images({cue});
    const testsupport::TempFolder app;
    std::optional<MainWindowRun> person;
    if (kind == 2)
        person.emplace(app, out, cores);
    else
        OpenImage(cue);
    std::printf("%.6f\n", RunKind(kind, person ? &*person : nullptr, out, cores));
    return 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// MP3 with a job per core, with the windows and without, alternating: five
// rounds in this process, then three first runs in fresh processes.
int CompareWindows(const testsupport::TempFolder& folder, const std::string& cue,
                   const std::string& out, int cores) {
    static const char* const kNames[3] = {"progress windows", "no windows",
                                          "main window, Extract clicked"};
    std::vector<double> seconds[3], cpu[3], first[3];
    {
        MainWindowRun person(folder, out, cores);
        for (int round = 0; round < 5; ++round)
            for (int kind = 0; kind < 3; ++kind) {
                const double before = ThreadCpuSeconds();
                seconds[kind].push_back(RunKind(kind, &person, out, cores));
                cpu[kind].push_back(ThreadCpuSeconds() - before);
                Clear(out);
            }
    }
    for (int round = 0; round < 3; ++round)
        for (const int kind : {1, 2}) {
            const std::string run = "'" + Self() + "' --once '" + cue + "' '" + out + "' " +
                                    std::to_string(cores) + " " + std::to_string(kind);
            FILE* child = ::popen(run.c_str(), "r");
            double s = -1;
            if (!child || std::fscanf(child, "%lf", &s) != 1 || ::pclose(child) != 0)
                throw std::runtime_error("child failed: " + run);
            first[kind].push_back(s);
            Clear(out);
        }

    std::printf("  MP3 with %d jobs on %s, median (best) of 5 rounds, the window's thread's "
                "processor:\n",
                cores, qPrintable(QGuiApplication::platformName()));
    for (int kind = 0; kind < 3; ++kind)
        std::printf("    %-30s %7.3f s (%.3f)  %.3f s\n", kNames[kind], Median(seconds[kind]),
                    *std::min_element(seconds[kind].begin(), seconds[kind].end()),
                    Median(cpu[kind]));
    std::printf("    first run in a fresh process, median of 3: %.3f s with the main window, "
                "%.3f s without windows\n",
                Median(first[2]), Median(first[1]));
    std::printf("  ratio to no windows (target 1.05x): progress windows %.3fx, main window "
                "%.3fx, first run %.3fx\n",
                Median(seconds[0]) / Median(seconds[1]), Median(seconds[2]) / Median(seconds[1]),
                Median(first[2]) / Median(first[1]));
    return 0;
}

enum class Part { All, Wav, Window };

int Compare(Part part) {
    const testsupport::TempFolder folder;
    const std::string out = folder.file("out");
    Clear(out);
    auto made = Clock::now();
    const std::string cue = testsupport::MakeImage(
        folder, "bench", std::vector<std::int32_t>(kTracks, kDiscSectors / kTracks));
    const std::string bin = folder.file("bench.bin");
    std::printf("bench_extract: %d sectors (20 min) in %d tracks, image written in %.1f s\n",
                kDiscSectors, kTracks, Since(made));
    const testsupport::ScopedDiscImages images({cue});
    OpenImage(cue);

    // WAV: best of five rounds each, alternating, from the page cache.
    Shell("cat '" + bin + "' > /dev/null");
    const int cores = ripengine::DefaultJobs();
    if (part == Part::Window)
        return CompareWindows(folder, cue, out, cores);
    double wav = 1e9, dd = 1e9, ddSync = 1e9, bare = 1e9, wavFlush = 0;
    for (int round = 0; round < 5; ++round) {
        Clear(out);
        dd = std::min(dd,
                      Shell("dd if='" + bin + "' of='" + out + "/copy.bin' bs=61152 status=none"));
        Clear(out);
        ddSync = std::min(ddSync, Shell("dd if='" + bin + "' of='" + out +
                                        "/copy.bin' bs=61152 conv=fdatasync status=none"));
        Clear(out);
        flushNanoseconds = 0;
        const double seconds = Rip(kTracks, false, out, 1);
        if (seconds < wav) {
            wav = seconds;
            wavFlush = FlushSeconds();
        }
        Clear(out);
        bare = std::min(bare, Rip(kTracks, false, out, 1, false));
    }
    std::printf("  %-52s %9s %9s\n", "", "seconds", "x audio");
    std::printf("  %-52s %9.3f %9.0f\n", "dd bs=61152 of the BIN", dd, 1200 / dd);
    std::printf("  %-52s %9.3f %9.0f\n", "dd bs=61152 conv=fdatasync (on the disk at the end)",
                ddSync, 1200 / ddSync);
    std::printf("  %-52s %9.3f %9.0f\n", "Dorvane WAV (RipTrackWav, progress windows)", wav,
                1200 / wav);
    std::printf("  %-52s %9.3f %9.0f\n", "Dorvane WAV without windows", bare, 1200 / bare);
    std::printf(
        "  ratio WAV / dd: %.2fx (target 1.3x), / dd with fdatasync: %.2fx; flushes took %.3f s "
        "of the flusher's and the tracks' time\n",
        wav / dd, wav / ddSync, wavFlush);
    if (part == Part::Wav)
        return 0;

    // MP3: one round each; the lame command gets the PCM on standard input,
    // the whole BIN for one process, each track's share for N processes.
    const std::string raw = folder.file("raw");
    Clear(raw);
    for (int t = 0; t < kTracks; ++t)
        Shell("dd if='" + bin + "' of='" + raw + "/" + std::to_string(t + 10) +
              ".raw' bs=2352 skip=" + std::to_string(t * (kDiscSectors / kTracks)) +
              " count=" + std::to_string(kDiscSectors / kTracks) + " status=none");
    const std::string lameOptions = "lame --quiet -r -s 44.1 --bitwidth 16 --signed "
                                    "--little-endian -m j -b 160 -q 5 -t --noreplaygain ";
    Clear(out);
    const double lameSeconds =
        Shell(lameOptions + "- '" + out + "/lame.mp3' < '" + bin + "' 2>/dev/null");
    Clear(out);
    const double lameEvery = Shell("seq 10 " + std::to_string(9 + kTracks) + " | xargs -P " +
                                   std::to_string(cores) + " -I{} sh -c \"" + lameOptions + "- '" +
                                   out + "/{}.mp3' < '" + raw + "/{}.raw' 2>/dev/null\"");
    Clear(out);
    double mp3[2] = {};
    double mp3Flush[2] = {};
    long mp3Flushes[2] = {};
    for (int n : {0, 1}) {
        flushNanoseconds = 0;
        flushCalls = 0;
        mp3[n] = Rip(kTracks, true, out, n == 0 ? 1 : cores);
        mp3Flush[n] = FlushSeconds();
        mp3Flushes[n] = flushCalls;
        Clear(out);
    }

    std::printf("  %-52s %9.3f %9.0f\n", "lame command, 160 kbit/s, -q 5", lameSeconds,
                1200 / lameSeconds);
    std::printf("  %-52s %9.3f %9.0f\n", "Dorvane MP3, Jobs=1 (flushes included)", mp3[0],
                1200 / mp3[0]);
    std::printf(
        "  ratio MP3 Jobs=1 / lame: %.2fx (target 1.05x); %ld flushes took %.3f s on the flusher\n",
        mp3[0] / lameSeconds, mp3Flushes[0], mp3Flush[0]);
    std::printf("  %-52s %9.3f %9.0f\n",
                ("lame command on " + std::to_string(cores) + " cores (xargs -P)").c_str(),
                lameEvery, 1200 / lameEvery);
    std::printf("  %-52s %9.3f %9.0f\n",
                ("Dorvane MP3, " + std::to_string(cores) + " jobs").c_str(), mp3[1], 1200 / mp3[1]);
    std::printf(
        "  ratio MP3 %d jobs / lame on %d cores: %.2fx (target 1.10x); %ld flushes took %.3f s\n",
        cores, cores, mp3[1] / lameEvery, mp3Flushes[1], mp3Flush[1]);

    CompareWindows(folder, cue, out, cores);

    // Peak memory: one track of 1 minute, then one of 74, in fresh processes.
    std::printf("  peak memory of a process ripping one track with two jobs (MB):\n");
    for (const char* format : {"wav", "mp3"}) {
        double mb[2] = {};
        int i = 0;
        for (int minutes : {1, 74}) {
            const testsupport::TempFolder disc;
            const std::string one = testsupport::MakeImage(disc, "one", {minutes * 60 * 75});
            mb[i++] = PeakMb(one, format, out);
        }
        std::printf("    %s: 1 min %.1f, 74 min %.1f, difference %.1f (target within 2)\n", format,
                    mb[0], mb[1], mb[1] - mb[0]);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Offscreen unless told otherwise (QT_QPA_PLATFORM=xcb under Xvfb, say).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    try {
        if (argc == 5 && std::string(argv[1]) == "--peak")
            return Peak(argv);
        if (argc == 6 && std::string(argv[1]) == "--once")
            return Once(argv);
        const std::string arg = argc == 2 ? argv[1] : "";
        return Compare(arg == "--wav" ? Part::Wav : arg == "--window" ? Part::Window : Part::All);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_extract: %s\n", e.what());
        return 1;
    }
}
