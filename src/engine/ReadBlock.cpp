#include "engine/ReadBlock.h"

#include "cd/modAKRip32.h"

#include <cstring>

namespace ripengine {

ReadBlock::ReadBlock(int handle)
    : bytes_(new unsigned char[akrip::kTrackBufHeader + kBlockAudioBytes]()), handle_(handle) {
    header_.maxLen = kBlockAudioBytes;
}

bool ReadBlock::Read(std::int32_t sector, std::int32_t count) {
    header_.startFrame = static_cast<std::uint32_t>(sector);
    header_.numFrames = static_cast<std::uint32_t>(count);
    header_.len = 0;
    header_.status = 0;
    header_.startOffset = 0;
    auto* block = reinterpret_cast<akrip::TRACKBUF*>(bytes_.get());
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        std::memcpy(bytes_.get(), &header_, akrip::kTrackBufHeader);
        // The open drive's handle is taken afresh for every read.
        if (akrip::ReadCDAudioLBA(handle_ != 0 ? handle_ : modAKRip32::Drive().CDHandle, block) ==
            1)
            return true;
        error_ = akrip::GetAspiLibError();
        reason_ = akrip::LastReadReason();
    }
    return false;
}

std::int32_t ReadBlock::ReadLeading(std::int32_t sector, std::int32_t count) {
    if (Read(sector, count))
        return count;
    // A scratch may spoil one sector of the block: the ones before it are
    // still the disc's audio.
    std::unique_ptr<unsigned char[]> kept(new unsigned char[kBlockAudioBytes]);
    std::int32_t good = 0;
    while (good < count && Read(sector + good, 1)) {
        std::memcpy(kept.get() + std::size_t(good) * akrip::kSectorBytes, Audio(),
                    akrip::kSectorBytes);
        ++good;
    }
    std::memcpy(bytes_.get() + akrip::kTrackBufHeader, kept.get(),
                std::size_t(good) * akrip::kSectorBytes);
    return good;
}

} // namespace ripengine
