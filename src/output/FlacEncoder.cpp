#include "output/FlacEncoder.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <QCryptographicHash>

#include <algorithm>
#include <array>
#include <span>
#include <vector>

namespace ripengine {
namespace {

constexpr unsigned kCompressionLevel = 5;
constexpr unsigned kPaddingBytes = 4096; // room to edit the tags without rewriting the file
constexpr int kFramesPerSector = 588;
// libFLAC writes each frame (a few kB) on its own and asks where it is after
// each; gathering them saves two system calls a frame. The audio of gathered
// frames is kept until they are written, and a frame of silence is a few
// bytes, so their samples are bounded too.
constexpr std::size_t kWriteChunk = 256 * 1024;
constexpr std::uint64_t kMaxGatheredSamples = 256 * 1024;
// STREAMINFO, the first block: "fLaC", the block's 4-byte header, then its
// 34 bytes, of which the total samples (36 bits) end at byte 17 and the MD5
// of the audio fills 18 to 33.
constexpr std::size_t kStreamInfoAt = 8;
constexpr std::size_t kStreamInfoBytes = 34;
// The seek table comes next, its points after the block's header; a point is
// its first sample (8 bytes), its frame's offset from the first frame (8) and
// the frame's samples (2), big-endian.
constexpr std::size_t kSeekPointsAt = kStreamInfoAt + kStreamInfoBytes + 4;
constexpr std::size_t kSeekPointBytes = 18;
constexpr unsigned kSeekSpacing = 10 * 44100; // samples, as `flac` spaces them

struct EncoderDelete {
    void operator()(FLAC__StreamEncoder* e) const noexcept { FLAC__stream_encoder_delete(e); }
};
struct MetadataDelete {
    void operator()(FLAC__StreamMetadata* m) const noexcept { FLAC__metadata_object_delete(m); }
};
using Metadata = std::unique_ptr<FLAC__StreamMetadata, MetadataDelete>;

class FlacEncoder final : public TrackEncoder {
  public:
    explicit FlacEncoder(const TrackTags& tags)
        : comments_(VorbisComments(tags)), cover_(tags.cover), coverMime_(tags.coverMime) {}

    ~FlacEncoder() override {
        // Deleting an unfinished encoder finishes it, which would write: a
        // dropped track's output may be gone by now, so nothing reaches it.
        out_ = nullptr;
        encoder_.reset();
    }

    bool Begin(TrackOutput& out, std::uint64_t pcmBytes) override {
        out_ = &out;
        start_ = position_ = framesEnd_ = out.Tell();
        encoder_.reset(FLAC__stream_encoder_new());
        if (!encoder_ || !MakeMetadata(pcmBytes / 4))
            return Fault(QStringLiteral("Out of memory"));
        FLAC__StreamEncoder* e = encoder_.get();
        // In the flac command's order; libFLAC fills the seek table's points
        // as the frames go by, and writes it again at the end.
        std::vector<FLAC__StreamMetadata*> blocks = {seekTable_.get(), commentBlock_.get()};
        if (picture_)
            blocks.push_back(picture_.get());
        blocks.push_back(padding_.get());
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
        if (status == FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            // libFLAC wrote the metadata during init. It goes out at once, so
            // a file that gets that far is a FLAC file, if of no audio.
            if (pending_.size() >= kStreamInfoAt + kStreamInfoBytes)
                std::copy_n(pending_.begin() + kStreamInfoAt, kStreamInfoBytes,
                            streamInfo_.begin());
            framesStart_ = position_;
            return WritePending();
        }
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
        // CD audio's bytes are what the MD5 of 16-bit stereo is taken over.
        unhashed_.insert(unhashed_.end(), pcm, pcm + frames * 4);
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
        if (!WritePending() || writeFailed_)
            return KeepWholeFrames();
        if (!finished)
            return StateFault();
        // A track that ended early leaves points no frame reached.
        return SettleSeekTable(false);
    }

    QString FaultText() const override { return fault_; }

  private:
    // Called once for each frame, and for pieces of metadata (no samples).
    static FLAC__StreamEncoderWriteStatus WriteTo(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes,
                                                  uint32_t samples, uint32_t, void* self) {
        auto* me = static_cast<FlacEncoder*>(self);
        me->pending_.insert(me->pending_.end(), buffer, buffer + bytes);
        me->pendingSamples_ += samples;
        me->position_ += bytes;
        if ((me->pending_.size() < kWriteChunk && me->pendingSamples_ < kMaxGatheredSamples) ||
            me->WritePending())
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

    // Hands the gathered bytes (whole frames, or metadata) to the output;
    // false when that fails. The audio of frames written goes into the MD5 of
    // what the file holds. After a failure nothing more is written, so the
    // file ends with the last frame the output took.
    bool WritePending() {
        if (writeFailed_ || !out_ ||
            (!pending_.empty() && !out_->Write(pending_.data(), pending_.size()))) {
            writeFailed_ = true;
            pending_.clear();
            pendingSamples_ = 0;
            return false;
        }
        pending_.clear();
        framesEnd_ = std::max(framesEnd_, position_);
        const std::size_t bytes = pendingSamples_ * 4;
        if (bytes > 0) {
            md5_.addData(QByteArrayView(unhashed_.data() + hashed_, static_cast<qsizetype>(bytes)));
            hashed_ += bytes;
            samplesWritten_ += pendingSamples_;
            pendingSamples_ = 0;
        }
        if (hashed_ >= unhashed_.size() / 2) {
            unhashed_.erase(unhashed_.begin(),
                            unhashed_.begin() + static_cast<std::ptrdiff_t>(hashed_));
            hashed_ = 0;
        }
        return true;
    }

    // Once a write has failed libFLAC leaves STREAMINFO as it was first
    // written, claiming the whole track. The file is cut after the last frame
    // the output took whole (what the failed write left of the next goes),
    // and STREAMINFO is made to state exactly their samples and MD5. False
    // always: the track did fail.
    bool KeepWholeFrames() {
        std::array<unsigned char, kStreamInfoBytes> info = streamInfo_;
        const std::uint64_t n = samplesWritten_;
        info[13] = static_cast<unsigned char>((info[13] & 0xF0) | ((n >> 32) & 0x0F));
        for (int i = 0; i < 4; ++i)
            info[14 + i] = static_cast<unsigned char>(n >> (24 - 8 * i));
        const QByteArray md5 = md5_.result();
        std::copy_n(md5.constData(), 16, info.begin() + 18);
        pending_.clear();
        if (out_ && out_->Truncate(framesEnd_) && framesEnd_ > start_ &&
            out_->Seek(start_ + kStreamInfoAt) && out_->Write(info.data(), info.size()) &&
            (framesEnd_ < framesStart_ || SettleSeekTable(true)))
            out_->Seek(framesEnd_);
        return false;
    }

    // Points whose frame the file does not hold whole (past the audio of a
    // track that ended early, or lost to a failed write) become placeholders,
    // which readers skip, and the table is written again where it stands:
    // when a point changed, or always after a failed write, which may have
    // kept libFLAC from writing it. Those are the last points, so the table
    // stays in order.
    bool SettleSeekTable(bool always) {
        FLAC__StreamMetadata_SeekTable& table = seekTable_->data.seek_table;
        bool settled = true;
        for (FLAC__StreamMetadata_SeekPoint& point : std::span(table.points, table.num_points)) {
            if (point.sample_number != FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER &&
                (point.frame_samples == 0 ||
                 point.sample_number + point.frame_samples > samplesWritten_)) {
                point = {FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER, 0, 0};
                settled = false;
            }
        }
        if (settled && !always)
            return true;
        std::vector<unsigned char> bytes;
        bytes.reserve(table.num_points * kSeekPointBytes);
        for (const FLAC__StreamMetadata_SeekPoint& point :
             std::span(table.points, table.num_points)) {
            for (int shift = 56; shift >= 0; shift -= 8)
                bytes.push_back(static_cast<unsigned char>(point.sample_number >> shift));
            for (int shift = 56; shift >= 0; shift -= 8)
                bytes.push_back(static_cast<unsigned char>(point.stream_offset >> shift));
            bytes.push_back(static_cast<unsigned char>(point.frame_samples >> 8));
            bytes.push_back(static_cast<unsigned char>(point.frame_samples));
        }
        return out_->Seek(start_ + kSeekPointsAt) && out_->Write(bytes.data(), bytes.size()) &&
               out_->Seek(framesEnd_);
    }

    bool MakeMetadata(std::uint64_t samples) {
        seekTable_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
        commentBlock_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
        padding_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
        if (!seekTable_ || !commentBlock_ || !padding_ ||
            !FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                seekTable_.get(), kSeekSpacing, samples) ||
            !FLAC__metadata_object_seektable_template_sort(seekTable_.get(), true))
            return false;
        padding_->length = kPaddingBytes;
        if (!cover_.isEmpty()) {
            // The front cover, after the comments as the flac command puts it.
            picture_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE));
            QByteArray mime = coverMime_.toLatin1();
            if (!picture_ ||
                !FLAC__metadata_object_picture_set_mime_type(picture_.get(), mime.data(), true) ||
                !FLAC__metadata_object_picture_set_data(
                    picture_.get(), reinterpret_cast<FLAC__byte*>(cover_.data()),
                    static_cast<FLAC__uint32>(cover_.size()), true))
                return false;
            picture_->data.picture.type = FLAC__STREAM_METADATA_PICTURE_TYPE_FRONT_COVER;
        }
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
    QByteArray cover_;
    QString coverMime_;
    Metadata picture_;
    TrackOutput* out_ = nullptr;
    bool writeFailed_ = false;
    QString fault_;
    std::vector<FLAC__int32> samples_;
    std::vector<unsigned char> pending_; // written by libFLAC, not yet by the output
    std::uint64_t pendingSamples_ = 0;   // in the frames pending holds
    std::uint64_t start_ = 0;            // where the file begins in the output
    std::uint64_t framesStart_ = 0;      // where its first frame does
    std::uint64_t position_ = 0;         // in the file, pending bytes included
    std::uint64_t framesEnd_ = 0;        // the end of the last write the output took
    std::uint64_t samplesWritten_ = 0;   // in the frames the output took
    std::array<unsigned char, kStreamInfoBytes> streamInfo_{};
    // The audio given to libFLAC from the first sample not in a written frame
    // on (those before hashed_ are hashed already).
    std::vector<unsigned char> unhashed_;
    std::size_t hashed_ = 0;
    QCryptographicHash md5_{QCryptographicHash::Md5};
    Metadata seekTable_;
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
