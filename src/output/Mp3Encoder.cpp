#include "output/Mp3Encoder.h"

#include "cd/akrip32.h"

#include <vector>

namespace ripengine {

namespace {

constexpr std::uint32_t kSamplesPerSector = akrip::kSectorBytes / 2; // 1176, both channels

class Mp3Encoder final : public TrackEncoder {
  public:
    Mp3Encoder(const modLAME::LameLibrary& lame, const lame_enc::BE_CONFIG& config,
               QByteArray prefix)
        : lame_(lame), prefix_(std::move(prefix)) {
        lame_enc::BE_CONFIG c = config;
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
        return prefix_.isEmpty() ||
               Write(out, prefix_.constData(), static_cast<std::size_t>(prefix_.size()));
    }

    bool Encode(TrackOutput& out, const unsigned char* pcm, std::int32_t sectors) override {
        for (std::int32_t i = 0; i < sectors; ++i) {
            std::uint32_t bytes = 0;
            lame_.beEncodeChunk(
                stream_, kSamplesPerSector,
                reinterpret_cast<const std::int16_t*>(pcm + i * akrip::kSectorBytes),
                output_.data(), &bytes);
            if (bytes > 0 && !Write(out, output_.data(), bytes))
                return false;
        }
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
        return bytes == 0 || Write(out, output_.data(), bytes);
    }

  private:
    bool Write(TrackOutput& out, const void* data, std::size_t bytes) {
        failed_ = failed_ || !out.Write(data, bytes);
        return !failed_;
    }

    const modLAME::LameLibrary& lame_;
    QByteArray prefix_;
    lame_enc::HBE_STREAM stream_ = 0;
    std::vector<std::uint8_t> output_;
    QString fault_;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<TrackEncoder> MakeMp3Encoder(const modLAME::LameLibrary& lame,
                                             const lame_enc::BE_CONFIG& config, QByteArray prefix) {
    return std::make_unique<Mp3Encoder>(lame, config, std::move(prefix));
}

} // namespace ripengine
