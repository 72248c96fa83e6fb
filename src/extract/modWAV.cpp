#include "extract/modWAV.h"

#include "cd/modAKRip32.h"
#include "extract/clsFileIo.h"
#include "extract/mVariables.h"
#include "general/Dialogs.h"
#include "general/modGeneral.h"

#include <algorithm>
#include <limits>

namespace modWAV {

using riptrack::RipOutcome;

RipOutcome RipTrackWav(const QString& FileName, const std::int32_t StartLba, const std::int32_t EndLba,
                       ProgressHost& host, Dialogs& dialogs) {
    mVariables::CancelRequested = false;
    const std::unique_ptr<ProgressWindow> progress = host.ShowProgress();
    riptrack::ReadBlock block;

    // A table of contents never gives an end before the start; if it did,
    // the track is taken as empty rather than read backwards.
    const std::int32_t total = std::max(0, EndLba - StartLba);
    const std::int64_t plannedBytes = std::int64_t{total} * akrip::kSectorBytes;
    // The header's sizes are 32-bit; no CD track comes near the limit.
    const auto headerBytes = [](std::int64_t bytes) {
        return static_cast<std::int32_t>(std::min<std::int64_t>(bytes, std::numeric_limits<std::int32_t>::max() - 36));
    };

    clsFileIo file;
    if (!file.OpenFile(FileName)) {
        dialogs.MsgBox(riptrack::CannotCreateText(FileName, file.LastError()), Dialogs::Buttons::Ok,
                       Dialogs::Icon::Exclamation, modGeneral::kAppTitle);
        return RipOutcome::Continue;
    }
    // The header goes first with the whole track's length, so a file cut
    // short by a crash still opens; it is corrected below if the audio ends
    // up shorter.
    bool writeFailed = !file.writeWavHeader(headerBytes(plannedBytes));
    int writeError = file.LastError();
    std::int64_t written = 0;

    std::int32_t left = total;
    std::int32_t current = StartLba;
    while (left != 0 && !writeFailed) {
        const std::int32_t n = std::min(riptrack::kSectorsPerBlock, left);
        if (!block.Read(current, n)) {
            dialogs.MsgBox(modAKRip32::CDErrorText(), Dialogs::Buttons::Ok, Dialogs::Icon::None,
                           modGeneral::kAppTitle);
            break;
        }
        const std::int32_t bytes = n * akrip::kSectorBytes;
        if (!file.WriteBytes(block.Audio(), bytes)) {
            written += file.BytesTransferred();
            writeFailed = true;
            writeError = file.LastError();
            break;
        }
        written += bytes;
        current += n;
        left -= n;
        progress->ChangeProgress(riptrack::StatusText(FileName), static_cast<float>(total - left),
                                 static_cast<float>(total));
        host.DoEvents();
        if (mVariables::StopRequested)
            break;
    }

    if (written != plannedBytes) {
        // Whole sample frames only: a partial one would be noise.
        file.UpdateWavHeader(headerBytes(written - written % 4));
    }
    file.CloseFile();
    if (writeFailed) {
        dialogs.MsgBox(riptrack::CannotWriteText(FileName, writeError), Dialogs::Buttons::Ok,
                       Dialogs::Icon::Critical, modGeneral::kAppTitle);
        return RipOutcome::StopRun;
    }
    return RipOutcome::Continue;
}

}  // namespace modWAV
