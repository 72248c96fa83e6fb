#include "verify/ArVerify.h"

#include <algorithm>
#include <cstdlib>

namespace verify {
namespace {

std::string Signed(int k) {
    return (k > 0 ? "+" : "") + std::to_string(k);
}

std::string Plural(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The entries' checksums of one track (those with confidence above 0).
struct Known {
    std::uint32_t crc;
    std::uint32_t sector450;
    int confidence;
};

// The best entry met by v1 or v2: highest confidence, v2 before v1.
bool BestMatch(const std::vector<Known>& known, std::uint32_t v1, std::uint32_t v2,
               TrackVerdict& verdict) {
    bool met = false;
    for (const Known& k : known) {
        if (k.crc != v1 && k.crc != v2)
            continue;
        const bool isV2 = k.crc == v2;
        if (!met || k.confidence > verdict.confidence ||
            (k.confidence == verdict.confidence && isV2 && !verdict.v2)) {
            verdict.confidence = k.confidence;
            verdict.v2 = isV2;
        }
        met = true;
    }
    return met;
}

// The offset of the most confident entry met; among equals the nearest.
void TakeHits(const std::vector<OffsetHit>& hits, const std::vector<Known>& known,
              TrackVerdict& v) {
    for (const OffsetHit& hit : hits) {
        TrackVerdict at = v;
        at.confidence = 0;
        at.offset = hit.offset;
        for (const Known& k : known)
            if (k.crc == hit.crc && k.confidence > at.confidence)
                at.confidence = k.confidence, at.v2 = hit.v2;
        if (v.status != TrackVerdict::Status::Accurate || at.confidence > v.confidence ||
            (at.confidence == v.confidence && std::abs(at.offset) < std::abs(v.offset))) {
            v = at;
            v.status = TrackVerdict::Status::Accurate;
        }
    }
}

struct Pending {
    std::size_t index; // in the verdict's tracks
    std::vector<Known> known;
    SearchTrack search;
    SearchTargets targets;
};

} // namespace

std::string TrackVerdict::Text() const {
    switch (status) {
    case Status::Accurate:
        return std::string("accurate") + (offset != 0 ? " at offset " + Signed(offset) : "") +
               " (confidence " + std::to_string(confidence) + ", " + (v2 ? "v2" : "v1") + ")";
    case Status::NotAccurate:
        return "not accurate (" + Plural(entries, "entry", "entries") + ")";
    case Status::NotInDatabase:
        return "not in the database";
    case Status::NotChecked:
        break;
    }
    return "not checked";
}

bool DiscVerdict::AllAccurate() const {
    return !tracks.empty() && std::all_of(tracks.begin(), tracks.end(), [](const TrackVerdict& t) {
        return t.status == TrackVerdict::Status::Accurate;
    });
}

std::string DiscVerdict::Summary() const {
    if (entriesForDisc == 0)
        return "disc not in the database";
    int accurate = 0;
    for (const TrackVerdict& t : tracks)
        accurate += t.status == TrackVerdict::Status::Accurate ? 1 : 0;
    std::string text = std::to_string(accurate) + " of " +
                       Plural(int(tracks.size()), "track", "tracks") + " accurate";
    if (ripOffset)
        return "rip made " + Signed(*ripOffset) + " samples off: " + text + " at offset " +
               Signed(*ripOffset);
    return text;
}

DiscVerdict VerifyDisc(const DiscToc& toc, const DiscIds& ids, const std::vector<ArEntry>& entries,
                       const std::map<int, ChecksumResult>& checksums, DiscAudio* audio) {
    DiscVerdict verdict;
    std::vector<const ArEntry*> ours;
    for (const ArEntry& e : entries) {
        if (e.id1 == ids.arId1 && e.id2 == ids.arId2 && e.cddb == ids.arCddb &&
            int(e.tracks.size()) == ids.arTracks)
            ours.push_back(&e);
        else
            ++verdict.entriesIgnored;
    }
    verdict.entriesForDisc = int(ours.size());
    if (verdict.entriesIgnored > 0)
        verdict.notes.push_back(Plural(verdict.entriesIgnored, "entry", "entries") +
                                " of the answer " + (verdict.entriesIgnored == 1 ? "is" : "are") +
                                " for another disc and " +
                                (verdict.entriesIgnored == 1 ? "was" : "were") + " ignored");

    std::vector<int> offsetsMet;
    std::vector<Pending> pending; // tracks that met nothing, for a second look
    bool searching = audio != nullptr;
    auto searchFailed = [&](int track) {
        verdict.notes.push_back("offsets were not searched from track " + std::to_string(track) +
                                " on: " + audio->Error());
        searching = false;
    };
    for (const TocTrack& t : toc.tracks) {
        if (!t.audio)
            continue;
        const auto sums = checksums.find(t.number);
        if (sums == checksums.end())
            continue;
        TrackVerdict v;
        v.track = t.number;
        // An answer's track slots follow the table from its first track; a
        // mixed-mode CD's data track takes the first slot.
        const auto slot = std::size_t(t.number - toc.first);
        std::vector<Known> known;
        for (const ArEntry* e : ours)
            if (slot < e->tracks.size() && e->tracks[slot].confidence > 0)
                known.push_back(
                    {e->tracks[slot].crc, e->tracks[slot].sector450, e->tracks[slot].confidence});
        v.entries = int(known.size());
        if (!sums->second.Complete()) {
            v.status = TrackVerdict::Status::NotChecked;
        } else if (known.empty()) {
            v.status = TrackVerdict::Status::NotInDatabase;
        } else if (BestMatch(known, sums->second.arV1, sums->second.arV2, v)) {
            v.status = TrackVerdict::Status::Accurate;
        } else {
            v.status = TrackVerdict::Status::NotAccurate;
            if (searching) {
                Pending p{verdict.tracks.size(),
                          known,
                          SearchTrack{*AudioTrackSectors(toc, t.number), PlaceOf(toc, t.number)},
                          {}};
                for (const Known& k : known) {
                    p.targets.crcs.push_back(k.crc);
                    p.targets.sector450s.push_back(k.sector450);
                }
                std::vector<OffsetHit> hits;
                if (!FindOffsets(*audio, p.search, p.targets, offsetsMet, hits))
                    searchFailed(t.number);
                TakeHits(hits, known, v);
                if (v.status == TrackVerdict::Status::Accurate) {
                    if (std::find(offsetsMet.begin(), offsetsMet.end(), v.offset) ==
                        offsetsMet.end())
                        offsetsMet.push_back(v.offset);
                } else {
                    pending.push_back(std::move(p));
                }
            }
        }
        verdict.tracks.push_back(v);
    }
    // A track before the first one found at an offset had no hint then (a
    // short first track, whose entries hold v2 sums only, say).
    for (const Pending& p : pending) {
        if (!searching || offsetsMet.empty())
            break;
        std::vector<OffsetHit> hits;
        if (!MatchAtOffsets(*audio, p.search, p.targets, offsetsMet, hits))
            searchFailed(verdict.tracks[p.index].track);
        TakeHits(hits, p.known, verdict.tracks[p.index]);
    }
    if (verdict.AllAccurate()) {
        const int k = verdict.tracks.front().offset;
        if (k != 0 && std::all_of(verdict.tracks.begin(), verdict.tracks.end(),
                                  [k](const TrackVerdict& t) { return t.offset == k; }))
            verdict.ripOffset = k;
    }
    return verdict;
}

} // namespace verify
