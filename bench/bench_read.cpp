// Reading a 20-minute disc image through the CD audio library layer, 26
// sectors per call the way extraction reads, against a plain sequential
// read(2) of its BIN. The BIN is read once first so both run from the page
// cache; the best of several rounds counts.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "cd/akrip32.h"
#include "cd/modAKRip32.h"

namespace {

constexpr std::int32_t kDiscSectors = 90000;  // 20 minutes
constexpr std::uint32_t kSectorsPerCall = 26;
constexpr std::size_t kPlainBlock = 61152;  // 26 sectors
constexpr int kRounds = 5;

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

// Seconds for one end-to-end read of the BIN; sum gets a checksum so the
// two ways can be seen to read the same bytes.
double PlainRead(const std::string& bin, std::uint64_t& sum) {
    const auto start = std::chrono::steady_clock::now();
    const int raw = ::open(bin.c_str(), O_RDONLY | O_CLOEXEC);
    if (raw < 0)
        throw std::runtime_error("cannot open " + bin);
    const std::unique_ptr<int, FdCloser> fd(new int(raw));
    std::vector<unsigned char> buffer(kPlainBlock);
    sum = 0;
    for (;;) {
        const ssize_t n = ::read(*fd, buffer.data(), buffer.size());
        if (n < 0)
            throw std::runtime_error("cannot read " + bin);
        if (n == 0)
            break;
        sum = Checksum(buffer.data(), static_cast<std::size_t>(n), sum);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double LibraryRead(int target, std::uint64_t& sum) {
    const auto start = std::chrono::steady_clock::now();
    akrip::GETCDHAND request{};
    request.size = 12;
    request.ver = 1;
    request.ha = 1;
    request.tgt = static_cast<std::uint8_t>(target);
    const int handle = akrip::GetCDHandle(&request);
    akrip::TOC toc{};
    if (handle == 0 || akrip::ReadTOC(handle, &toc) != 1)
        throw std::runtime_error("cannot open the image: error " + std::to_string(akrip::GetAspiLibError()));
    const int tracks = modAKRip32::TrackCount(toc);
    const auto end = static_cast<std::uint32_t>(modAKRip32::TrackStart(toc, tracks + 1));
    std::vector<unsigned char> bytes(akrip::kTrackBufHeader + kSectorsPerCall * akrip::kSectorBytes);
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
    akrip::CloseCDHandle(handle);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    try {
        const testsupport::TempFolder folder;
        const auto made = std::chrono::steady_clock::now();
        const std::string cue = testsupport::MakeImage(folder, "bench", std::vector<std::int32_t>(15, kDiscSectors / 15));
        const double makeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - made).count();
        const std::string bin = folder.file("bench.bin");

        const testsupport::ScopedDiscImages images({cue});
        akrip::CDLIST list{};
        akrip::GetCDList(&list);
        const int target = list.num - 1;  // the image comes after any real drive

        std::uint64_t plainSum = 0;
        std::uint64_t librarySum = 0;
        PlainRead(bin, plainSum);  // into the page cache
        double plainBest = 1e9;
        double libraryBest = 1e9;
        for (int round = 0; round < kRounds; ++round) {
            plainBest = std::min(plainBest, PlainRead(bin, plainSum));
            libraryBest = std::min(libraryBest, LibraryRead(target, librarySum));
        }
        if (plainSum != librarySum)
            throw std::runtime_error("the two ways read different bytes");

        std::printf("bench_read: %d sectors (20 min), image written in %.2f s, best of %d rounds\n",
                    kDiscSectors, makeSeconds, kRounds);
        std::printf("  %-34s %10s %14s\n", "way", "seconds", "sectors/s");
        std::printf("  %-34s %10.4f %14.0f\n", "read(2), 61152-byte blocks", plainBest, kDiscSectors / plainBest);
        std::printf("  %-34s %10.4f %14.0f\n", "ReadCDAudioLBA, 26 sectors/call", libraryBest,
                    kDiscSectors / libraryBest);
        std::printf("  ratio library / plain: %.2fx (budget 1.30x)\n", libraryBest / plainBest);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_read: %s\n", e.what());
        return 1;
    }
}
