#include "extract/modRip.h"

#include "cd/modAKRip32.h"
#include "engine/RipEngine.h"
#include "extract/mVariables.h"
#include "general/Dialogs.h"
#include "general/modGeneral.h"
#include "output/modLAME.h"
#include "settings/modSettings.h"
#include "tracks/modNames.h"

#include <QSet>

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

// "name (2).ext": the name a later track with the same file name gets.
QString Numbered(const QString& fileName, const QString& extension, int n) {
    return fileName.left(fileName.size() - extension.size()) + QStringLiteral(" (%1)").arg(n) +
           extension;
}

} // namespace

QString RenameClashes(std::vector<windowrun::Track>& tracks, const QString& extension) {
    QSet<QString> taken;
    for (const windowrun::Track& t : tracks)
        taken.insert(t.fileName);
    QSet<QString> seen;
    QStringList renamed;
    for (windowrun::Track& t : tracks) {
        if (!seen.contains(t.fileName)) {
            seen.insert(t.fileName);
            continue;
        }
        const QString before = t.fileName;
        int n = 2;
        while (taken.contains(Numbered(before, extension, n)))
            ++n;
        t.fileName = Numbered(before, extension, n);
        taken.insert(t.fileName);
        seen.insert(t.fileName);
        renamed << QStringLiteral("Track %1: \"%2\"")
                       .arg(t.number)
                       .arg(modNames::FileNameFromPath(t.fileName));
    }
    if (renamed.isEmpty())
        return {};
    return QStringLiteral(
               "Some ticked tracks have the same name, and one file would replace another. So that "
               "none is lost, these are saved under other names:\n\n") +
           renamed.join(QLatin1Char('\n'));
}

int JobsSetting() {
    bool ok = false;
    const int jobs =
        modSettings::ReadSetting(modSettings::kSection, kJobsKey, QString()).trimmed().toInt(&ok);
    return ok && jobs >= 1 ? std::min(jobs, 256) : ripengine::DefaultJobs();
}

void cmdRip_Click(RipSource& source, ProgressHost& host, Dialogs& dialogs, const TagsFor& tagsFor) {
    if (mVariables::RunInProgress)
        return;
    const RunFlag running;
    mVariables::CancelRequested = false;

    // The run takes the ticked tracks, their names, the format and the folder
    // as they are at the click: tracks are encoded ahead, so a later change
    // could not count for them alone.
    const int count = source.ItemCount();
    QList<int> ticked;
    for (int i = 0; i < count; ++i)
        if (source.IsChecked(i))
            ticked << i;
    if (ticked.isEmpty())
        return;
    const QString outPath = source.OutPath();
    if (outPath.isEmpty()) {
        for (qsizetype k = 0; k < ticked.size(); ++k) {
            dialogs.MsgBox(kNoPathText, Dialogs::Buttons::Ok, Dialogs::Icon::Information,
                           kNoPathTitle);
            source.ShowSettings();
        }
        return;
    }
    windowrun::Choices choices;
    choices.mp3 = source.Mp3Selected();
    choices.config = MakeEncoderConfig(source.Encoder());
    choices.jobs = JobsSetting();
    const QString extension = choices.mp3 ? QStringLiteral(".mp3") : QStringLiteral(".wav");
    const QString folder = EnsureTrailingBackslash(outPath);
    const akrip::TOC& toc = modAKRip32::Drive().DiscTOC;
    std::vector<windowrun::Track> tracks;
    for (int i : ticked) {
        const QString name = source.ItemText(i);
        const int number = toc.tracks[i].trackNumber;
        tracks.push_back({number, modAKRip32::TrackStart(toc, i + 1),
                          modAKRip32::TrackStart(toc, i + 2),
                          OutputFileName(folder, name, extension)});
        if (choices.mp3 && tagsFor)
            if (const std::optional<ripengine::TrackTags> tags = tagsFor(i, name))
                choices.tags[number] = *tags;
    }
    const QString clashes = RenameClashes(tracks, extension);
    if (!clashes.isEmpty())
        dialogs.MsgBox(clashes, Dialogs::Buttons::Ok, Dialogs::Icon::Information,
                       modGeneral::kAppTitle);
    // A window closed while the box was open starts no track at all.
    if (mVariables::StopRequested)
        return;
    windowrun::Run(tracks, choices, host, dialogs);
}

} // namespace modRip
