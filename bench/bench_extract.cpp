// Extraction of a 20-minute disc image (15 tracks) through the real driver,
// extractors and progress windows (offscreen), side by side in one run with
// what plain tools do with the same bytes:
//   WAV against dd copying the image's BIN in blocks of the same size;
//   MP3 at 160 kbit/s "Normal" against the lame command on the same PCM.
// The time the MP3 extraction spends in fdatasync (one flush per block) is
// counted by wrapping fdatasync below. Peak memory is measured in child
// processes that rip one track of 1 and of 74 minutes.
//
//   bench_extract            the whole comparison
//   bench_extract --wav      WAV against dd only
//   bench_extract --peak CUE FORMAT OUTFOLDER   (used by the comparison)

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "cd/modAKRip32.h"
#include "extract/ProgressWindows.h"
#include "extract/modRip.h"

namespace {

using Clock = std::chrono::steady_clock;

double flushSeconds = 0;
long flushCalls = 0;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

// Every flush the extraction makes passes through here on its way to libc.
extern "C" int fdatasync(int fd) {
    using Real = int (*)(int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fdatasync"));
    const auto start = Clock::now();
    const int result = real(fd);
    flushSeconds += Since(start);
    ++flushCalls;
    return result;
}

namespace {

constexpr std::int32_t kDiscSectors = 90000; // 20 minutes
constexpr int kTracks = 15;

// Every track ticked, the format and folder fixed.
struct AllTracks : modRip::RipSource {
    int count;
    bool mp3;
    QString folder;
    AllTracks(int n, bool isMp3, QString out) : count(n), mp3(isMp3), folder(std::move(out)) {}
    int ItemCount() override { return count; }
    bool IsChecked(int) override { return true; }
    QString ItemText(int i) override {
        return QStringLiteral("Track %1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    bool Mp3Selected() override { return mp3; }
    QString OutPath() override { return folder; }
    modRip::EncoderChoices Encoder() override { return {QStringLiteral("160"), 1}; }
    void ShowSettings() override {}
};

void OpenImage(const std::string& cue) {
    const QString name =
        QStringLiteral("IMAGE ") + QString::fromStdString(cue).section(QLatin1Char('/'), -1);
    if (!modAKRip32::OpenCD(static_cast<int>(modAKRip32::DriveListTexts().indexOf(name))))
        throw std::runtime_error("cannot open " + cue);
}

// No windows and no events: what the extraction costs without them.
struct NoWindows : ProgressHost, ProgressWindow {
    std::unique_ptr<ProgressWindow> ShowProgress() override { return std::make_unique<NoWindows>(); }
    void DoEvents() override {}
    void ChangeProgress(const QString&, float, float) override {}
};

// Seconds for the driver to extract every track of the open disc.
double Rip(int tracks, bool mp3, const std::string& folder, bool windows = true) {
    QWidget owner; // the main window the progress windows belong to
    QtProgressHost shown(&owner);
    NoWindows hidden;
    ProgressHost& host = windows ? static_cast<ProgressHost&>(shown) : hidden;
    ScriptedDialogs dialogs;
    AllTracks source(tracks, mp3, QString::fromStdString(folder));
    const auto start = Clock::now();
    modRip::cmdRip_Click(source, host, dialogs);
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

// Peak resident memory (MB) of a child that rips the one track of cue.
double PeakMb(const std::string& cue, const char* format, const std::string& out) {
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        throw std::runtime_error("cannot find this program");
    const std::string run =
        "'" + std::string(self) + "' --peak '" + cue + "' " + format + " '" + out + "'";
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
    Rip(1, std::string(argv[3]) == "mp3", argv[4]);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}

int Compare(bool wavOnly) {
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
    double wav = 1e9, dd = 1e9, bare = 1e9, wavFlush = 0;
    for (int round = 0; round < 5; ++round) {
        Clear(out);
        dd = std::min(dd,
                      Shell("dd if='" + bin + "' of='" + out + "/copy.bin' bs=61152 status=none"));
        Clear(out);
        flushSeconds = 0;
        const double seconds = Rip(kTracks, false, out);
        if (seconds < wav) {
            wav = seconds;
            wavFlush = flushSeconds;
        }
        Clear(out);
        bare = std::min(bare, Rip(kTracks, false, out, false));
    }
    std::printf("  %-52s %9s %9s\n", "", "seconds", "x audio");
    std::printf("  %-52s %9.3f %9.0f\n", "dd bs=61152 of the BIN", dd, 1200 / dd);
    std::printf("  %-52s %9.3f %9.0f\n", "Dorvane WAV (RipTrackWav, progress windows)", wav, 1200 / wav);
    std::printf("  %-52s %9.3f %9.0f\n", "Dorvane WAV without windows", bare, 1200 / bare);
    std::printf("  ratio WAV / dd: %.2fx (target 1.5x); %d header flushes took %.3f s, "
                "without them %.2fx\n",
                wav / dd, kTracks, wavFlush, (wav - wavFlush) / dd);
    if (wavOnly)
        return 0;

    // MP3: one round each; the lame command gets the PCM on standard input.
    Clear(out);
    const std::string lame =
        "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 160 -q 5 -t "
        "--noreplaygain -o - '" +
        out + "/lame.mp3' < '" + bin + "' 2>/dev/null";
    const double lameSeconds = Shell(lame);
    Clear(out);
    flushSeconds = 0;
    flushCalls = 0;
    const double mp3 = Rip(kTracks, true, out);
    const double mp3Flush = flushSeconds;
    const long mp3Flushes = flushCalls;
    Clear(out);

    std::printf("  %-52s %9.3f %9.0f\n", "lame command, 160 kbit/s, -q 5", lameSeconds,
                1200 / lameSeconds);
    std::printf("  %-52s %9.3f %9.0f\n", "Dorvane MP3 (RipTrackMp3, lame_enc.so, flushes)", mp3,
                1200 / mp3);
    std::printf("  ratio MP3 / lame: %.2fx (target 1.10x); %ld flushes took %.3f s (%.1f%% of the "
                "MP3 time)\n",
                mp3 / lameSeconds, mp3Flushes, mp3Flush, 100 * mp3Flush / mp3);

    // Peak memory: one track of 1 minute, then one of 74, in fresh processes.
    std::printf("  peak memory of a process ripping one track (MB):\n");
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
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    try {
        if (argc == 5 && std::string(argv[1]) == "--peak")
            return Peak(argv);
        return Compare(argc == 2 && std::string(argv[1]) == "--wav");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_extract: %s\n", e.what());
        return 1;
    }
}
