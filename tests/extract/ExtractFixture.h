#pragma once
// Shared by the extraction tests: a disc image opened as the program's drive
// (its audio known sector by sector through discmaker), a progress host that
// records what the extractors show, and small file helpers.
//
// The CD layer's seam (akrip32_testing.h) makes chosen sectors fail to read;
// FakeProgress::onEvents runs at each "let pending events run", which is
// where a person's Cancel or closing the main window would arrive.

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
#include <string>
#include <vector>

namespace extracttest {

struct FakeProgress : ProgressHost {
    struct Update {
        QString status;
        float cur, tot;
    };
    std::vector<Update> updates;
    int shown = 0;
    int open = 0;
    int events = 0;
    std::function<void()> onEvents;

    struct Window : ProgressWindow {
        FakeProgress& host;
        explicit Window(FakeProgress& h) : host(h) {}
        ~Window() override { --host.open; }
        void ChangeProgress(const QString& s, float cur, float tot) override { host.updates.push_back({s, cur, tot}); }
    };
    std::unique_ptr<ProgressWindow> ShowProgress() override {
        ++shown;
        ++open;
        return std::make_unique<Window>(*this);
    }
    void DoEvents() override {
        ++events;
        if (onEvents)
            onEvents();
    }
    std::vector<float> done() const {
        std::vector<float> cur;
        for (const Update& u : updates)
            cur.push_back(u.cur);
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
// folder for output files; every flag and fault is reset around it.
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
        modAKRip32::Drive() = {};
        const int position = static_cast<int>(modAKRip32::DriveListTexts().indexOf(QStringLiteral("IMAGE disc.cue")));
        if (!modAKRip32::OpenCD(position))
            throw std::runtime_error("cannot open the test disc");
    }
    ~OpenDisc() { Reset(); }
    static void Reset() {
        akrip::testing::CloseAllHandles();
        akrip::testing::ClearReadFailures();
        mVariables::CancelRequested = mVariables::StopRequested = mVariables::RunInProgress = false;
    }
    std::int32_t Start(int track) const { return discmaker::TrackStart(plan, track); }
    // The disc's bytes of sectors [from, to).
    std::string Audio(std::int32_t from, std::int32_t to) const {
        std::string bytes(static_cast<std::size_t>(to - from) * discmaker::kSectorBytes, '\0');
        for (std::int32_t s = from; s < to; ++s)
            discmaker::FillSector(plan, s, reinterpret_cast<unsigned char*>(&bytes[static_cast<std::size_t>(s - from) * discmaker::kSectorBytes]));
        return bytes;
    }
    std::string Wav(std::int32_t from, std::int32_t to) const {
        return WavHeader((to - from) * discmaker::kSectorBytes) + Audio(from, to);
    }
    QString Out(const std::string& name) const { return QString::fromStdString(folder.file(name)); }
};

}  // namespace extracttest
