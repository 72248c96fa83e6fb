#include "verify/ChecksumEncoder.h"

#include <utility>

namespace verify {

std::optional<ChecksumResult> ChecksumSink::Result() const {
    const std::lock_guard lock(mutex_);
    return result_;
}

void ChecksumSink::Store(const ChecksumResult& result) {
    const std::lock_guard lock(mutex_);
    result_ = result;
}

namespace {

class ChecksumEncoder final : public ripengine::TrackEncoder {
  public:
    ChecksumEncoder(std::unique_ptr<ripengine::TrackEncoder> inner, TrackPlace place,
                    std::shared_ptr<ChecksumSink> sink)
        : inner_(std::move(inner)), place_(place), sink_(std::move(sink)) {}

    bool Begin(ripengine::TrackOutput& out, std::uint64_t pcmBytes) override {
        sums_.emplace(place_, pcmBytes / 4);
        return inner_->Begin(out, pcmBytes);
    }

    bool Encode(ripengine::TrackOutput& out, const unsigned char* pcm,
                std::int32_t sectors) override {
        if (!inner_->Encode(out, pcm, sectors))
            return false;
        if (sums_)
            sums_->Feed(pcm, static_cast<std::size_t>(sectors) * kSectorBytes);
        return true;
    }

    bool End(ripengine::TrackOutput& out, std::uint64_t pcmBytes) override {
        const bool ok = inner_->End(out, pcmBytes);
        if (sums_)
            sink_->Store(sums_->Result());
        return ok;
    }

    QString FaultText() const override { return inner_->FaultText(); }

  private:
    std::unique_ptr<ripengine::TrackEncoder> inner_;
    TrackPlace place_;
    std::shared_ptr<ChecksumSink> sink_;
    std::optional<TrackChecksums> sums_;
};

} // namespace

std::unique_ptr<ripengine::TrackEncoder>
WithChecksums(std::unique_ptr<ripengine::TrackEncoder> inner, TrackPlace place,
              std::shared_ptr<ChecksumSink> sink) {
    return std::make_unique<ChecksumEncoder>(std::move(inner), place, std::move(sink));
}

} // namespace verify
