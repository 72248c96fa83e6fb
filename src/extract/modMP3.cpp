#include "extract/modMP3.h"

#include "extract/WindowRun.h"

namespace modMP3 {

windowrun::RipOutcome RipTrackMp3(const QString& FileName, std::int32_t& StartLba,
                                  const std::int32_t& EndLba, const lame_enc::BE_CONFIG& Config,
                                  ProgressHost& host, Dialogs& dialogs) {
    std::vector<std::int32_t> encoded;
    const windowrun::RipOutcome outcome =
        windowrun::Run({{windowrun::TrackNumberAt(StartLba), StartLba, EndLba, FileName}},
                       {true, Config, 1}, host, dialogs, &encoded);
    StartLba += encoded.front();
    return outcome;
}

} // namespace modMP3
