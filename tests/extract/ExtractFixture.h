#pragma once
// Shared by the extraction tests: a disc image opened as the program's drive
// (its audio known sector by sector through discmaker), a progress host that
// records what the extractors show, and file helpers.
//
// The CD layer's seam (akrip32_testing.h) makes chosen sectors fail to read;
// FakeProgress::onEvents runs at each "let pending events run", which is
// where a person's Cancel or the closing of the main window arrives.

#include "DiscMaker.h"
#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "cd/akrip32_testing.h"
#include "cd/modAKRip32.h"
#include "extract/ExtractUi.h"
#include "extract/clsFileIo.h"
#include "extract/mVariables.h"

#include <fstream>
#include <functional>
#include <iterator>

namespace extracttest {

struct FakeProgress : ProgressHost {
    std::vector<std::pair<QString, float>> updates;  // status and sectors done
    int shown = 0, open = 0;
    std::function<void()> onEvents;

    struct Window : ProgressWindow {
        FakeProgress& host;
        explicit Window(FakeProgress& h) : host(h) { ++host.shown, ++host.open; }
        ~Window() override { --host.open; }
        void ChangeProgress(const QString& s, float cur, float) override { host.updates.emplace_back(s, cur); }
    };
    std::unique_ptr<ProgressWindow> ShowProgress() override { return std::make_unique<Window>(*this); }
    void DoEvents() override {
        if (onEvents)
            onEvents();
    }
    std::vector<float> done() const {
        std::vector<float> cur;
        for (const auto& u : updates)
            cur.push_back(u.second);
        return cur;
    }
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string WavHeader(std::int32_t bytes) {
    unsigned char h[clsFileIo::kWavHeaderBytes];
    clsFileIo::BuildWavHeader(bytes, h);
    return {reinterpret_cast<const char*>(h), sizeof h};
}

// A disc of the given track lengths, open as the program's drive, with a
// folder for output files; flags and read faults are reset around it.
struct OpenDisc {
    testsupport::TempFolder folder;
    discmaker::DiscPlan plan;
    testsupport::ScopedDiscImages images;
    ScriptedDialogs dialogs;
    FakeProgress progress;

    explicit OpenDisc(std::vector<std::int32_t> lengths)
        : plan{std::move(lengths), 7, false}, images({discmaker::WriteCueBin(folder.path(), "disc", plan)}) {
        Reset();
        modAKRip32::Drive() = {};
        if (!modAKRip32::OpenCD(static_cast<int>(modAKRip32::DriveListTexts().indexOf(QStringLiteral("IMAGE disc.cue")))))
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
        std::string bytes(static_cast<std::size_t>(to - from) * discmaker::kSectorBytes, '\0');
        auto* at = reinterpret_cast<unsigned char*>(bytes.data());
        for (std::int32_t s = from; s < to; ++s, at += discmaker::kSectorBytes)
            discmaker::FillSector(plan, s, at);
        return bytes;
    }
    std::string Wav(std::int32_t from, std::int32_t to) const {
        return WavHeader((to - from) * discmaker::kSectorBytes) + Audio(from, to);
    }
    QString Out(const std::string& name) const { return QString::fromStdString(folder.file(name)); }
};

}  // namespace extracttest
