#include "output/FlacEncoder.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <array>
#include <vector>

namespace ripengine {
namespace {

constexpr unsigned kCompressionLevel = 5;
constexpr unsigned kPaddingBytes = 4096; // room to edit the tags without rewriting the file
constexpr int kFramesPerSector = 588;
// libFLAC writes each frame (a few kB) on its own and asks where it is after
// each; gathering them saves two system calls a frame.
constexpr std::size_t kWriteChunk = 256 * 1024;

struct EncoderDelete {
    void operator()(FLAC__StreamEncoder* e) const noexcept { FLAC__stream_encoder_delete(e); }
};
struct MetadataDelete {
    void operator()(FLAC__StreamMetadata* m) const noexcept { FLAC__metadata_object_delete(m); }
};
using Metadata = std::unique_ptr<FLAC__StreamMetadata, MetadataDelete>;

class FlacEncoder final : public TrackEncoder {
  public:
    explicit FlacEncoder(const TrackTags& tags) : comments_(VorbisComments(tags)) {}

    ~FlacEncoder() override {
        // Deleting an unfinished encoder finishes it, which would write: a
        // dropped track's output may be gone by now, so nothing reaches it.
        out_ = nullptr;
        encoder_.reset();
    }

    bool Begin(TrackOutput& out, std::uint64_t pcmBytes) override {
        out_ = &out;
        position_ = out.Tell();
        encoder_.reset(FLAC__stream_encoder_new());
        if (!encoder_ || !MakeMetadata())
            return Fault(QStringLiteral("Out of memory"));
        FLAC__StreamEncoder* e = encoder_.get();
        std::array<FLAC__StreamMetadata*, 2> blocks = {commentBlock_.get(), padding_.get()};
        const bool set = FLAC__stream_encoder_set_channels(e, 2) &&
                         FLAC__stream_encoder_set_bits_per_sample(e, 16) &&
                         FLAC__stream_encoder_set_sample_rate(e, 44100) &&
                         FLAC__stream_encoder_set_compression_level(e, kCompressionLevel) &&
                         FLAC__stream_encoder_set_verify(e, true) &&
                         FLAC__stream_encoder_set_total_samples_estimate(e, pcmBytes / 4) &&
                         FLAC__stream_encoder_set_metadata(e, blocks.data(), blocks.size());
        if (!set)
            return StateFault();
        const FLAC__StreamEncoderInitStatus status =
            FLAC__stream_encoder_init_stream(e, WriteTo, SeekTo, TellOf, nullptr, this);
        if (status == FLAC__STREAM_ENCODER_INIT_STATUS_OK)
            return true;
        if (status == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR)
            return StateFault();
        return Fault(QString::fromLatin1(FLAC__StreamEncoderInitStatusString[status]));
    }

    bool Encode(TrackOutput& out, const unsigned char* pcm, std::int32_t sectors) override {
        out_ = &out;
        const auto frames = static_cast<std::size_t>(sectors) * kFramesPerSector;
        samples_.resize(frames * 2);
        for (std::size_t i = 0; i < samples_.size(); ++i)
            samples_[i] = static_cast<std::int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
        if (FLAC__stream_encoder_process_interleaved(encoder_.get(), samples_.data(),
                                                     static_cast<unsigned>(frames)))
            return true;
        return StateFault();
    }

    bool End(TrackOutput& out, std::uint64_t /*pcmBytes*/) override {
        out_ = &out;
        // finish() flushes the last frame, then seeks back to STREAMINFO to
        // state the true sample count and the MD5 of what was encoded.
        const bool finished = FLAC__stream_encoder_finish(encoder_.get());
        if (!WritePending())
            return false;
        return finished || StateFault();
    }

    QString FaultText() const override { return fault_; }

  private:
    static FLAC__StreamEncoderWriteStatus WriteTo(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                  uint32_t, void* self) {
        auto* me = static_cast<FlacEncoder*>(self);
        me->pending_.insert(me->pending_.end(), buffer, buffer + bytes);
        me->position_ += bytes;
        if (me->pending_.size() < kWriteChunk || me->WritePending())
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }

    static FLAC__StreamEncoderSeekStatus SeekTo(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* self) {
        auto* me = static_cast<FlacEncoder*>(self);
        if (me->WritePending() && me->out_->Seek(offset)) {
            me->position_ = offset;
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        }
        me->writeFailed_ = true;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }

    static FLAC__StreamEncoderTellStatus TellOf(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* self) {
        *offset = static_cast<FlacEncoder*>(self)->position_;
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    // Hands the gathered bytes to the output; false when that fails.
    bool WritePending() {
        if (!out_ || (!pending_.empty() && !out_->Write(pending_.data(), pending_.size()))) {
            writeFailed_ = true;
            return false;
        }
        pending_.clear();
        return true;
    }

    bool MakeMetadata() {
        commentBlock_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
        padding_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
        if (!commentBlock_ || !padding_)
            return false;
        padding_->length = kPaddingBytes;
        for (const QString& comment : comments_) {
            QByteArray utf8 = comment.toUtf8();
            FLAC__StreamMetadata_VorbisComment_Entry entry{
                static_cast<FLAC__uint32>(utf8.size()), reinterpret_cast<FLAC__byte*>(utf8.data())};
            if (!FLAC__metadata_object_vorbiscomment_append_comment(commentBlock_.get(), entry,
                                                                    true))
                return false;
        }
        return true;
    }

    // A failed write is the output's failure, which the engine tells from its
    // own record; anything else is the encoder's, told by its state.
    bool StateFault() {
        if (!writeFailed_)
            fault_ =
                QString::fromLatin1(FLAC__stream_encoder_get_resolved_state_string(encoder_.get()));
        return false;
    }
    bool Fault(const QString& text) {
        fault_ = text;
        return false;
    }

    QStringList comments_;
    TrackOutput* out_ = nullptr;
    bool writeFailed_ = false;
    QString fault_;
    std::vector<FLAC__int32> samples_;
    std::vector<unsigned char> pending_; // written by libFLAC, not yet by the output
    std::uint64_t position_ = 0;         // in the file, pending bytes included
    Metadata commentBlock_;
    Metadata padding_;
    // Declared last, so it is deleted first, while its metadata still lives.
    std::unique_ptr<FLAC__StreamEncoder, EncoderDelete> encoder_;
};

} // namespace

std::unique_ptr<TrackEncoder> MakeFlacEncoder(const TrackTags& tags) {
    return std::make_unique<FlacEncoder>(tags);
}

} // namespace ripengine
