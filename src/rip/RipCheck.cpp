#include "rip/RipCheck.h"

#include "cd/modAKRip32.h"
#include "engine/ReadBlock.h"
#include "engine/RunMessages.h"
#include "engine/StopSignals.h"
#include "general/modFiles.h"
#include "settings/modSettings.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>

namespace ripcli {
namespace {

const QString kAccurateRipUrlKey = QStringLiteral("AccurateRipUrl");

// The offset search's reads, through the engine's read block.
verify::SectorReader DriveReader(int handle) {
    auto block = std::make_shared<ripengine::ReadBlock>(handle);
    return [block](std::int32_t first, std::int32_t count, unsigned char* out) {
        while (count > 0) {
            const std::int32_t n = std::min(count, ripengine::kSectorsPerBlock);
            if (!block->Read(first, n))
                return false;
            std::memcpy(out, block->Audio(), std::size_t(n) * akrip::kSectorBytes);
            first += n;
            count -= n;
            out += std::size_t(n) * akrip::kSectorBytes;
        }
        return true;
    };
}

std::string EntriesText(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " entry" : " entries");
}

} // namespace

DiscReport StartReport(const akrip::TOC& table) {
    DiscReport report;
    report.toc = verify::TocFromDrive(table);
    if (!report.toc.tracks.empty())
        report.toc.tracks.front().pregap = report.toc.tracks.front().start;
    report.ids = verify::ComputeDiscIds(report.toc, report.idsError);
    return report;
}

std::optional<verify::ResponseSource> AnswerSource(const RipOptions& options) {
    verify::ResponseSource source;
    if (options.accuraterip) {
        const QByteArray path = modFiles::PathBytes(*options.accuraterip);
        struct stat st {};
        source.kind = ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode)
                          ? verify::ResponseSource::Kind::Folder
                          : verify::ResponseSource::Kind::File;
        source.where = path.toStdString();
        return source;
    }
    const QString url = options.accurateripUrl.value_or(
        modSettings::ReadSetting(modSettings::kSection, kAccurateRipUrlKey, {}).trimmed());
    if (url.isEmpty() && !options.verify)
        return std::nullopt;
    source.kind = verify::ResponseSource::Kind::Http;
    if (!url.isEmpty())
        source.where = url.toStdString();
    return source;
}

ArLookup LookUp(const verify::ResponseSource& source, const verify::DiscIds& ids) {
    ArLookup lookup;
    verify::FetchResult got = verify::FetchResponse(source, ids);
    lookup.from = got.from;
    switch (got.status) {
    case verify::FetchResult::Status::Found: {
        verify::ArResponse answer = verify::ParseArResponse(got.bytes);
        if (!answer.error.empty()) {
            lookup.status = ArLookup::Status::Failed;
            lookup.text = got.from + ": not an AccurateRip answer: " + answer.error;
        } else {
            lookup.status = ArLookup::Status::Found;
            lookup.text = EntriesText(answer.entries.size());
            lookup.entries = std::move(answer.entries);
        }
        break;
    }
    case verify::FetchResult::Status::NotInDatabase:
        lookup.status = ArLookup::Status::NotInDatabase;
        lookup.text = got.message;
        break;
    case verify::FetchResult::Status::Failed:
        lookup.status = ArLookup::Status::Failed;
        lookup.text = got.message;
        break;
    }
    return lookup;
}

void CheckReport(DiscReport& report, const std::optional<verify::ResponseSource>& source,
                 int handle) {
    if (!source)
        return;
    if (!report.ids) {
        report.lookup.status = ArLookup::Status::Failed;
        report.lookup.text = "the disc has no AccurateRip id: " + report.idsError;
        return;
    }
    report.lookup = LookUp(*source, *report.ids);
    if (report.lookup.status == ArLookup::Status::Failed)
        return;
    std::map<int, verify::ChecksumResult> sums;
    for (const TrackReport& t : report.tracks)
        sums[t.number] = t.sums;
    verify::DiscAudio audio(DriveReader(handle), report.toc);
    report.verdict =
        verify::VerifyDisc(report.toc, *report.ids, report.lookup.entries, sums, &audio);
    for (const verify::TrackVerdict& v : report.verdict->tracks)
        for (TrackReport& t : report.tracks)
            if (t.number == v.track)
                t.verdict = v;
}

void ReadTracks(DiscReport& report, const std::vector<ReadTrack>& tracks, int handle,
                const QString& what, ProgressPrinter& printer) {
    using Steady = std::chrono::steady_clock;
    Progress progress;
    progress.tracksTotal = static_cast<int>(tracks.size());
    for (const ReadTrack& t : tracks)
        progress.audioTotal += t.end - t.start;
    const auto started = Steady::now();
    auto shown = started;
    ripengine::ReadBlock block(handle);
    for (const ReadTrack& t : tracks) {
        if (stopsignals::Received() != 0)
            break;
        TrackReport track;
        track.number = t.number;
        track.title = t.title;
        track.outcome = "complete";
        verify::TrackChecksums sums(verify::PlaceOf(report.toc, t.number),
                                    std::uint64_t(t.end - t.start) * verify::kSectorSamples);
        progress.name = QStringLiteral("Track %1").arg(t.number, 2, 10, QLatin1Char('0'));
        progress.sectorsTotal = t.end - t.start;
        progress.sectorsDone = 0;
        for (std::int32_t s = t.start; s < t.end;) {
            if (stopsignals::Received() != 0) {
                track.outcome = "stopped after " + trackrun::SectorTime(s - t.start).toStdString();
                break;
            }
            const std::int32_t n = std::min(ripengine::kSectorsPerBlock, t.end - s);
            const std::int32_t got = block.ReadLeading(s, n);
            sums.Feed(block.Audio(), std::size_t(got) * akrip::kSectorBytes);
            s += got;
            progress.sectorsDone += got;
            progress.audioDone += got;
            if (got < n) {
                QString why = QString::fromStdString(block.Reason());
                if (why.isEmpty())
                    why = modAKRip32::CDErrorText(block.Error());
                track.outcome = "cannot read sector " + std::to_string(s);
                printer.Error(QStringLiteral("dorvane-rip: %1: cannot read the disc at sector %2, "
                                             "%3 into track %4 (%5)")
                                  .arg(what)
                                  .arg(s)
                                  .arg(trackrun::SectorTime(s - t.start))
                                  .arg(t.number)
                                  .arg(why));
                break;
            }
            const auto now = Steady::now();
            if (now - shown >= std::chrono::milliseconds(100)) {
                shown = now;
                progress.seconds = std::chrono::duration<double>(now - started).count();
                printer.Update(progress);
            }
        }
        track.sums = sums.Result();
        if (track.sums.Complete())
            ++progress.tracksDone;
        else
            ++progress.tracksFailed;
        report.tracks.push_back(std::move(track));
    }
    printer.Finish();
}

bool AllAccurate(const DiscReport& report) {
    return !report.tracks.empty() &&
           std::all_of(report.tracks.begin(), report.tracks.end(), [](const TrackReport& t) {
               return t.verdict && t.verdict->status == verify::TrackVerdict::Status::Accurate;
           });
}

} // namespace ripcli
