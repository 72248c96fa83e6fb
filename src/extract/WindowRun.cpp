#include "extract/WindowRun.h"

#include "cd/modAKRip32.h"
#include "engine/StopSignals.h"
#include "extract/mVariables.h"
#include "general/Dialogs.h"
#include "output/Mp3Encoder.h"
#include "output/WavEncoder.h"
#include "output/clsFileIo.h"
#include "output/modLAME.h"
#include "tracks/modNames.h"

#include <optional>

namespace windowrun {

namespace {

// Stands in for the encoder when the module could not be loaded: every MP3
// track then tells why, as it would on its own.
class UnloadedEncoder final : public ripengine::TrackEncoder {
  public:
    explicit UnloadedEncoder(QString why) : why_(std::move(why)) {}
    QString FaultText() const override { return why_; }
    bool Begin(ripengine::TrackOutput&, std::uint64_t) override { return false; }
    bool Encode(ripengine::TrackOutput&, const unsigned char*, std::int32_t) override {
        return false;
    }
    bool End(ripengine::TrackOutput&, std::uint64_t) override { return false; }

  private:
    QString why_;
};

class WindowFace final : public trackrun::Face {
  public:
    WindowFace(const std::vector<Track>& tracks, bool mp3, ProgressHost& host, Dialogs& dialogs)
        : tracks_(tracks), mp3_(mp3), host_(host), dialogs_(dialogs) {}

    void TrackStarted(std::size_t index) override {
        mVariables::CancelRequested = false;
        progress_.reset();
        progress_ = host_.ShowProgress();
        status_ =
            QStringLiteral("Extracting: ") + modNames::FileNameFromPath(tracks_[index].fileName);
    }
    void Progress(std::size_t index, const ripengine::JobStatus& status) override {
        const Track& track = tracks_[index];
        progress_->ChangeProgress(status_, static_cast<float>(status.sectorsDone),
                                  static_cast<float>(std::max(0, track.end - track.start)));
    }
    void Idle() override { host_.DoEvents(); }
    // Cancel ends an MP3 track after its block; a WAV track runs to its end.
    bool StopCurrent() const override {
        return (mp3_ && mVariables::CancelRequested) || mVariables::StopRequested ||
               stopsignals::Received() != 0;
    }
    bool StopAfterTrack() const override {
        return mVariables::CancelRequested || mVariables::StopRequested ||
               stopsignals::Received() != 0;
    }
    // The progress window stays up over the track's box, and goes when the
    // next track starts or the run ends.
    void TrackEnded(std::size_t, const ripengine::JobStatus&, bool) override {}
    void Tell(std::size_t, trackrun::Fault fault, const trackrun::TrackMessage& message) override {
        if (fault == trackrun::Fault::TooLongForWav)
            progress_.reset();
        if (!message.text.isEmpty())
            dialogs_.MsgBox(message.text, Dialogs::Buttons::Ok, message.icon, message.title);
    }

  private:
    const std::vector<Track>& tracks_;
    bool mp3_;
    ProgressHost& host_;
    Dialogs& dialogs_;
    std::unique_ptr<ProgressWindow> progress_;
    QString status_;
};

} // namespace

int TrackNumberAt(std::int32_t start) {
    const akrip::TOC& toc = modAKRip32::Drive().DiscTOC;
    const int count = modAKRip32::TrackCount(toc);
    for (int k = 1; k <= count; ++k)
        if (modAKRip32::TrackStart(toc, k) == start)
            return toc.tracks[k - 1].trackNumber;
    return 0;
}

RipOutcome Run(const std::vector<Track>& tracks, const Choices& choices, ProgressHost& host,
               Dialogs& dialogs, std::vector<std::int32_t>* encoded) {
    std::optional<modLAME::LameLibrary> lame;
    QString loadError;
    if (choices.mp3)
        lame = modLAME::LameLibrary::Load(loadError);
    const lame_enc::BE_CONFIG config = choices.config;
    // Rendered here, once: the factory runs on the engine's threads.
    std::map<int, QByteArray> id3;
    if (choices.mp3)
        for (const auto& [number, tags] : choices.tags)
            id3[number] = ripengine::Id3v24Tag(tags);
    const ripengine::EncoderFactory factory =
        [&](const ripengine::Job& job) -> std::unique_ptr<ripengine::TrackEncoder> {
        if (!choices.mp3)
            return ripengine::MakeWavEncoder();
        if (!lame)
            return std::make_unique<UnloadedEncoder>(loadError);
        const auto tag = id3.find(job.track);
        return ripengine::MakeMp3Encoder(*lame, config,
                                         tag == id3.end() ? QByteArray() : tag->second);
    };
    trackrun::Options options;
    options.jobs = choices.mp3 ? choices.jobs : 1;
    if (!choices.mp3)
        options.maxPcmBytes = clsFileIo::kMaxWavAudioBytes;
    options.afterBlock = choices.afterBlock;
    WindowFace face(tracks, choices.mp3, host, dialogs);
    const trackrun::Result result = trackrun::Run(tracks, factory, options, face);
    if (encoded) {
        encoded->clear();
        for (const ripengine::JobStatus& status : result.statuses)
            encoded->push_back(status.sectorsDone);
    }
    return result.ended ? RipOutcome::StopRun : RipOutcome::Continue;
}

} // namespace windowrun
