// Start-up to a filled track list on a 99-track disc image: the main window's
// whole load routine (settings file, drive list, open, table of contents,
// list fill), next to the floor under it, libcdio opening the same image and
// reading its table by itself. Runs on the offscreen platform.

#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "cd/modAKRip32.h"
#include "general/modGeneral.h"
#include "settings/modSettings.h"
#include "shell/Dorvane.h"
#include "tracks/TrackListBox.h"

#include <cdio/cdio.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kRounds = 7;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const testsupport::TempFolder folder;
    const std::string cue =
        testsupport::MakeImage(folder, "disc99", std::vector<std::int32_t>(99, 750)); // 10 s each
    const testsupport::ScopedDiscImages images({cue});
    modGeneral::SetAppFolderForTesting(folder.qpath());
    modSettings::WriteSetting(modSettings::kSection, modSettings::kDrive,
                              QStringLiteral("IMAGE disc99.cue"));

    // Start-up asks nothing when a drive is saved.
    ScriptedDialogs dialogs;
    std::vector<double> startup;
    int listed = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        Dorvane window(dialogs);
        listed = window.TrackList->Count();
        startup.push_back(Seconds(start));
        modAKRip32::CloseCD(); // each round starts, like the program, with no drive open
    }

    std::vector<double> floor;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        CdIo_t* cdio = cdio_open(cue.c_str(), DRIVER_UNKNOWN);
        const track_t tracks = cdio ? cdio_get_num_tracks(cdio) : 0;
        for (track_t t = 1; t <= tracks; ++t)
            cdio_get_track_lsn(cdio, t);
        if (cdio)
            cdio_destroy(cdio);
        floor.push_back(Seconds(start));
    }

    std::sort(startup.begin(), startup.end());
    std::sort(floor.begin(), floor.end());
    std::printf("bench_startup: 99-track image, median of %d rounds\n", kRounds);
    std::printf("  %-44s %9.2f ms  (%d tracks listed)\n", "main window created, list filled",
                startup[kRounds / 2] * 1e3, listed);
    std::printf("  %-44s %9.2f ms\n", "libcdio alone: open image, read its table",
                floor[kRounds / 2] * 1e3);
    return listed == 99 && dialogs.boxes.empty() ? 0 : 1;
}
