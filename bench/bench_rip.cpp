// dorvane-rip on a 20-minute disc image (15 tracks), side by side in one run
// with the plain command-line tools:
//   MP3 at 160 kbit/s "Normal" against lame at the same settings on every
//   core (each track's PCM on standard input, one process per track, xargs
//   -P N), and with --no-log, which takes no checksums: what they cost;
//   FLAC at level 5, verified, against flac -5 with and without its verifier;
//   --verify of the image (every checksum of every track, the verdicts from
//   an answer file) against accuraterip-checksum (v1 and v2) on each track's
//   WAV file and Python's zlib.crc32 of each, and --verify of the image made
//   667 samples late, whose offset is searched for over the full range.
// Each figure is the best of three rounds (six for MP3), the rounds
// alternating, all reading from the page cache.
//
//   bench_rip            the whole comparison
//   bench_rip --flac     FLAC only
//   bench_rip --verify   checksums and verification only
//   bench_rip --mp3      MP3 only

#include <sys/resource.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
// The checksums cost about 1 % of an MP3 run, less than one round differs
// from the next: more rounds, so that the least of each comes near its own.
constexpr int kMp3Rounds = 6;

// Processor time of every process this one has waited for, in seconds.
double ChildrenCpu() {
    rusage use{};
    ::getrusage(RUSAGE_CHILDREN, &use);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// Wall-clock seconds of the command; cpu, when given, gets its processor
// seconds (its own and its children's), which other loads on the machine
// hardly change.
double Shell(const std::string& command, double* cpu = nullptr) {
    const double before = ChildrenCpu();
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
    if (cpu)
        *cpu = ChildrenCpu() - before;
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
    double cpu = 1e9; // the least processor time of a round
};

std::vector<Row> Compare(std::vector<Row> rows, const std::string& out, std::size_t baseline,
                         int rounds = kRounds) {
    for (int round = 0; round < rounds; ++round)
        for (Row& row : rows) {
            Clear(out);
            double cpu = 0;
            row.best = std::min(row.best, Shell(row.command, &cpu));
            row.cpu = std::min(row.cpu, cpu);
        }
    Clear(out);
    const double base = rows[baseline].best;
    for (const Row& row : rows)
        std::printf("  %-56s %8.3f s %7.0fx audio %6.2fx %8.2f s cpu\n", row.name.c_str(), row.best,
                    1200 / row.best, row.best / base, row.cpu);
    return rows;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    if (!pipe || ::pclose(pipe) != 0)
        throw std::runtime_error("failed: " + command);
    return out;
}

std::string Le32(std::uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::uint32_t HexValue(const QJsonValue& value) {
    return static_cast<std::uint32_t>(value.toString().toULong(nullptr, 16));
}

// --verify against accuraterip-checksum and zlib, then the offset search.
void Verify(const std::string& rip, const testsupport::TempFolder& folder, const std::string& cue) {
    // The database's answer holds the image's own sums (as one entry), as
    // dorvane-rip computes them; the tools below must give the same.
    const QJsonObject disc =
        QJsonDocument::fromJson(QByteArray::fromStdString(Output(
                                    "'" + rip + "' --verify --json --accuraterip /dev/null '" +
                                    cue + "' 2>/dev/null || true")))
            .object();
    const QJsonObject ids = disc[u"ids"][u"accuraterip"].toObject();
    std::string answer = char(kTracks) + Le32(HexValue(ids[u"id1"])) + Le32(HexValue(ids[u"id2"])) +
                         Le32(HexValue(ids[u"cddb"]));
    std::vector<std::uint32_t> v1, v2;
    for (const QJsonValue track : disc[u"tracks"].toArray()) {
        const QJsonObject sums = track[u"checksums"].toObject();
        v1.push_back(HexValue(sums[u"accuraterip_v1"]));
        v2.push_back(HexValue(sums[u"accuraterip_v2"]));
        answer += char(9) + Le32(v2.back()) + Le32(HexValue(sums[u"accuraterip_sector450"]));
    }
    if (v2.size() != kTracks)
        throw std::runtime_error("dorvane-rip --verify --json gave no checksums");
    std::ofstream(folder.file("answer.bin"), std::ios::binary) << answer;

    // One WAV file per track for the tools, and the image made 667 samples late.
    const std::string pcm = ReadAll(folder.file("bench.bin"));
    const std::size_t bytes = std::size_t(kDiscSectors / kTracks) * 2352;
    std::string tools, crcs =
                           "python3 -c 'import sys, zlib\nfor f in sys.argv[1:]: print(\"%08x\" % "
                           "zlib.crc32(open(f, \"rb\").read()[44:]))'";
    for (int t = 1; t <= kTracks; ++t) {
        const std::string wav = folder.file("wav/" + std::to_string(t) + ".wav");
        std::string header("RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0"
                           "\x10\0data....",
                           44);
        for (std::size_t i = 0; i < 4; ++i)
            header[4 + i] = char((bytes + 36) >> 8 * i), header[40 + i] = char(bytes >> 8 * i);
        std::filesystem::create_directories(folder.file("wav"));
        std::ofstream(wav, std::ios::binary)
            << header << pcm.substr(std::size_t(t - 1) * bytes, bytes);
        const std::string args =
            " '" + wav + "' " + std::to_string(t) + " " + std::to_string(kTracks);
        tools += "accuraterip-checksum --accuraterip-v1" + args + " && accuraterip-checksum" +
                 args + " && ";
        crcs += " '" + wav + "'";
    }
    tools += crcs;
    std::string expected;
    for (int t = 0; t < kTracks; ++t) {
        char line[40];
        std::snprintf(line, sizeof line, "%08X\n%08X\n", v1[std::size_t(t)], v2[std::size_t(t)]);
        expected += line;
    }
    const std::string said = Output(tools);
    if (said.substr(0, expected.size()) != expected)
        throw std::runtime_error("accuraterip-checksum and dorvane-rip disagree");
    const std::size_t shift = 667 * 4;
    std::ofstream(folder.file("late.bin"), std::ios::binary)
        << std::string(shift, '\0') << pcm.substr(0, pcm.size() - shift);
    std::string sheet = ReadAll(cue);
    sheet.replace(sheet.find("bench.bin"), 9, "late.bin");
    std::ofstream(folder.file("late.cue")) << sheet;
    Shell("cat '" + folder.file("late.bin") + "' > /dev/null");

    const std::string check =
        "'" + rip + "' --verify --accuraterip '" + folder.file("answer.bin") + "' '";
    if (Output(check + folder.file("late.cue") + "'").find("rip made +667 samples off") ==
        std::string::npos)
        throw std::runtime_error("the offset of the late image was not found");
    const std::string out = folder.file("out");
    const auto rows = Compare({{"accuraterip-checksum v1 + v2 and zlib.crc32, per track WAV",
                                "(" + tools + ") > /dev/null"},
                               {"dorvane-rip --verify (BIN image)", check + cue + "' > /dev/null"},
                               {"dorvane-rip --verify, made +667 late (offset search)",
                                check + folder.file("late.cue") + "' > /dev/null"}},
                              out, 0);
    std::printf("  (targets: --verify at most 1.0x the tools and at least 1500x real time; the\n"
                "  offset search at most 2x a verify at offset 0: %.2fx)\n",
                rows[2].best / rows[1].best);
}

int Run(bool flacOnly, bool verifyOnly, bool mp3Only) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const std::string rip = SelfFolder() + "/dorvane-rip";
    const testsupport::TempFolder folder;
    const std::string out = folder.file("out"), raw = folder.file("raw");
    std::filesystem::create_directories(raw);
    const std::string cue = testsupport::MakeImage(
        folder, "bench", std::vector<std::int32_t>(kTracks, kDiscSectors / kTracks));
    SplitTracks(folder.file("bench.bin"), raw);
    Shell("cat '" + folder.file("bench.bin") + "' > /dev/null");
    std::printf(
        "bench_rip: %d sectors (20 min) in %d tracks, %d cores; best of %d rounds (MP3: %d)\n",
        kDiscSectors, kTracks, cores, kRounds, kMp3Rounds);
    std::printf("  %-56s %10s %13s %7s %14s\n", "", "time", "speed", "ratio", "processor");
    const std::string jobs =
        " -j " + std::to_string(cores) + " --quiet -o '" + out + "' '" + cue + "'";

    if (!flacOnly && !mp3Only) {
        Verify(rip, folder, cue);
        if (verifyOnly)
            return 0;
    }
    if (!flacOnly) {
        const std::string lame = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian "
                                 "-m j -b 160 -q 5 -t --noreplaygain -o ";
        const auto rows = Compare(
            {{"lame on every core (xargs -P), 160 kbit/s, -q 5",
              OnEveryCore(cores,
                          lame + "- '" + out + "/{}.mp3' < '" + raw + "/{}.raw' 2>/dev/null")},
             {"dorvane-rip -f mp3 --no-log (no checksums)", "'" + rip + "' -f mp3 --no-log" + jobs},
             {"dorvane-rip -f mp3 (checksums, rip log)", "'" + rip + "' -f mp3" + jobs}},
            out, 0, kMp3Rounds);
        std::printf("  (targets: dorvane-rip at most 1.10x the lame command; checksums at most\n"
                    "  +2%%: %+.1f%% of the time, %+.1f%% of the processor time)\n",
                    100 * (rows[2].best / rows[1].best - 1), 100 * (rows[2].cpu / rows[1].cpu - 1));
        if (mp3Only)
            return 0;
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
        const std::string only = argc == 2 ? argv[1] : "";
        return Run(only == "--flac", only == "--verify", only == "--mp3");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_rip: %s\n", e.what());
        return 1;
    }
}
