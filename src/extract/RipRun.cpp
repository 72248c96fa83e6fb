#include "extract/RipRun.h"

#include "cd/DiscInfo.h"
#include "cd/modAKRip32.h"
#include "extract/RipEngine.h"
#include "extract/TrackEncoders.h"
#include "extract/mVariables.h"
#include "extract/modLAME.h"
#include "extract/modMP3.h"
#include "general/Dialogs.h"
#include "general/modGeneral.h"
#include "tracks/modNames.h"

#include <chrono>
#include <optional>

namespace riprun {

namespace {

using ripengine::Outcome;
using riptrack::RipOutcome;

// Stands in for the encoder when the module could not be loaded: every MP3
// track then tells why, as it would on its own.
class UnloadedEncoder final : public ripengine::TrackEncoder {
public:
    explicit UnloadedEncoder(QString why) : why_(std::move(why)) {}
    QString FaultText() const override { return why_; }
    bool Begin(ripengine::TrackOutput&, std::uint64_t) override { return false; }
    bool Encode(ripengine::TrackOutput&, const unsigned char*, std::int32_t) override { return false; }
    bool End(ripengine::TrackOutput&, std::uint64_t) override { return false; }

private:
    QString why_;
};

QString SourceFileText(const QString& fileName) {
    return QStringLiteral("\"%1\" is one of the files the disc is read from, so it was not written over and "
                          "the track was not extracted. Choose another output folder in Settings.")
        .arg(fileName);
}

QString TooLongForWavText(int track, const QString& fileName) {
    return QStringLiteral("Track %1 is too long for a WAV file (at most 4 GB of audio), so \"%2\" was not "
                          "made. Extract it as MP3 instead.")
        .arg(track)
        .arg(fileName);
}

void Box(Dialogs& dialogs, const QString& text, Dialogs::Icon icon, const QString& title = modGeneral::kAppTitle) {
    dialogs.MsgBox(text, Dialogs::Buttons::Ok, icon, title);
}

}  // namespace

int TrackNumberAt(std::int32_t start) {
    const akrip::TOC& toc = modAKRip32::Drive().DiscTOC;
    const int count = modAKRip32::TrackCount(toc);
    for (int k = 1; k <= count; ++k)
        if (modAKRip32::TrackStart(toc, k) == start)
            return toc.tracks[k - 1].trackNumber;
    return 0;
}

RipOutcome Run(const std::vector<Track>& tracks, const Choices& choices, ProgressHost& host, Dialogs& dialogs,
               std::vector<std::int32_t>* encoded) {
    if (encoded)
        encoded->assign(tracks.size(), 0);
    std::optional<modLAME::LameLibrary> lame;
    QString loadError;
    if (choices.mp3)
        lame = modLAME::LameLibrary::Load(loadError);

    // A WAV track too long for its header is refused before anything is
    // written; it is told when its turn comes.
    std::vector<ripengine::Job> jobs;
    std::vector<int> jobOf(tracks.size(), -1);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const Track& track = tracks[t];
        const auto bytes = std::uint64_t(std::max(0, track.end - track.start)) * akrip::kSectorBytes;
        if (!choices.mp3 && !ripengine::FitsWav(bytes))
            continue;
        jobOf[t] = static_cast<int>(jobs.size());
        jobs.push_back({track.number, track.start, track.end, track.fileName});
    }
    const lame_enc::BE_CONFIG config = choices.config;
    ripengine::EncoderFactory factory = [&](const ripengine::Job&) -> std::unique_ptr<ripengine::TrackEncoder> {
        if (!choices.mp3)
            return ripengine::MakeWavEncoder();
        if (!lame)
            return std::make_unique<UnloadedEncoder>(loadError);
        return ripengine::MakeMp3Encoder(*lame, config);
    };
    const int handle = modAKRip32::Drive().CDHandle;
    ripengine::Options options;
    options.jobs = choices.mp3 ? choices.jobs : 1;
    options.handle = handle;
    options.oneReader = !akrip::IsImageHandle(handle);
    // Cancel ends an MP3 track after its block; a WAV track runs to its end.
    options.stopCurrent = [mp3 = choices.mp3] {
        return (mp3 && mVariables::CancelRequested) || mVariables::StopRequested;
    };
    options.afterBlock = choices.afterBlock;
    ripengine::RipEngine engine(std::move(jobs), std::move(factory), options);
    engine.Start();

    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const Track& track = tracks[t];
        const int index = jobOf[t];
        if (index < 0) {
            Box(dialogs, TooLongForWavText(track.number, track.fileName), Dialogs::Icon::Exclamation);
            continue;
        }
        mVariables::CancelRequested = false;
        const std::unique_ptr<ProgressWindow> progress = host.ShowProgress();
        const QString status = riptrack::StatusText(track.fileName);
        const auto total = static_cast<float>(std::max(0, track.end - track.start));
        // The window is brought up to date about once a screen frame, not
        // once a block: the jobs never wait for it.
        std::int32_t seen = 0;
        for (;;) {
            const bool ended = engine.WaitEnded(index, std::chrono::milliseconds(16));
            const std::int32_t done = engine.Status(index).sectorsDone;
            const bool block = done > seen;
            if (block) {
                seen = done;
                progress->ChangeProgress(status, static_cast<float>(seen), total);
            }
            // A track that ended ahead still has its moment on screen, and a
            // Cancel then stops the run after it.
            if (ended && !block)
                break;
            host.DoEvents();
            if (ended)
                break;
            if ((choices.mp3 && mVariables::CancelRequested) || mVariables::StopRequested)
                engine.StopAfterBlock(index);
        }

        const ripengine::JobStatus st = engine.Status(index);
        if (encoded)
            (*encoded)[t] = st.sectorsDone;
        bool stopRun = false;
        int landError = 0;
        if (st.hasFile && !engine.Land(index, landError)) {
            Box(dialogs, riptrack::CannotWriteText(track.fileName, landError), Dialogs::Icon::Critical);
            stopRun = true;
        }
        switch (st.outcome) {
        case Outcome::ReadFailed:
            Box(dialogs, riptrack::ReadFailedText(track.number, track.fileName, st.failedSector, st.readError),
                Dialogs::Icon::None);
            break;
        case Outcome::EncoderFailed:
            Box(dialogs, st.faultText, Dialogs::Icon::Critical, modMP3::kFaultTitle);
            break;
        case Outcome::SourceFile: Box(dialogs, SourceFileText(track.fileName), Dialogs::Icon::Exclamation); break;
        case Outcome::CreateFailed:
            // A folder that takes no file takes none of the later ones either:
            // one message, and the run ends.
            Box(dialogs, riptrack::CannotCreateText(track.fileName, st.systemError), Dialogs::Icon::Exclamation);
            stopRun = true;
            break;
        case Outcome::WriteFailed:
            Box(dialogs, riptrack::CannotWriteText(track.fileName, st.systemError), Dialogs::Icon::Critical);
            stopRun = true;
            break;
        default: break;
        }
        if (stopRun || mVariables::CancelRequested || mVariables::StopRequested) {
            engine.DropAfter(index);
            return stopRun ? RipOutcome::StopRun : RipOutcome::Continue;
        }
    }
    return RipOutcome::Continue;
}

}  // namespace riprun
