#include "cd/CueImage.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <libcue.h>

#include "cd/CueParser.h"
#include "cd/CueSheetScan.h"
#include "cd/ImageFileLookup.h"
#include "cd/ImageFiles.h"

namespace akrip::detail {
namespace {

int BlockBytes(int mode) {
    switch (mode) {
    case MODE_MODE1:
    case MODE_MODE2_FORM1:
        return 2048;
    case MODE_MODE2:
        return 2336;
    case MODE_MODE2_FORM2:
        return 2324;
    case MODE_MODE2_FORM_MIX:
        return 2332;
    default:
        return kSectorBytes;
    }
}

std::unique_ptr<ImageFile> OpenFile(const std::string& folder, const SheetFile& file,
                                    int blockBytes, struct stat& info, std::string& problem,
                                    FolderIndex& index) {
    const bool raw = file.type == "BINARY" || file.type == "MOTOROLA";
    if (!raw && file.type != "WAVE" && file.type != "AIFF" && file.type != "FLAC") {
        problem = Quoted(file.name) + " is of type " + file.type +
                  "; only BINARY, MOTOROLA, WAVE, AIFF and FLAC files can be read";
        return nullptr;
    }
    const FileForm form{!raw, blockBytes, file.type == "MOTOROLA"};
    return OpenImageFile(folder, file.name, form, info, problem, index);
}

// What libcue is handed of a sheet. Windows rippers write "TRACK 13 MODEx/2xxx" for a data track
// they did not rip, a mode libcue does not know. It is a data track like any other, of whole
// 2352-byte sectors, so libcue is handed the sheet with the mode it knows for that; the line keeps
// its length, and our own pass reads the sheet as written.
std::string ForLibcue(std::string text) {
    static constexpr std::string_view kUnknown = "MODEx/2xxx", kKnown = "MODE1/2352";
    for (std::size_t at = 0; (at = text.find(kUnknown, at)) != std::string::npos;
         at += kUnknown.size()) {
        const std::size_t lineStart = text.rfind('\n', at) + 1; // npos + 1 is 0
        std::string_view line = std::string_view(text).substr(lineStart, at - lineStart);
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || !line.substr(first).starts_with("TRACK"))
            continue;
        const std::size_t end = at + kUnknown.size();
        if (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r' &&
            text[end] != '\n')
            continue;
        text.replace(at, kUnknown.size(), kKnown);
    }
    // A quoted text whose last byte is "\" (Shift-JIS titles often end in
    // 0x5C) reads to libcue as an escaped quote, and the line never ends.
    // The titles come from our own pass, so libcue gets a space there.
    for (std::size_t lineStart = 0; lineStart < text.size();) {
        const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
        std::size_t quote = lineEnd;
        while (quote > lineStart &&
               (text[quote - 1] == ' ' || text[quote - 1] == '\t' || text[quote - 1] == '\r'))
            --quote;
        std::size_t backslashes = 0;
        while (quote > lineStart + 1 + backslashes && text[quote - 2 - backslashes] == '\\')
            ++backslashes;
        if (quote > lineStart && text[quote - 1] == '"' && backslashes % 2 == 1 &&
            text.find('"', lineStart) < quote - 1 - backslashes)
            text[quote - 2] = ' ';
        lineStart = lineEnd + 1;
    }
    return text;
}

// An Enhanced CD's sheet may end with its data track named but not ripped:
// only an INDEX 00, at the very end of the audio. The disc then ends there.
bool UnrippedDataTrack(const CueParse& cue, std::size_t k) {
    const CueTrack& t = cue.tracks[k];
    return k + 1 == cue.tracks.size() && k > 0 && t.mode != MODE_AUDIO && t.index1 < 0 &&
           t.index0 >= 0;
}

// Lays the files back to back (the "data" positions below), cuts tracks at
// their INDEX 01 and inserts PREGAP and POSTGAP silence where the data of the
// next track begins: at its INDEX 00 when it has one in the same file.
bool Lay(LaidImage& disc, const SheetScan& scan, const CueParse& cue, std::string& problem) {
    std::vector<std::int64_t> fileStart;
    std::int64_t data = 0;
    for (const auto& file : disc.files) {
        fileStart.push_back(data);
        data += file->Sectors();
    }
    std::int64_t laid = 0; // data laid so far
    std::int64_t discAt = 0;
    auto addData = [&](std::int64_t until) {
        for (std::size_t f = 0; f < disc.files.size() && laid < until; ++f) {
            const std::int64_t end = fileStart[f] + disc.files[f]->Sectors();
            if (laid >= end)
                continue;
            const std::int64_t n = std::min(until, end) - laid;
            disc.Add(n * kFramesPerSector, disc.files[f].get(),
                     (laid - fileStart[f]) * kFramesPerSector);
            discAt += n;
            laid += n;
        }
    };
    auto addSilence = [&](std::int64_t n) {
        disc.Add(n * kFramesPerSector, nullptr, 0);
        discAt += n;
    };
    std::int64_t previousIndex1 = -1;
    std::int64_t postgap = 0;
    for (std::size_t k = 0; k < cue.tracks.size(); ++k) {
        const CueTrack& t = cue.tracks[k];
        const SheetTrack& s = scan.tracks[k];
        const std::string name = s.line + ": TRACK " + s.number;
        const ImageFile& file = *disc.files[s.file];
        if (UnrippedDataTrack(cue, k) && fileStart[s.file] + t.index0 == data)
            break;
        if (t.index1 < 0) {
            problem = name + " has no INDEX 01";
            return false;
        }
        if (t.index1 >= file.Sectors()) {
            problem = name + " starts at " + Msf(t.index1) + ", past the end of " +
                      Quoted(scan.files[s.file].name) + " (" + Msf(file.Sectors()) + " long)";
            return false;
        }
        const std::int64_t index1 = fileStart[s.file] + t.index1;
        if (index1 <= previousIndex1) {
            problem =
                name + " does not start after the track before it; tracks must be in disc order";
            return false;
        }
        const std::int64_t index0 = t.index0 >= 0 && t.index0 <= t.index1
                                        ? std::max(fileStart[s.file] + t.index0, previousIndex1 + 1)
                                        : index1;
        addData(index0);
        addSilence(postgap + s.pregap);
        const std::int64_t start = discAt + (index1 - index0);
        if (start > kMaxSectors) {
            problem = "it is longer than a disc can be";
            return false;
        }
        std::uint8_t control =
            static_cast<std::uint8_t>(t.flags & (kPreEmphasis | kCopyPermitted | kFourChannel));
        if (t.mode != MODE_AUDIO)
            control |= kDataTrack;
        const auto number = static_cast<int>(Digits(s.number).value_or(0)); // checked to be 1 to 99
        disc.table.tracks.push_back({number, control, static_cast<std::int32_t>(start)});
        disc.text.tracks.push_back(TrackTextOf(s));
        previousIndex1 = index1;
        postgap = std::min(t.postgap, kMaxSectors);
    }
    addData(data);
    addSilence(postgap);
    if (discAt > kMaxSectors) {
        problem = "it is longer than a disc can be";
        return false;
    }
    disc.table.leadout = static_cast<std::int32_t>(discAt);
    SetDiscText(disc.text, scan);
    return true;
}

} // namespace

std::unique_ptr<Disc> OpenCueImage(const std::string& sheetPath, std::string& problem) {
    auto disc = std::make_unique<LaidImage>();
    std::string text;
    {
        struct stat info {};
        std::string reason;
        Fd fd = OpenRegular(sheetPath, info, reason);
        if (fd.get() < 0) {
            problem = "the sheet cannot be read: " + reason;
            return nullptr;
        }
        if (info.st_size > kMaxSheetBytes) {
            problem = "it is too large for a CUE sheet";
            return nullptr;
        }
        if (!ReadAll(fd.get(), text, kMaxSheetBytes)) {
            problem = "the sheet cannot be read: " + SystemReason();
            return nullptr;
        }
        disc->read.emplace_back(info.st_dev, info.st_ino);
    }
    if (text.find('\0') != std::string::npos) {
        problem = "it is not a text file";
        return nullptr;
    }
    // Sheets written on Windows often start with a byte order mark, which
    // libcue would take for stray characters.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);
    // libcue needs the last line ended.
    text += '\n';

    CueParse cue;
    if (!ParseWithLibcue(ForLibcue(text), cue, problem))
        return nullptr;
    if (!cue.complaint.empty() || !cue.parsed) {
        problem = cue.complaint.empty() ? "libcue cannot read it" : Complaint(cue.complaint);
        return nullptr;
    }
    const SheetScan scan = ScanSheet(text);
    if (!scan.problem.empty()) {
        problem = scan.problem;
        return nullptr;
    }
    if (cue.tracks.empty()) {
        problem = "it has no TRACK";
        return nullptr;
    }
    if (scan.tracks.size() != cue.tracks.size()) {
        problem = "its TRACK lines cannot be told apart; put each on a line of its own";
        return nullptr;
    }
    std::uint64_t previous = 0;
    for (std::size_t k = 0; k < scan.tracks.size(); ++k) {
        const SheetTrack& track = scan.tracks[k];
        const std::uint64_t number = Digits(track.number).value_or(0);
        if (number < 1 || number > 99 || (k > 0 && number != previous + 1)) {
            problem =
                track.line + ": " +
                (k == 0 ? "the first track's number must be from 1 to 99"
                        : "TRACK " + track.number + " follows TRACK " + scan.tracks[k - 1].number +
                              "; track numbers rise by one, from 1 to 99");
            return nullptr;
        }
        previous = number;
        // The file comes from our pass over the lines, which follows the
        // sheet where libcue loses track (a FILE between INDEX 00 and INDEX
        // 01); libcue's name must still be one the sheet gives.
        if (std::none_of(scan.files.begin(), scan.files.end(),
                         [&](const SheetFile& f) { return f.name == cue.tracks[k].file; })) {
            problem = "the FILE of TRACK " + track.number + " cannot be told apart";
            return nullptr;
        }
    }
    if (std::none_of(cue.tracks.begin(), cue.tracks.end(),
                     [](const CueTrack& t) { return t.mode == MODE_AUDIO; })) {
        problem = "it holds no audio track";
        return nullptr;
    }

    // A file's sectors are as long as the mode of the tracks in it says; a
    // data track that was never ripped has none.
    std::vector<int> blockBytes(scan.files.size(), 0);
    for (std::size_t k = 0; k < cue.tracks.size(); ++k) {
        if (UnrippedDataTrack(cue, k))
            continue;
        int& bytes = blockBytes[scan.tracks[k].file];
        const int wanted = BlockBytes(cue.tracks[k].mode);
        if (bytes != 0 && bytes != wanted) {
            problem = Quoted(scan.files[scan.tracks[k].file].name) +
                      " mixes tracks of different sector sizes";
            return nullptr;
        }
        bytes = wanted;
    }
    const auto slash = sheetPath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : sheetPath.substr(0, slash + 1);
    // Every FILE line looks in the same folders: each is read once.
    FolderIndex index;
    for (std::size_t f = 0; f < scan.files.size(); ++f) {
        struct stat info {};
        auto file = OpenFile(folder, scan.files[f], blockBytes[f] ? blockBytes[f] : kSectorBytes,
                             info, problem, index);
        if (!file)
            return nullptr;
        disc->files.push_back(std::move(file));
        disc->read.emplace_back(info.st_dev, info.st_ino);
    }
    if (!Lay(*disc, scan, cue, problem))
        return nullptr;
    return disc;
}

} // namespace akrip::detail
