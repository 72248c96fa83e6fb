// dorvane-rip on a 20-minute disc image (15 tracks), side by side in one run
// with the plain command-line encoders on every core, each track's PCM on
// standard input, one process per track (xargs -P N):
//   MP3 at 160 kbit/s "Normal" against lame at the same settings;
//   FLAC at level 5, verified, against flac -5 with and without its verifier.
// Each figure is the best of three rounds, the rounds alternating, all reading
// from the page cache.
//
//   bench_rip            the whole comparison
//   bench_rip --flac     FLAC only

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t kDiscSectors = 90000; // 20 minutes
constexpr int kTracks = 15;
constexpr int kRounds = 3;

double Shell(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Clear(const std::string& folder) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

std::string SelfFolder() {
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        throw std::runtime_error("cannot find this program");
    return std::filesystem::path(self).parent_path();
}

// Each track's PCM as a file of its own, for the commands' standard input.
void SplitTracks(const std::string& bin, const std::string& folder) {
    std::ifstream in(bin, std::ios::binary);
    const std::string pcm{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t bytes = std::size_t(kDiscSectors / kTracks) * 2352;
    for (int t = 0; t < kTracks; ++t)
        std::ofstream(folder + "/" + std::to_string(10 + t) + ".raw", std::ios::binary)
            << pcm.substr(std::size_t(t) * bytes, bytes);
}

// The command for every track at once on `cores` processes; {} is the track.
std::string OnEveryCore(int cores, const std::string& perTrack) {
    return "seq 10 " + std::to_string(9 + kTracks) + " | xargs -P " + std::to_string(cores) +
           " -I{} sh -c \"" + perTrack + "\"";
}

struct Row {
    std::string name;
    std::string command;
    double best = 1e9;
};

void Compare(std::vector<Row> rows, const std::string& out, std::size_t baseline) {
    for (int round = 0; round < kRounds; ++round)
        for (Row& row : rows) {
            Clear(out);
            row.best = std::min(row.best, Shell(row.command));
        }
    Clear(out);
    const double base = rows[baseline].best;
    for (const Row& row : rows)
        std::printf("  %-56s %8.3f s %7.0fx audio %6.2fx\n", row.name.c_str(), row.best,
                    1200 / row.best, row.best / base);
}

int Run(bool flacOnly) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const std::string rip = SelfFolder() + "/dorvane-rip";
    const testsupport::TempFolder folder;
    const std::string out = folder.file("out"), raw = folder.file("raw");
    std::filesystem::create_directories(raw);
    const std::string cue = testsupport::MakeImage(
        folder, "bench", std::vector<std::int32_t>(kTracks, kDiscSectors / kTracks));
    SplitTracks(folder.file("bench.bin"), raw);
    Shell("cat '" + folder.file("bench.bin") + "' > /dev/null");
    std::printf("bench_rip: %d sectors (20 min) in %d tracks, %d cores; best of %d rounds\n",
                kDiscSectors, kTracks, cores, kRounds);
    std::printf("  %-56s %10s %13s %7s\n", "", "time", "speed", "ratio");
    const std::string jobs =
        " -j " + std::to_string(cores) + " --quiet -o '" + out + "' '" + cue + "'";

    if (!flacOnly) {
        const std::string lame = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian "
                                 "-m j -b 160 -q 5 -t --noreplaygain -o ";
        Compare({{"lame on every core (xargs -P), 160 kbit/s, -q 5",
                  OnEveryCore(cores,
                              lame + "- '" + out + "/{}.mp3' < '" + raw + "/{}.raw' 2>/dev/null")},
                 {"dorvane-rip -f mp3 (ID3v2.4 tags)", "'" + rip + "' -f mp3" + jobs}},
                out, 0);
        std::printf("  (target: dorvane-rip at most 1.10x the lame command)\n");
    }
    const std::string flac =
        "flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
        "--sample-rate=44100 ";
    Compare({{"flac -5 on every core (xargs -P)",
              OnEveryCore(cores, flac + "-5 -o '" + out + "/{}.flac' - < '" + raw + "/{}.raw'")},
             {"flac -5 -V (verified) on every core (xargs -P)",
              OnEveryCore(cores, flac + "-5 -V -o '" + out + "/{}.flac' - < '" + raw + "/{}.raw'")},
             {"dorvane-rip -f flac (level 5, verified, tagged)", "'" + rip + "' -f flac" + jobs}},
            out, 1);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc == 2 && std::string(argv[1]) == "--flac");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_rip: %s\n", e.what());
        return 1;
    }
}
