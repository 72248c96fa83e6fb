#include "extract/modMP3.h"

#include "cd/modAKRip32.h"
#include "extract/clsFileIo.h"
#include "extract/mVariables.h"
#include "extract/modLAME.h"
#include "general/Dialogs.h"
#include "general/modGeneral.h"

#include <algorithm>
#include <vector>

namespace modMP3 {

using riptrack::RipOutcome;

namespace {

constexpr std::uint32_t kSamplesPerSector = akrip::kSectorBytes / 2;  // 1176, both channels

// Closes the encoder stream however the track ends.
struct OpenStream {
    const modLAME::LameLibrary& lame;
    lame_enc::HBE_STREAM handle;
    ~OpenStream() { lame.beCloseStream(handle); }
};

struct Result {
    RipOutcome outcome = RipOutcome::Continue;
    QString fault;  // the description for the fault box; empty when none
};

// Everything that holds something for the track lives in here, so that it
// is all released before the fault box is shown.
Result Encode(const QString& FileName, std::int32_t& StartLba, const std::int32_t EndLba,
              const lame_enc::BE_CONFIG& Config, ProgressHost& host, Dialogs& dialogs,
              ProgressWindow& progress) {
    QString loadError;
    const std::optional<modLAME::LameLibrary> lame = modLAME::LameLibrary::Load(loadError);
    if (!lame)
        return {RipOutcome::Continue, loadError};

    lame_enc::BE_CONFIG config = Config;
    std::uint32_t samples = 0;
    std::uint32_t outputSize = 0;
    lame_enc::HBE_STREAM handle = 0;
    const std::uint32_t code = lame->beInitStream(&config, &samples, &outputSize, &handle);
    if (code != lame_enc::BE_ERR_SUCCESSFUL)
        return {RipOutcome::Continue, modLAME::LameErrorText(code)};
    const OpenStream stream{*lame, handle};

    clsFileIo file;
    if (!file.OpenFile(FileName))
        return {RipOutcome::Continue, riptrack::CannotCreateText(FileName, file.LastError())};

    riptrack::ReadBlock block;
    std::vector<std::uint8_t> output(outputSize);
    const auto write = [&](std::uint32_t bytes) {
        return bytes == 0 || file.WriteBytes(output.data(), static_cast<std::int32_t>(bytes));
    };

    const std::int32_t total = std::max(0, EndLba - StartLba);
    std::int32_t remaining = total;
    std::int32_t blockSize = riptrack::kSectorsPerBlock;
    bool writeFailed = false;
    while (remaining != 0 && !writeFailed) {
        blockSize = std::min(blockSize, remaining);
        if (!block.Read(StartLba, blockSize)) {
            dialogs.MsgBox(modAKRip32::CDErrorText(), Dialogs::Buttons::Ok, Dialogs::Icon::None,
                           modGeneral::kAppTitle);
            break;
        }
        for (std::int32_t i = 0; i < blockSize && !writeFailed; ++i) {
            const auto* pcm = reinterpret_cast<const std::int16_t*>(block.Audio() + i * akrip::kSectorBytes);
            std::uint32_t bytes = 0;
            lame->beEncodeChunk(handle, kSamplesPerSector, pcm, output.data(), &bytes);
            writeFailed = !write(bytes);
        }
        writeFailed = writeFailed || !file.FlushBuffers();
        if (writeFailed)
            break;
        StartLba += blockSize;
        remaining -= blockSize;
        if (mVariables::CancelRequested || mVariables::StopRequested)
            break;
        progress.ChangeProgress(riptrack::StatusText(FileName), static_cast<float>(total - remaining),
                                static_cast<float>(total));
        host.DoEvents();
        if (mVariables::StopRequested)
            break;
    }
    if (!writeFailed) {
        std::uint32_t bytes = 0;
        lame->beDeinitStream(handle, output.data(), &bytes);
        writeFailed = !write(bytes) || (bytes > 0 && !file.FlushBuffers());
    }
    const int error = file.LastError();
    file.CloseFile();
    if (writeFailed)
        return {RipOutcome::StopRun, riptrack::CannotWriteText(FileName, error)};
    return {};
}

}  // namespace

RipOutcome RipTrackMp3(const QString& FileName, std::int32_t& StartLba, const std::int32_t& EndLba,
                       const lame_enc::BE_CONFIG& Config, ProgressHost& host, Dialogs& dialogs) {
    mVariables::CancelRequested = false;
    const std::unique_ptr<ProgressWindow> progress = host.ShowProgress();
    const Result result = Encode(FileName, StartLba, EndLba, Config, host, dialogs, *progress);
    if (!result.fault.isEmpty())
        dialogs.MsgBox(result.fault, Dialogs::Buttons::Ok, Dialogs::Icon::Critical, kFaultTitle);
    return result.outcome;
}

}  // namespace modMP3
