#include "extract/modWAV.h"

#include "extract/WindowRun.h"

namespace modWAV {

windowrun::RipOutcome RipTrackWav(const QString& FileName, const std::int32_t StartLba,
                                  const std::int32_t EndLba, ProgressHost& host, Dialogs& dialogs) {
    return windowrun::Run({{windowrun::TrackNumberAt(StartLba), StartLba, EndLba, FileName}}, {},
                          host, dialogs);
}

} // namespace modWAV
