#include "extract/modMP3.h"

#include "extract/RipRun.h"

namespace modMP3 {

riptrack::RipOutcome RipTrackMp3(const QString& FileName, std::int32_t& StartLba, const std::int32_t& EndLba,
                                 const lame_enc::BE_CONFIG& Config, ProgressHost& host, Dialogs& dialogs) {
    std::vector<std::int32_t> encoded;
    const riptrack::RipOutcome outcome = riprun::Run({{riprun::TrackNumberAt(StartLba), StartLba, EndLba, FileName}},
                                                     {true, Config, 1}, host, dialogs, &encoded);
    StartLba += encoded.front();
    return outcome;
}

}  // namespace modMP3
