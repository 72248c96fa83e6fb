#include "verify/DiscToc.h"

#include "cd/modAKRip32.h"

#include <discid/discid.h>

#include <cstdio>
#include <memory>

namespace verify {
namespace {

// MSF 00:02:00: where the table's sector 0 lies on the disc, as libdiscid and
// freedb count.
constexpr std::int32_t kLeadIn = 150;

struct DiscIdFree {
    void operator()(DiscId* disc) const noexcept { discid_free(disc); }
};

int DigitSum(std::int32_t n) {
    int sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

// freedb's id over every track and the real lead-out.
std::uint32_t Cddb(const DiscToc& toc) {
    int n = 0;
    for (const TocTrack& t : toc.tracks)
        n += DigitSum((t.start + kLeadIn) / 75);
    const std::int32_t seconds =
        (toc.leadout + kLeadIn) / 75 - (toc.tracks.front().start + kLeadIn) / 75;
    return std::uint32_t(n % 255) << 24 | std::uint32_t(seconds) << 8 |
           std::uint32_t(toc.tracks.size());
}

// The last audio track, and past it the first data track when only data
// tracks follow (an Enhanced CD).
const TocTrack* LastAudio(const DiscToc& toc) {
    for (auto it = toc.tracks.rbegin(); it != toc.tracks.rend(); ++it)
        if (it->audio)
            return &*it;
    return nullptr;
}

} // namespace

std::string TocProblem(const DiscToc& toc) {
    if (toc.tracks.empty())
        return "the table holds no track";
    if (toc.first < 1 || toc.last > 99 || toc.last < toc.first ||
        toc.tracks.size() != std::size_t(toc.last - toc.first + 1))
        return "the table's tracks " + std::to_string(toc.first) + " to " +
               std::to_string(toc.last) + " do not match its " + std::to_string(toc.tracks.size()) +
               " entries";
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        const TocTrack& t = toc.tracks[i];
        if (t.number != toc.first + int(i))
            return "entry " + std::to_string(i + 1) + " is track " + std::to_string(t.number) +
                   ", not " + std::to_string(toc.first + int(i));
        if (t.start < 0)
            return "track " + std::to_string(t.number) + " starts before the disc";
        if (i > 0 && t.start <= toc.tracks[i - 1].start)
            return "track " + std::to_string(t.number) + " does not start after track " +
                   std::to_string(toc.tracks[i - 1].number);
    }
    if (toc.leadout <= toc.tracks.back().start)
        return "the lead-out does not lie after the last track";
    return {};
}

DiscToc TocFromDrive(const akrip::TOC& table) {
    DiscToc toc;
    const int count = modAKRip32::TrackCount(table);
    toc.first = table.firstTrack;
    toc.last = table.firstTrack + count - 1;
    for (int i = 0; i < count; ++i) {
        TocTrack t;
        t.number = table.tracks[i].trackNumber;
        t.start = modAKRip32::TrackStart(table, i + 1);
        t.audio = (table.tracks[i].ADR & 0x04) == 0;
        toc.tracks.push_back(t);
    }
    toc.leadout = modAKRip32::TrackStart(table, count + 1);
    return toc;
}

bool IsEnhancedCd(const DiscToc& toc) {
    return !toc.tracks.empty() && toc.tracks.front().audio && !toc.tracks.back().audio;
}

int AudioTrackCount(const DiscToc& toc) {
    int n = 0;
    for (const TocTrack& t : toc.tracks)
        n += t.audio ? 1 : 0;
    return n;
}

std::optional<SectorRange> AudioTrackSectors(const DiscToc& toc, int number) {
    const int i = number - toc.first;
    if (i < 0 || i >= int(toc.tracks.size()) || !toc.tracks[std::size_t(i)].audio)
        return std::nullopt;
    SectorRange r;
    r.start = toc.tracks[std::size_t(i)].start;
    const bool lastOfAll = std::size_t(i) + 1 == toc.tracks.size();
    r.end = lastOfAll ? toc.leadout : toc.tracks[std::size_t(i) + 1].start;
    if (IsEnhancedCd(toc) && LastAudio(toc) == &toc.tracks[std::size_t(i)] &&
        r.end - kSessionGap > r.start)
        r.end -= kSessionGap;
    return r;
}

TrackPlace PlaceOf(const DiscToc& toc, int number) {
    TrackPlace place;
    const TocTrack* last = LastAudio(toc);
    for (const TocTrack& t : toc.tracks)
        if (t.audio) {
            place.firstAudio = t.number == number;
            break;
        }
    place.lastAudio = last != nullptr && last->number == number;
    return place;
}

std::string DiscIds::ArText() const {
    char text[40];
    std::snprintf(text, sizeof text, "%03d-%08x-%08x-%08x", arTracks, arId1, arId2, arCddb);
    return text;
}

std::optional<DiscIds> ComputeDiscIds(const DiscToc& toc, std::string& error) {
    error = TocProblem(toc);
    if (!error.empty())
        return std::nullopt;
    const TocTrack* lastAudio = LastAudio(toc);
    if (lastAudio == nullptr) {
        error = "the disc holds no audio track";
        return std::nullopt;
    }
    DiscIds ids;

    // AccurateRip: the audio tracks, numbered among themselves from 1 (a
    // mixed-mode CD's data track 1 is left out), and the disc's real end.
    std::uint32_t id1 = 0, id2 = 0, n = 0;
    for (const TocTrack& t : toc.tracks) {
        if (!t.audio)
            continue;
        ++n;
        id1 += std::uint32_t(t.start);
        id2 += std::uint32_t(t.start > 0 ? t.start : 1) * n;
    }
    id1 += std::uint32_t(toc.leadout);
    id2 += std::uint32_t(toc.leadout) * (n + 1);
    ids.arTracks = int(n);
    ids.arId1 = id1;
    ids.arId2 = id2;
    ids.arCddb = Cddb(toc);
    const std::string hex1 = Hex8(id1);
    ids.arFileName =
        std::string{hex1[7], '/', hex1[6], '/', hex1[5], '/'} + "dBAR-" + ids.ArText() + ".bin";

    // MusicBrainz and freedb as libdiscid counts: an Enhanced CD gives its
    // audio session only, which ends kSessionGap sectors before the data.
    int offsets[100] = {};
    int lastGiven = toc.last;
    std::int32_t end = toc.leadout;
    if (IsEnhancedCd(toc)) {
        lastGiven = lastAudio->number;
        end = AudioTrackSectors(toc, lastGiven)->end;
    }
    offsets[0] = end + kLeadIn;
    for (const TocTrack& t : toc.tracks)
        if (t.number <= lastGiven)
            offsets[t.number] = t.start + kLeadIn;
    const std::unique_ptr<DiscId, DiscIdFree> disc(discid_new());
    if (!disc || discid_put(disc.get(), toc.first, lastGiven, offsets) == 0) {
        error = std::string("libdiscid refuses the table: ") +
                (disc ? discid_get_error_msg(disc.get()) : "out of memory");
        return std::nullopt;
    }
    ids.musicBrainz = discid_get_id(disc.get());
    ids.freedb = discid_get_freedb_id(disc.get());
    return ids;
}

} // namespace verify
