#include "output/Mp3Encoder.h"

#include "cd/akrip32.h"

#include <algorithm>
#include <vector>

namespace ripengine {

namespace {

constexpr std::uint32_t kSamplesPerSector = akrip::kSectorBytes / 2; // 1176, both channels

// The length of the MPEG-1 Layer III frame whose header starts at `header`
// (4 bytes), or 0 when it is none: all the module writes.
std::size_t Mpeg1Layer3FrameBytes(const std::uint8_t* header) {
    static constexpr std::uint32_t kKbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                                112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr std::uint32_t kRates[4] = {44100, 48000, 32000, 0};
    const std::uint32_t kbps = kKbps[header[2] >> 4];
    const std::uint32_t rate = kRates[(header[2] >> 2) & 3];
    if (header[0] != 0xFF || (header[1] & 0xFE) != 0xFA || kbps == 0 || rate == 0)
        return 0;
    return 144000 * kbps / rate + ((header[2] >> 1) & 1);
}

class Mp3Encoder final : public TrackEncoder {
  public:
    Mp3Encoder(const modLAME::LameLibrary& lame, const lame_enc::BE_CONFIG& config,
               QByteArray prefix, InfoFrame info)
        : lame_(lame), prefix_(std::move(prefix)), info_(info == InfoFrame::Write) {
        if (info_ && !lame_.beGetInfoTag) {
            fault_ = QStringLiteral("The encoder module cannot write an Info frame");
            return;
        }
        lame_enc::BE_CONFIG c = config;
        // A room nobody fills would stay a blank frame.
        c.bWriteVBRHeader = info_ ? -1 : 0;
        std::uint32_t samples = 0;
        std::uint32_t outputSize = 0;
        const std::uint32_t code = lame_.beInitStream(&c, &samples, &outputSize, &stream_);
        if (code != lame_enc::BE_ERR_SUCCESSFUL) {
            stream_ = 0;
            fault_ = modLAME::LameErrorText(code);
            // A code the table does not know still gets a box.
            if (fault_.isEmpty())
                fault_ = QStringLiteral("Unknown error (%1)").arg(code);
            return;
        }
        output_.resize(outputSize);
    }
    ~Mp3Encoder() override {
        if (stream_ != 0)
            lame_.beCloseStream(stream_);
    }
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    QString FaultText() const override { return fault_; }

    bool Begin(TrackOutput& out, std::uint64_t) override {
        end_ = out.Tell();
        infoAt_ = end_ + static_cast<std::uint64_t>(prefix_.size());
        pending_.assign(prefix_.begin(), prefix_.end());
        return Write(out, pending_.size());
    }

    bool Encode(TrackOutput& out, const unsigned char* pcm, std::int32_t sectors) override {
        for (std::int32_t i = 0; i < sectors; ++i) {
            std::uint32_t bytes = 0;
            lame_.beEncodeChunk(
                stream_, kSamplesPerSector,
                reinterpret_cast<const std::int16_t*>(pcm + i * akrip::kSectorBytes),
                output_.data(), &bytes);
            pending_.insert(pending_.end(), output_.data(), output_.data() + bytes);
        }
        if (!Write(out, WholeFrames()))
            return false;
        // Every block reaches the disk, but the flusher does it while we go on.
        out.RequestFlush();
        return true;
    }

    bool End(TrackOutput& out, std::uint64_t) override {
        // After a failed write the encoder's last frames would only fail too.
        if (failed_)
            return false;
        std::uint32_t bytes = 0;
        lame_.beDeinitStream(stream_, output_.data(), &bytes);
        // The flush completes the last frame.
        pending_.insert(pending_.end(), output_.data(), output_.data() + bytes);
        return Write(out, pending_.size()) && (!info_ || WriteInfoFrame(out));
    }

  private:
    // How many of the pending bytes are whole frames. The module hands out
    // the stream as far as it has it, which mostly ends inside a frame: the
    // bit reservoir lets a frame's audio end before the frame does, where
    // the next frame's begins. Bytes that are not a frame are handed on as
    // they come.
    std::size_t WholeFrames() {
        while (scanned_ + 4 <= pending_.size()) {
            const std::size_t frame = Mpeg1Layer3FrameBytes(pending_.data() + scanned_);
            if (frame == 0)
                return pending_.size();
            if (scanned_ + frame > pending_.size())
                break;
            // The Info frame's room is the stream's first frame.
            if (room_ == 0)
                room_ = frame;
            scanned_ += frame;
        }
        return scanned_;
    }

    // Writes the first `bytes` pending bytes. A write that fails (a full
    // disk) is cut off again, so the file ends with the last whole frame, and
    // nothing more is written.
    bool Write(TrackOutput& out, std::size_t bytes) {
        if (bytes == 0 || failed_)
            return !failed_;
        if (out.Write(pending_.data(), bytes)) {
            end_ += bytes;
        } else {
            failed_ = true;
            if (out.Truncate(end_))
                out.Seek(end_);
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(bytes));
        scanned_ -= std::min(scanned_, bytes);
        return !failed_;
    }

    // Into the room the stream began with, then back to the end.
    bool WriteInfoFrame(TrackOutput& out) {
        std::uint32_t bytes = 0;
        const std::uint32_t code = lame_.beGetInfoTag(stream_, output_.data(), &bytes);
        if (code != lame_enc::BE_ERR_SUCCESSFUL || (bytes != 0 && bytes != room_)) {
            fault_ = QStringLiteral("The encoder module gave no Info frame for its room");
            return false;
        }
        // None at a bitrate whose frames are too small to hold one.
        return bytes == 0 ||
               (out.Seek(infoAt_) && out.Write(output_.data(), bytes) && out.Seek(end_));
    }

    const modLAME::LameLibrary& lame_;
    QByteArray prefix_;
    const bool info_;
    std::size_t room_ = 0;     // the first frame's bytes
    std::uint64_t infoAt_ = 0; // where it starts in the output
    lame_enc::HBE_STREAM stream_ = 0;
    std::vector<std::uint8_t> output_;  // what the module encodes into
    std::vector<std::uint8_t> pending_; // encoded, not written yet
    std::size_t scanned_ = 0;           // of pending_, whole frames
    std::uint64_t end_ = 0;             // of what the output took
    QString fault_;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<TrackEncoder> MakeMp3Encoder(const modLAME::LameLibrary& lame,
                                             const lame_enc::BE_CONFIG& config, QByteArray prefix,
                                             InfoFrame info) {
    return std::make_unique<Mp3Encoder>(lame, config, std::move(prefix), info);
}

} // namespace ripengine
