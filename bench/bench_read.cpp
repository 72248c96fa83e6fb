// Reading a 20-minute disc image end to end through the CD audio library
// layer, 26 sectors per call the way extraction reads, kept as one BIN and as
// one FLAC file under its CUE sheet. Side by side: a plain sequential read(2)
// of the BIN, and the flac command decoding the FLAC file to raw PCM. Files
// are read once first so every way runs from the page cache; the best of
// several rounds counts. Then opening a sheet of 99 FILE lines in a folder of
// 20,000 files, each line found only in another letter case and under
// another extension.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DiscMaker.h"
#include "TestSupport.h"
#include "cd/akrip32.h"
#include "cd/modAKRip32.h"

extern char** environ;

namespace {

constexpr std::int32_t kDiscSectors = 90000; // 20 minutes
constexpr std::uint32_t kSectorsPerCall = 26;
constexpr std::size_t kPlainBlock = 61152; // 26 sectors
constexpr int kRounds = 5;
constexpr int kSheetFiles = 99;
constexpr int kFolderFiles = 20000;

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct FdCloser {
    void operator()(int* fd) const noexcept {
        ::close(*fd);
        delete fd;
    }
};

std::uint64_t Checksum(const unsigned char* data, std::size_t size, std::uint64_t sum) {
    for (std::size_t i = 0; i < size; i += 64)
        sum = sum * 31 + data[i];
    return sum;
}

// Seconds for one end-to-end read of a file; sum gets a checksum so the ways
// can be seen to read the same bytes.
double PlainRead(const std::string& file, std::uint64_t& sum) {
    const auto start = Clock::now();
    const int raw = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (raw < 0)
        throw std::runtime_error("cannot open " + file);
    const std::unique_ptr<int, FdCloser> fd(new int(raw));
    std::vector<unsigned char> buffer(kPlainBlock);
    sum = 0;
    for (;;) {
        const ssize_t n = ::read(*fd, buffer.data(), buffer.size());
        if (n < 0)
            throw std::runtime_error("cannot read " + file);
        if (n == 0)
            break;
        sum = Checksum(buffer.data(), static_cast<std::size_t>(n), sum);
    }
    return Since(start);
}

// The drive is opened and its table read in every round (openSeconds); the
// read itself is timed from the first sector, since extraction finds the
// drive open after start-up.
double LibraryRead(int target, std::uint64_t& sum, double& openSeconds) {
    auto start = Clock::now();
    akrip::GETCDHAND request{};
    request.size = 12;
    request.ver = 1;
    request.ha = 1;
    request.tgt = static_cast<std::uint8_t>(target);
    const int handle = akrip::GetCDHandle(&request);
    akrip::TOC toc{};
    if (handle == 0 || akrip::ReadTOC(handle, &toc) != 1)
        throw std::runtime_error("cannot open the image: error " +
                                 std::to_string(akrip::GetAspiLibError()));
    const int tracks = modAKRip32::TrackCount(toc);
    const auto end = static_cast<std::uint32_t>(modAKRip32::TrackStart(toc, tracks + 1));
    openSeconds = std::min(openSeconds, Since(start));
    start = Clock::now();
    std::vector<unsigned char> bytes(akrip::kTrackBufHeader +
                                     kSectorsPerCall * akrip::kSectorBytes);
    auto* block = reinterpret_cast<akrip::TRACKBUF*>(bytes.data());
    sum = 0;
    for (std::uint32_t at = 0; at < end; at += kSectorsPerCall) {
        block->startFrame = at;
        block->numFrames = std::min(kSectorsPerCall, end - at);
        block->maxLen = kSectorsPerCall * akrip::kSectorBytes;
        if (akrip::ReadCDAudioLBA(handle, block) != 1)
            throw std::runtime_error("read failed at sector " + std::to_string(at));
        sum = Checksum(block->buf, block->len, sum);
    }
    const double seconds = Since(start);
    akrip::CloseCDHandle(handle);
    return seconds;
}

// Seconds to open a drive and read its table.
double OpenSeconds(int target) {
    const auto start = Clock::now();
    akrip::GETCDHAND request{};
    request.size = 12;
    request.ver = 1;
    request.ha = 1;
    request.tgt = static_cast<std::uint8_t>(target);
    const int handle = akrip::GetCDHandle(&request);
    akrip::TOC toc{};
    if (handle == 0 || akrip::ReadTOC(handle, &toc) != 1 ||
        modAKRip32::TrackCount(toc) != kSheetFiles)
        throw std::runtime_error("cannot open the large folder's sheet: error " +
                                 std::to_string(akrip::GetAspiLibError()));
    const double seconds = Since(start);
    akrip::CloseCDHandle(handle);
    return seconds;
}

// A folder of kFolderFiles files: a short WAVE file per track, "track NN.wav",
// which the sheet names "TRACK NN.FLAC", and empty files besides. The sheet's
// path.
std::string WriteLargeFolder(const testsupport::TempFolder& folder) {
    const std::string dir = folder.file("large");
    if (::mkdir(dir.c_str(), 0700) != 0)
        throw std::runtime_error("cannot make " + dir);
    const discmaker::DiscPlan plan{std::vector<std::int32_t>(kSheetFiles, 4), 1, false};
    std::ofstream sheet(dir + "/sheet.cue");
    for (int t = 1; t <= kSheetFiles; ++t) {
        const std::string number = (t < 10 ? "0" : "") + std::to_string(t);
        discmaker::WriteAudioFile(dir + "/track " + number + ".wav", plan,
                                  discmaker::TrackStart(plan, t - 1), 4, discmaker::FileType::Wave);
        sheet << "FILE \"TRACK " << number << ".FLAC\" WAVE\n  TRACK " << number
              << " AUDIO\n    INDEX 01 00:00:00\n";
    }
    for (int i = kSheetFiles; i < kFolderFiles; ++i)
        std::ofstream(dir + "/other " + std::to_string(i) + ".txt");
    return dir + "/sheet.cue";
}

// flac -d decoding the file to raw 16-bit little-endian PCM on stdout, which
// goes to /dev/null.
double FlacCommand(const std::string& file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string args[] = {
        "flac", "-d", "-s", "-c", "--force-raw-format", "--endian=little", "--sign=signed", file};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t child = 0;
    const int failed = posix_spawnp(&child, "flac", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed != 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        throw std::runtime_error("flac -d failed on " + file + " (Debian package flac)");
    return Since(start);
}

void Row(const char* way, double seconds) {
    std::printf("  %-44s %10.4f %14.0f\n", way, seconds, kDiscSectors / seconds);
}

} // namespace

int main() {
    try {
        const testsupport::TempFolder folder;
        auto made = Clock::now();
        const discmaker::DiscPlan bin{std::vector<std::int32_t>(15, kDiscSectors / 15), 1, false,
                                      discmaker::FileType::Binary};
        const std::string binCue = discmaker::WriteCueBin(folder.path(), "bin", bin);
        const double binSeconds = Since(made);
        made = Clock::now();
        discmaker::DiscPlan flac = bin;
        flac.type = discmaker::FileType::Flac;
        const std::string flacCue = discmaker::WriteCueBin(folder.path(), "flac", flac);
        const double flacSeconds = Since(made);

        const std::string largeCue = WriteLargeFolder(folder);

        const testsupport::ScopedDiscImages images({binCue, flacCue, largeCue});
        akrip::CDLIST list{};
        akrip::GetCDList(&list);
        const int binTarget = list.num - 3; // the images come after any real drive
        const int flacTarget = list.num - 2;
        const int largeTarget = list.num - 1;

        std::uint64_t plainSum = 0, binSum = 0, flacSum = 0;
        PlainRead(folder.file("bin.bin"), plainSum); // into the page cache
        PlainRead(folder.file("flac.flac"), flacSum);
        double plainBest = 1e9, binBest = 1e9, flacBest = 1e9, commandBest = 1e9, binOpen = 1e9,
               flacOpen = 1e9;
        for (int round = 0; round < kRounds; ++round) {
            plainBest = std::min(plainBest, PlainRead(folder.file("bin.bin"), plainSum));
            binBest = std::min(binBest, LibraryRead(binTarget, binSum, binOpen));
            flacBest = std::min(flacBest, LibraryRead(flacTarget, flacSum, flacOpen));
            commandBest = std::min(commandBest, FlacCommand(folder.file("flac.flac")));
        }
        double largeBest = 1e9;
        for (int round = 0; round < 3; ++round)
            largeBest = std::min(largeBest, OpenSeconds(largeTarget));
        if (plainSum != binSum || binSum != flacSum)
            throw std::runtime_error("the ways read different bytes");

        std::printf("bench_read: %d sectors (20 min); images written in %.2f s (BIN), %.2f s "
                    "(FLAC); best of %d rounds\n",
                    kDiscSectors, binSeconds, flacSeconds, kRounds);
        std::printf("  %-44s %10s %14s\n", "way", "seconds", "sectors/s");
        Row("read(2) of the BIN, 61152-byte blocks", plainBest);
        Row("ReadCDAudioLBA, BIN under its sheet", binBest);
        Row("flac -d of the FLAC file to raw PCM", commandBest);
        Row("ReadCDAudioLBA, FLAC under its sheet", flacBest);
        std::printf("  opening each image and reading its table: %.2f ms (BIN), %.2f ms (FLAC)\n",
                    binOpen * 1000, flacOpen * 1000);
        std::printf("  ratio BIN: library / plain read: %.2fx (budget 1.10x)\n",
                    binBest / plainBest);
        std::printf("  ratio FLAC: library / flac -d:   %.2fx (budget 1.20x)\n",
                    flacBest / commandBest);
        std::printf("  opening a sheet of %d FILE lines found by letter case and extension "
                    "among %d files: %.3f s (budget 0.2 s)\n",
                    kSheetFiles, kFolderFiles, largeBest);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_read: %s\n", e.what());
        return 1;
    }
}
