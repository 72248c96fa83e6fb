#pragma once
// A disc image opened as the program's drive, its audio known sector by
// sector, and a progress host that records what the extractors show. onEvents
// runs where they let pending events run: where a Cancel or a close arrives.

#include "DiscMaker.h"
#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "cd/akrip32_testing.h"
#include "cd/modAKRip32.h"
#include "extract/ExtractUi.h"
#include "extract/WindowRun.h"
#include "extract/mVariables.h"

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/resource.h>

namespace extracttest {

struct FakeProgress : ProgressHost {
    QStringList statuses;
    std::vector<float> done; // sectors done, at each update
    int shown = 0, open = 0;
    std::function<void()> onEvents = [] {};

    struct Window : ProgressWindow {
        FakeProgress& host;
        explicit Window(FakeProgress& h) : host(h) { ++host.shown, ++host.open; }
        ~Window() override { --host.open; }
        void ChangeProgress(const QString& s, float n, float) override {
            host.statuses << s, host.done.push_back(n);
        }
    };
    std::unique_ptr<ProgressWindow> ShowProgress() override {
        return std::make_unique<Window>(*this);
    }
    void DoEvents() override { onEvents(); }
};

// Writes past `bytes` fail with EFBIG while it lives, as on a full disk.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};

using testsupport::ReadAll;

// A disc of these track lengths (track 0 at sector 0), open, with an output folder.
struct OpenDisc {
    testsupport::TempFolder folder;
    discmaker::DiscPlan plan;
    testsupport::ScopedDiscImages images;
    ScriptedDialogs dialogs;
    FakeProgress progress;

    explicit OpenDisc(std::vector<std::int32_t> lengths)
        : plan{std::move(lengths), 7, false},
          images({discmaker::WriteCueBin(folder.path(), "disc", plan)}) {
        Reset();
        if (!modAKRip32::OpenCD(
                int(modAKRip32::DriveListTexts().indexOf(QStringLiteral("IMAGE disc.cue")))))
            throw std::runtime_error("cannot open the test disc");
    }
    ~OpenDisc() { Reset(); }
    static void Reset() {
        akrip::testing::CloseAllHandles();
        akrip::testing::ClearReadFailures();
        mVariables::CancelRequested = mVariables::StopRequested = mVariables::RunInProgress = false;
    }
    std::int32_t Start(int track) const { return discmaker::TrackStart(plan, track); }
    // The disc's bytes of sectors [from, to), and as a WAV file.
    std::string Audio(std::int32_t from, std::int32_t to) const {
        std::string bytes(std::size_t(to - from) * 2352, '\0');
        for (std::int32_t s = from; s < to; ++s)
            discmaker::FillSector(
                plan, s, reinterpret_cast<unsigned char*>(&bytes[std::size_t(s - from) * 2352]));
        return bytes;
    }
    // The 44-byte header is spelt out, so that it is checked.
    std::string Wav(int from, int to) const {
        std::string h(
            "RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data....",
            44);
        const std::int32_t bytes = (to - from) * 2352;
        for (std::size_t i = 0; i < 4; ++i)
            h[4 + i] = char((bytes + 36) >> 8 * i), h[40 + i] = char(bytes >> 8 * i);
        return h + Audio(from, to);
    }
    QString Out(const std::string& name) const { return QString::fromStdString(folder.file(name)); }
    // Every track of the disc, track n into <prefix>n<extension>; and the bytes of their files.
    std::vector<windowrun::Track> Tracks(const std::string& prefix, const char* extension) const {
        std::vector<windowrun::Track> tracks;
        for (int i = 0; i < int(plan.trackSectors.size()); ++i)
            tracks.push_back(
                {i + 1, Start(i), Start(i + 1), Out(prefix + std::to_string(i + 1) + extension)});
        return tracks;
    }
    static std::vector<std::string> Files(const std::vector<windowrun::Track>& tracks) {
        std::vector<std::string> files;
        for (const auto& track : tracks)
            files.push_back(ReadAll(track.fileName.toStdString()));
        return files;
    }
};

} // namespace extracttest
