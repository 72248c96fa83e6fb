#include "cd/TocImage.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include <QString>
#include <QStringDecoder>

#include "cd/ImageFileLookup.h"
#include "cd/ImageFiles.h"
#include "cd/TocParser.h"

namespace akrip::detail {
namespace {

constexpr std::int64_t kMaxTocBytes = 1 << 20;

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) {
    return (a + b - 1) / b;
}

// TOC strings are bytes; cdrdao writes Latin-1, and UTF-8 is read as such.
std::string TocText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded =
        utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return bytes;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

// cdrdao reads a name ending in ".wav" as WAVE and anything else as raw;
// FLAC and AIFF files are read like WAVE.
bool SoundName(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos)
        return false;
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".wav" || extension == ".flac" || extension == ".aiff" ||
           extension == ".aif";
}

// A span with its file opened and its length known: frames in an audio
// track, bytes in a data track.
struct Stretch {
    ImageFile* file = nullptr; // null: silence or zeros, or a data track's data
    std::int64_t fileFrame = 0;
    std::int64_t units = 0;
};

class TocReader {
  public:
    TocReader(LaidImage& disc, std::string folder) : disc_(disc), folder_(std::move(folder)) {}

    bool Lay(const TocFile& toc, std::string& problem) {
        std::vector<const TocTrack*> tracks;
        for (const TocTrack& t : toc.tracks)
            tracks.push_back(&t);
        // An Enhanced CD's data track that was never read holds no file: the
        // disc ends with its audio.
        const TocTrack& last = *tracks.back();
        if (tracks.size() > 1 && !last.audio &&
            std::none_of(last.spans.begin(), last.spans.end(),
                         [](const TocSpan& s) { return s.kind == TocSpan::Kind::DataFile; }))
            tracks.pop_back();
        if (std::none_of(tracks.begin(), tracks.end(),
                         [](const TocTrack* t) { return t->audio; })) {
            problem = toc.tracks.front().where + ": the disc holds no audio track";
            return false;
        }
        std::int64_t base = 0; // sectors
        for (std::size_t k = 0; k < tracks.size(); ++k) {
            const TocTrack& t = *tracks[k];
            const std::int64_t perSector = t.audio ? kFramesPerSector : t.blockBytes;
            std::vector<Stretch> stretches;
            for (const TocSpan& span : t.spans) {
                Stretch s;
                if (!Resolve(t, span, s, problem))
                    return false;
                stretches.push_back(s);
            }
            std::int64_t units = 0;
            for (const Stretch& s : stretches)
                units += s.units;
            const std::int64_t sectors = CeilDiv(units, perSector);
            std::int64_t pregap = 0;
            if (t.startSectors && *t.startSectors >= 0) {
                pregap = *t.startSectors;
            } else if (t.startSectors) {
                std::int64_t before = 0;
                for (std::size_t i = 0; i < t.spansBeforeStart; ++i)
                    before += stretches[i].units;
                pregap = CeilDiv(before, perSector);
            } else if (k > 0 && !t.audio && tracks[k - 1]->audio && !t.spans.empty() &&
                       t.spans.front().kind == TocSpan::Kind::Zero) {
                // The zeros before an Enhanced CD's data track stand for the
                // gap between its sessions: the track starts after them.
                pregap = CeilDiv(stretches.front().units, perSector);
            }
            if (pregap >= sectors) {
                problem = t.where + ": the track " +
                          (sectors == 0 ? "holds nothing" : "ends before its START") + " (" +
                          Msf(sectors) + " long)";
                return false;
            }
            for (const auto& [where, at] : t.indexes) {
                if (pregap + at >= sectors) {
                    problem = where + ": the INDEX lies past the end of its track (" +
                              Msf(sectors - pregap) + " after its START)";
                    return false;
                }
            }
            if (base + sectors > kMaxSectors) {
                problem = "it is longer than a disc can be";
                return false;
            }
            const std::int64_t end = (base + sectors) * kFramesPerSector;
            if (t.audio)
                for (const Stretch& s : stretches)
                    disc_.Add(s.units, s.file, s.fileFrame);
            disc_.Add(end - disc_.EndFrame(), nullptr, 0);
            disc_.table.tracks.push_back({toc.firstNumber + static_cast<int>(k), t.control,
                                          static_cast<std::int32_t>(base + pregap)});
            disc_.text.tracks.push_back({TocText(t.title), TocText(t.performer)});
            base += sectors;
        }
        disc_.table.leadout = static_cast<std::int32_t>(base);
        disc_.text.title = TocText(toc.title);
        disc_.text.performer = TocText(toc.performer);
        return true;
    }

  private:
    // Opens the span's file, once for every way it is read, and checks that
    // it holds what the span takes from it.
    bool Resolve(const TocTrack& t, const TocSpan& span, Stretch& s, std::string& problem) {
        if (span.kind == TocSpan::Kind::Silence || span.kind == TocSpan::Kind::Zero) {
            s.units =
                t.audio && span.kind == TocSpan::Kind::Zero ? CeilDiv(span.length, 4) : span.length;
            return true;
        }
        const bool data = span.kind == TocSpan::Kind::DataFile;
        const bool sound = !data && SoundName(span.file);
        if (sound && (span.swap || span.offset != 0)) {
            problem =
                span.where + ": SWAP and a byte offset (#) are for raw files, not sound files";
            return false;
        }
        const FileForm form{sound, kSectorBytes, !span.swap, span.offset};
        const auto key = std::tuple(span.file, sound, span.swap, span.offset);
        auto found = opened_.find(key);
        if (found == opened_.end()) {
            struct stat info {};
            std::string why;
            auto file = OpenImageFile(folder_, span.file, form, info, why);
            if (!file) {
                problem = span.where + ": " + why;
                return false;
            }
            if (span.offset > info.st_size) {
                problem = span.where + ": the offset lies past the end of " + Quoted(span.file) +
                          " (" + std::to_string(info.st_size) + " bytes)";
                return false;
            }
            const std::int64_t bytes = info.st_size - span.offset;
            found =
                opened_.emplace(key, Opened{file.get(), sound ? file->Frames() : bytes / 4, bytes})
                    .first;
            disc_.files.push_back(std::move(file));
            const std::pair id(info.st_dev, info.st_ino);
            if (std::find(disc_.read.begin(), disc_.read.end(), id) == disc_.read.end())
                disc_.read.push_back(id);
        }
        const Opened& o = found->second;
        // A data file is measured in bytes; in an audio track it holds raw
        // audio all the same.
        const std::int64_t available = data ? o.bytes : o.frames;
        const char* unit = data ? " bytes" : " samples";
        if (span.start > available || span.start + span.length > available) {
            problem = span.where + ": it asks for " + std::to_string(span.start + span.length) +
                      unit + " of " + Quoted(span.file) + ", which holds " +
                      std::to_string(available);
            problem += unit;
            return false;
        }
        const std::int64_t length = span.length ? span.length : available - span.start;
        s.file = t.audio ? o.file : nullptr;
        s.fileFrame = span.start;
        s.units = data && t.audio ? CeilDiv(length, 4) : length;
        return true;
    }

    struct Opened {
        ImageFile* file;
        std::int64_t frames;
        std::int64_t bytes;
    };

    LaidImage& disc_;
    std::string folder_;
    std::map<std::tuple<std::string, bool, bool, std::int64_t>, Opened> opened_;
};

} // namespace

std::unique_ptr<Disc> OpenTocImage(const std::string& tocPath, std::string& problem) {
    auto disc = std::make_unique<LaidImage>();
    std::string text;
    {
        struct stat info {};
        std::string reason;
        Fd fd = OpenRegular(tocPath, info, reason);
        if (fd.get() < 0) {
            problem = "the TOC file cannot be read: " + reason;
            return nullptr;
        }
        if (info.st_size > kMaxTocBytes) {
            problem = "it is too large for a TOC file";
            return nullptr;
        }
        if (!ReadAll(fd.get(), text, kMaxTocBytes)) {
            problem = "the TOC file cannot be read: " + SystemReason();
            return nullptr;
        }
        disc->read.emplace_back(info.st_dev, info.st_ino);
    }
    if (text.find('\0') != std::string::npos) {
        problem = "it is not a text file";
        return nullptr;
    }
    const std::optional<TocFile> toc = ParseToc(text, problem);
    if (!toc)
        return nullptr;
    const auto slash = tocPath.rfind('/');
    TocReader reader(*disc,
                     slash == std::string::npos ? std::string() : tocPath.substr(0, slash + 1));
    if (!reader.Lay(*toc, problem))
        return nullptr;
    return disc;
}

} // namespace akrip::detail
