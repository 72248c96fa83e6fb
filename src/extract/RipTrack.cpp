#include "extract/RipTrack.h"

#include "cd/modAKRip32.h"
#include "tracks/modNames.h"

#include <cstring>

namespace riptrack {

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
        if (akrip::ReadCDAudioLBA(handle_ != 0 ? handle_ : modAKRip32::Drive().CDHandle, block) == 1)
            return true;
        error_ = akrip::GetAspiLibError();
    }
    return false;
}

QString ReadFailedText(int track, const QString& fileName, std::int32_t sector, int errorCode) {
    return QStringLiteral("Track %1 could not be read at sector %2, so \"%3\" holds only the audio before it.\n\n%4")
        .arg(track)
        .arg(sector)
        .arg(modNames::FileNameFromPath(fileName), modAKRip32::CDErrorText(errorCode));
}

QString StatusText(const QString& fileName) {
    return QStringLiteral("Extracting: ") + modNames::FileNameFromPath(fileName);
}

QString CannotCreateText(const QString& fileName, int error) {
    return QStringLiteral("Cannot create the file \"%1\": %2.\n\nThe track was not extracted. Check "
                          "that the output folder exists and that you may write to it, or choose "
                          "another folder in Settings.")
        .arg(fileName, QString::fromLocal8Bit(std::strerror(error)));
}

QString CannotWriteText(const QString& fileName, int error) {
    return QStringLiteral("Cannot write to the file \"%1\": %2.\n\nThe file keeps what was written "
                          "before the failure, and the tracks after it were not extracted. Free "
                          "some space or choose another output folder, then extract them again.")
        .arg(fileName, QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace riptrack
