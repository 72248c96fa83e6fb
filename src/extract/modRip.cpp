#include "extract/modRip.h"

#include "cd/modAKRip32.h"
#include "extract/mVariables.h"
#include "extract/modLAME.h"
#include "extract/modMP3.h"
#include "extract/modWAV.h"
#include "general/Dialogs.h"

#include <cmath>
#include <limits>

namespace modRip {

QString EnsureTrailingBackslash(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

std::uint32_t BitrateFromText(const QString& text) {
    const QString t = text.trimmed();
    const auto digitAt = [&t](qsizetype i) {
        return i < t.size() && t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9');
    };
    qsizetype end = 0;
    if (end < t.size() && (t[end] == QLatin1Char('+') || t[end] == QLatin1Char('-')))
        ++end;
    qsizetype digits = 0;
    for (; digitAt(end); ++end)
        ++digits;
    if (end < t.size() && t[end] == QLatin1Char('.'))
        for (++end; digitAt(end); ++end)
            ++digits;
    if (digits == 0)
        return 0;
    // The decimal mark is always "." here, whatever the person's language.
    const double value = t.left(end).toDouble();
    // The default rounding mode sends a half to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= 0 && rounded <= std::numeric_limits<std::int32_t>::max()))
        return 0;
    return static_cast<std::uint32_t>(rounded);
}

lame_enc::BE_CONFIG MakeEncoderConfig(const EncoderChoices& choices) {
    const auto flag = [](bool on) { return on ? std::int32_t{-1} : std::int32_t{0}; };
    lame_enc::BE_CONFIG c{};
    c.dwConfig = lame_enc::kConfigLame;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof(lame_enc::BE_CONFIG);
    c.dwSampleRate = 44100;
    c.nMode = lame_enc::kModeJointStereo;
    c.dwBitrate = BitrateFromText(choices.bitrateText);
    c.nPreset = modLAME::PresetForQuality(choices.qualityIndex);
    c.dwMpegVersion = 1;
    c.bPrivate = flag(choices.privateFlag);
    c.bCRC = flag(choices.crc);
    c.bCopyright = flag(choices.copyright);
    c.bOriginal = flag(choices.original);
    c.nVbrMethod = lame_enc::kVbrMethodNone;
    return c;
}

QString OutputFileName(const QString& folder, const QString& name, const QString& extension) {
    QString base = name;
    base.replace(QLatin1Char('/'), QLatin1Char('_'));
    return folder + base + extension;
}

namespace {

struct RunFlag {
    RunFlag() {
        mVariables::RunInProgress = true;
        mVariables::StopRequested = false;
    }
    ~RunFlag() { mVariables::RunInProgress = false; }
    RunFlag(const RunFlag&) = delete;
    RunFlag& operator=(const RunFlag&) = delete;
};

}  // namespace

void cmdRip_Click(RipSource& source, ProgressHost& host, Dialogs& dialogs) {
    if (mVariables::RunInProgress)
        return;
    const RunFlag running;
    mVariables::CancelRequested = false;
    // Built whatever the format is now: the format is read again for every
    // track, and a switch to MP3 during the run must find a configuration.
    const lame_enc::BE_CONFIG config = MakeEncoderConfig(source.Encoder());

    const int count = source.ItemCount();
    for (int i = 0; i < count; ++i) {
        if (mVariables::CancelRequested || mVariables::StopRequested)
            return;
        if (!source.IsChecked(i))
            continue;
        const bool mp3 = source.Mp3Selected();
        const QString outPath = source.OutPath();
        if (outPath.isEmpty()) {
            dialogs.MsgBox(kNoPathText, Dialogs::Buttons::Ok, Dialogs::Icon::Information, kNoPathTitle);
            source.ShowSettings();
            continue;
        }
        const QString folder = EnsureTrailingBackslash(outPath);
        const QString name = source.ItemText(i);
        const akrip::TOC& toc = modAKRip32::Drive().DiscTOC;
        std::int32_t start = modAKRip32::TrackStart(toc, i + 1);
        const std::int32_t end = modAKRip32::TrackStart(toc, i + 2);
        const riptrack::RipOutcome outcome =
            mp3 ? modMP3::RipTrackMp3(OutputFileName(folder, name, QStringLiteral(".mp3")), start, end,
                                      config, host, dialogs)
                : modWAV::RipTrackWav(OutputFileName(folder, name, QStringLiteral(".wav")), start, end,
                                      host, dialogs);
        if (outcome == riptrack::RipOutcome::StopRun)
            return;
    }
}

}  // namespace modRip
