#include "extract/modWAV.h"

#include "extract/RipRun.h"

namespace modWAV {

riptrack::RipOutcome RipTrackWav(const QString& FileName, const std::int32_t StartLba, const std::int32_t EndLba,
                                 ProgressHost& host, Dialogs& dialogs) {
    return riprun::Run({{riprun::TrackNumberAt(StartLba), StartLba, EndLba, FileName}}, {}, host, dialogs);
}

}  // namespace modWAV
