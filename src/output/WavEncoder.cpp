#include "output/WavEncoder.h"

#include "cd/akrip32.h"
#include "output/clsFileIo.h"

#include <algorithm>

namespace ripengine {

bool FitsWav(std::uint64_t pcmBytes) {
    return pcmBytes <= clsFileIo::kMaxWavAudioBytes;
}

namespace {

class WavEncoder final : public TrackEncoder {
  public:
    bool Begin(TrackOutput& out, std::uint64_t pcmBytes) override {
        // The header states the whole track; the file takes its name only once
        // End has made the header true, so nobody sees it claim more.
        unsigned char header[clsFileIo::kWavHeaderBytes];
        clsFileIo::BuildWavHeader(static_cast<std::uint32_t>(pcmBytes), header);
        planned_ = pcmBytes;
        if (!out.Write(header, sizeof header))
            return false;
        out.RequestFlush();
        return true;
    }

    bool Encode(TrackOutput& out, const unsigned char* pcm, std::int32_t sectors) override {
        if (!out.Write(pcm, static_cast<std::size_t>(sectors) * akrip::kSectorBytes))
            return false;
        // The flusher writes the audio out while the copy goes on, so little
        // is left to wait for when the track ends.
        out.RequestFlush();
        return true;
    }

    bool End(TrackOutput& out, std::uint64_t pcmBytes) override {
        // What the file really holds: a failed write may have left part of a
        // block. Whole sample frames only: a partial one would be noise.
        const std::uint64_t end = out.Tell();
        std::uint64_t held =
            end > clsFileIo::kWavHeaderBytes ? end - clsFileIo::kWavHeaderBytes : 0;
        held = std::min(held, pcmBytes);
        held -= held % 4;
        const std::uint64_t size = clsFileIo::kWavHeaderBytes + held;
        if (held == planned_ && end == size)
            return true;
        unsigned char header[clsFileIo::kWavHeaderBytes];
        clsFileIo::BuildWavHeader(static_cast<std::uint32_t>(held), header);
        // Bytes past what the header states (part of a block a full disk cut
        // short) go, so the file is exactly what it says.
        return out.Seek(0) && out.Write(header, sizeof header) && out.Truncate(size) &&
               out.Seek(size);
    }

  private:
    std::uint64_t planned_ = 0;
};

} // namespace

std::unique_ptr<TrackEncoder> MakeWavEncoder() {
    return std::make_unique<WavEncoder>();
}

} // namespace ripengine
