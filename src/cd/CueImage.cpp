#include "cd/CueImage.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <libcue.h>
#include <sndfile.h>

#include "cd/akrip32.h"
#include "general/modFiles.h"

namespace akrip::detail {
namespace {

constexpr int kFramesPerSector = kSectorBytes / 4;  // stereo, 16 bit
constexpr std::int64_t kMaxSheetBytes = 1 << 20;
// Disc positions are signed 32-bit sector numbers.
constexpr std::int64_t kMaxSectors = std::numeric_limits<std::int32_t>::max();

using Fd = modFiles::UniqueFd;

std::string SystemReason() { return std::strerror(errno); }

std::string Msf(std::int64_t sectors) {
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(sectors / 4500),
                  static_cast<long long>(sectors / 75 % 60), static_cast<long long>(sectors % 75));
    return text;
}

// Reads a whole file; false with errno set when it cannot.
bool ReadAll(int fd, std::string& text, std::int64_t limit) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(n));
        if (static_cast<std::int64_t>(text.size()) > limit) {
            errno = EFBIG;
            return false;
        }
    }
}

// ---- What libcue makes of the sheet -------------------------------------

struct CueTrack {
    std::string file;       // the file its INDEX 01 is in
    std::int64_t index0 = -1;  // frames into that file; -1: none
    std::int64_t index1 = -1;
    std::int64_t postgap = 0;
    int mode = MODE_AUDIO;
    int flags = 0;
};

struct CueParse {
    bool parsed = false;
    std::string complaint;  // the first thing libcue printed, empty if nothing
    std::vector<CueTrack> tracks;
};

void PutNumber(std::string& out, std::int64_t value) { out.append(reinterpret_cast<const char*>(&value), sizeof value); }

void PutText(std::string& out, const std::string& text) {
    PutNumber(out, static_cast<std::int64_t>(text.size()));
    out += text;
}

class WireReader {
public:
    explicit WireReader(std::string_view data) : data_(data) {}
    bool Number(std::int64_t& value) {
        if (data_.size() < sizeof value)
            return false;
        std::memcpy(&value, data_.data(), sizeof value);
        data_.remove_prefix(sizeof value);
        return true;
    }
    bool Text(std::string& text) {
        std::int64_t size = 0;
        if (!Number(size) || size < 0 || static_cast<std::uint64_t>(size) > data_.size())
            return false;
        text.assign(data_.substr(0, static_cast<std::size_t>(size)));
        data_.remove_prefix(static_cast<std::size_t>(size));
        return true;
    }

private:
    std::string_view data_;
};

// Runs in the child: parses, then sends what it printed and what it found.
[[noreturn]] void ParseInChild(const std::string& text, int out) {
    const int messages = ::memfd_create("libcue-messages", 0);
    if (messages >= 0)
        ::dup2(messages, STDERR_FILENO);
    Cd* cd = cue_parse_string(text.c_str());
    std::string printed;
    if (messages >= 0 && ::lseek(messages, 0, SEEK_SET) == 0)
        ReadAll(messages, printed, kMaxSheetBytes);
    std::string wire;
    PutText(wire, printed);
    PutNumber(wire, cd ? 1 : 0);
    const int count = cd ? cd_get_ntrack(cd) : 0;
    PutNumber(wire, count);
    for (int i = 1; i <= count; ++i) {
        const Track* track = cd_get_track(cd, i);
        const char* file = track_get_filename(track);
        PutText(wire, file ? file : "");
        PutNumber(wire, track_get_index(track, 0));
        PutNumber(wire, track_get_index(track, 1));
        PutNumber(wire, track_get_zero_post(track));
        PutNumber(wire, track_get_mode(track));
        PutNumber(wire, track_is_set_flag(track, FLAG_ANY));
    }
    ::_exit(modFiles::WriteAll(out, wire.data(), wire.size()) ? 0 : 1);
}

// libcue keeps its parser state in globals that a broken sheet leaves behind
// (the scanner's mode, the line count, an end-of-input toggle), so the next
// sheet parsed in the same process can come out wrong; and it prints its
// complaints to stderr. So every sheet is parsed in a child process of its
// own, which starts from libcue's pristine state and hands back, through a
// pipe, what it printed and what it found. The child only parses and
// writes, then leaves without running any exit handlers; glibc keeps malloc
// usable after fork.
bool ParseWithLibcue(const std::string& text, CueParse& result, std::string& problem) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        problem = "cannot start reading it: " + SystemReason();
        return false;
    }
    Fd readEnd(ends[0]);
    Fd writeEnd(ends[1]);
    const pid_t child = ::fork();
    if (child < 0) {
        problem = "cannot start reading it: " + SystemReason();
        return false;
    }
    if (child == 0)
        ParseInChild(text, writeEnd.get());
    writeEnd.Close();  // so the read below ends when the child does
    std::string wire;
    const bool received = ReadAll(readEnd.get(), wire, 64 * kMaxSheetBytes);
    readEnd.Close();  // a child still writing then ends rather than waits
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        problem = "libcue failed while reading it";
        return false;
    }
    WireReader in(wire);
    std::string printed;
    std::int64_t parsed = 0;
    std::int64_t count = 0;
    bool ok = in.Text(printed) && in.Number(parsed) && in.Number(count) && count >= 0;
    for (std::int64_t i = 0; ok && i < count; ++i) {
        CueTrack t;
        std::int64_t mode = 0;
        std::int64_t flags = 0;
        ok = in.Text(t.file) && in.Number(t.index0) && in.Number(t.index1) && in.Number(t.postgap) &&
             in.Number(mode) && in.Number(flags);
        t.postgap = std::max<std::int64_t>(t.postgap, 0);
        t.mode = static_cast<int>(mode);
        t.flags = static_cast<int>(flags);
        result.tracks.push_back(std::move(t));
    }
    if (!ok) {
        problem = "libcue failed while reading it";
        return false;
    }
    result.parsed = parsed != 0;
    // The first complaint that names a line says most; "bad character"
    // names none.
    std::string_view rest = printed;
    while (!rest.empty() && result.complaint.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        if (!line.empty() && line.front() >= '0' && line.front() <= '9')
            result.complaint = line;
    }
    if (result.complaint.empty())
        result.complaint = printed.substr(0, printed.find('\n'));
    return true;
}

// libcue prints "7: syntax error" for line 4: its scanner counts every line
// end twice. It notices a line that ends too soon only at the next one, so
// the line it names is "near" the fault.
std::string Complaint(const std::string& printed) {
    long reported = 0;
    const auto [end, ec] = std::from_chars(printed.data(), printed.data() + printed.size(), reported);
    if (ec != std::errc() || !std::string_view(end).starts_with(": "))
        return printed;
    return "near line " + std::to_string((reported + 1) / 2) + end;
}

// ---- What libcue leaves out ----------------------------------------------
// libcue keeps neither the TRACK numbers, nor the FILE types, nor PREGAP
// apart from INDEX 00 gaps. A light pass over the lines takes them; libcue
// has already judged the syntax.

struct SheetFile {
    std::string name;
    std::string type;
};

struct SheetTrack {
    std::int64_t number = 0;
    std::size_t file = 0;  // the FILE its INDEX 01 follows
    std::int64_t pregap = 0;
};

struct SheetScan {
    std::vector<SheetFile> files;
    std::vector<SheetTrack> tracks;
};

std::string_view NextToken(std::string_view& line) {
    const auto start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    // A quote without its closing one on the line counts as a plain word.
    std::size_t end = line.front() == '"' || line.front() == '\'' ? line.find(line.front(), 1) : std::string_view::npos;
    if (end != std::string_view::npos) {
        const std::string_view token = line.substr(1, end - 1);
        line.remove_prefix(end + 1);
        return token;
    }
    end = std::min(line.find_first_of(" \t\r"), line.size());
    const std::string_view token = line.substr(0, end);
    line.remove_prefix(end);
    return token;
}

// "mm:ss:ff" or a plain number of frames; -1 when it is neither or too big.
std::int64_t Frames(std::string_view text) {
    std::int64_t total = 0;
    int parts = 0;
    while (parts < 3) {
        const auto colon = text.find(':');
        const std::string_view piece = text.substr(0, colon);
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || ec != std::errc() || end != piece.data() + piece.size() || value > kMaxSectors)
            return -1;
        total = parts == 0 ? value : total * (parts == 1 ? 60 : 75) + value;
        ++parts;
        if (colon == std::string_view::npos)
            break;
        text.remove_prefix(colon + 1);
    }
    return parts == 2 || total > kMaxSectors ? -1 : total;
}

SheetScan ScanSheet(std::string_view text) {
    SheetScan scan;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        const std::string_view keyword = NextToken(line);
        if (keyword == "FILE") {
            SheetFile file;
            file.name = NextToken(line);
            file.type = NextToken(line);
            scan.files.push_back(std::move(file));
        } else if (keyword == "TRACK") {
            SheetTrack track;
            track.number = std::max<std::int64_t>(Frames(NextToken(line)), 0);
            track.file = scan.files.empty() ? 0 : scan.files.size() - 1;
            scan.tracks.push_back(track);
        } else if (keyword == "INDEX" && !scan.tracks.empty() && !scan.files.empty() && Frames(NextToken(line)) == 1) {
            scan.tracks.back().file = scan.files.size() - 1;
        } else if (keyword == "PREGAP" && !scan.tracks.empty()) {
            scan.tracks.back().pregap = Frames(NextToken(line));
        }
    }
    return scan;
}

// ---- The files ------------------------------------------------------------

class ImageFile {
public:
    virtual ~ImageFile() = default;
    std::int64_t Sectors() const { return sectors_; }
    // count sectors from `sector` (all within Sectors()); what lies past the
    // end of the file's data reads as silence.
    virtual bool Read(std::int64_t sector, std::int64_t count, unsigned char* out) = 0;

protected:
    std::int64_t sectors_ = 0;
};

// BINARY and MOTOROLA files: sectors of blockBytes each (2352 for audio;
// smaller for cooked data tracks, whose bytes are delivered at the start of
// each 2352-byte sector).
class RawFile final : public ImageFile {
public:
    RawFile(Fd fd, std::int64_t size, int blockBytes, bool bigEndian)
        : fd_(std::move(fd)), size_(size), blockBytes_(blockBytes), bigEndian_(bigEndian) {
        sectors_ = (size + blockBytes - 1) / blockBytes;
    }

    bool Read(std::int64_t sector, std::int64_t count, unsigned char* out) override {
        if (blockBytes_ == kSectorBytes)
            return ReadSpan(sector * kSectorBytes, count * kSectorBytes, out);
        for (std::int64_t i = 0; i < count; ++i) {
            unsigned char* at = out + i * kSectorBytes;
            std::memset(at + blockBytes_, 0, static_cast<std::size_t>(kSectorBytes - blockBytes_));
            if (!ReadSpan((sector + i) * blockBytes_, blockBytes_, at))
                return false;
        }
        return true;
    }

private:
    bool ReadSpan(std::int64_t offset, std::int64_t bytes, unsigned char* out) {
        const std::int64_t wanted = std::clamp<std::int64_t>(size_ - offset, 0, bytes);
        std::int64_t done = 0;
        while (done < wanted) {
            const ssize_t n = ::pread(fd_.get(), out + done, static_cast<std::size_t>(wanted - done), offset + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;  // an error, or the file shrank since it was opened
            done += n;
        }
        std::memset(out + wanted, 0, static_cast<std::size_t>(bytes - wanted));
        if (bigEndian_)
            for (std::int64_t i = 0; i + 1 < wanted; i += 2)
                std::swap(out[i], out[i + 1]);
        return true;
    }

    Fd fd_;
    std::int64_t size_;
    int blockBytes_;
    bool bigEndian_;
};

struct SndfileCloser {
    void operator()(SNDFILE* f) const noexcept { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// WAVE, AIFF and FLAC files, decoded by libsndfile. Reads usually follow one
// another, so the file is sought only when a read starts elsewhere.
class SoundFile final : public ImageFile {
public:
    SoundFile(Fd fd, SndfilePtr file, std::int64_t frames)
        : fd_(std::move(fd)), file_(std::move(file)), frames_(frames) {
        sectors_ = (frames + kFramesPerSector - 1) / kFramesPerSector;
    }

    bool Read(std::int64_t sector, std::int64_t count, unsigned char* out) override {
        const std::int64_t first = sector * kFramesPerSector;
        const std::int64_t wanted = std::clamp<std::int64_t>(frames_ - first, 0, count * kFramesPerSector);
        if (wanted > 0) {
            if (position_ != first && sf_seek(file_.get(), first, SEEK_SET) != first) {
                position_ = -1;
                return false;
            }
            samples_.resize(static_cast<std::size_t>(wanted) * 2);
            const sf_count_t got = sf_readf_short(file_.get(), samples_.data(), wanted);
            position_ = got == wanted ? first + wanted : -1;
            if (got != wanted)
                return false;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(out, samples_.data(), static_cast<std::size_t>(wanted) * 4);
            } else {
                for (std::size_t i = 0; i < samples_.size(); ++i) {
                    const auto v = static_cast<std::uint16_t>(samples_[i]);
                    out[2 * i] = static_cast<unsigned char>(v & 0xff);
                    out[2 * i + 1] = static_cast<unsigned char>(v >> 8);
                }
            }
        }
        std::memset(out + wanted * 4, 0, static_cast<std::size_t>(count * kSectorBytes - wanted * 4));
        return true;
    }

private:
    Fd fd_;  // libsndfile reads through it; declared first, so closed last
    SndfilePtr file_;
    std::int64_t frames_;
    std::int64_t position_ = 0;
    std::vector<short> samples_;
};

int BlockBytes(int mode) {
    switch (mode) {
    case MODE_MODE1:
    case MODE_MODE2_FORM1: return 2048;
    case MODE_MODE2: return 2336;
    case MODE_MODE2_FORM2: return 2324;
    case MODE_MODE2_FORM_MIX: return 2332;
    default: return kSectorBytes;
    }
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// A FIFO would block the open, and a device or folder is no image file, so
// only regular files are read.
Fd OpenRegular(const std::string& path, std::int64_t& size, std::string& reason) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        reason = SystemReason();
        return Fd();
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "not a file";
        return Fd();
    }
    size = info.st_size;
    return fd;
}

std::unique_ptr<ImageFile> OpenFile(const std::string& folder, const SheetFile& file, int blockBytes,
                                    std::string& problem) {
    const std::string path = !file.name.empty() && file.name.front() == '/' ? file.name : folder + file.name;
    const std::string named = Quoted(file.name) + " (" + path + ")";
    const bool raw = file.type == "BINARY" || file.type == "MOTOROLA";
    if (!raw && file.type != "WAVE" && file.type != "AIFF" && file.type != "FLAC") {
        problem = named + " is of type " + file.type + "; only BINARY, MOTOROLA, WAVE, AIFF and FLAC files can be read";
        return nullptr;
    }
    std::int64_t size = 0;
    std::string reason;
    Fd fd = OpenRegular(path, size, reason);
    if (fd.get() < 0) {
        problem = "cannot open " + named + ": " + reason;
        return nullptr;
    }
    if (raw)
        return std::make_unique<RawFile>(std::move(fd), size, blockBytes, file.type == "MOTOROLA");
    SF_INFO info{};
    SndfilePtr sound(sf_open_fd(fd.get(), SFM_READ, &info, SF_FALSE));
    if (!sound) {
        problem = "cannot read " + named + " as WAVE, AIFF or FLAC: " + sf_strerror(nullptr);
        return nullptr;
    }
    // Anything else would have to be converted, and a disc holds exactly this.
    const char* wrong = nullptr;
    std::string form;
    if (info.samplerate != 44100) {
        form = std::to_string(info.samplerate) + " Hz";
    } else if (info.channels != 2) {
        form = std::to_string(info.channels) + "-channel";
    } else if ((info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) {
        wrong = "not 16-bit";
    }
    if (!form.empty() || wrong) {
        problem = named + " holds " + (wrong ? wrong : form.c_str()) +
                  " audio; only 16-bit stereo at 44100 Hz, as on a CD, can be read (convert it first)";
        return nullptr;
    }
    // A stream that does not say its length cannot be laid out as a disc.
    if (info.frames < 0 || info.frames > kMaxSectors * kFramesPerSector) {
        problem = named + " does not say how long it is, or is longer than a disc can be";
        return nullptr;
    }
    return std::make_unique<SoundFile>(std::move(fd), std::move(sound), info.frames);
}

// ---- The disc -------------------------------------------------------------

class CueImage final : public Disc {
public:
    // A stretch of the disc: from one file, or silence (file null).
    struct Piece {
        std::int64_t start = 0;
        std::int64_t sectors = 0;
        ImageFile* file = nullptr;
        std::int64_t fileSector = 0;
    };

    std::vector<std::unique_ptr<ImageFile>> files;
    std::vector<Piece> pieces;  // in disc order, back to back from sector 0
    DiscTable table;

    std::optional<DiscTable> Table() override { return table; }
    std::int32_t ReadableEnd() override { return table.leadout; }

    bool Read(std::int32_t start, std::uint32_t count, unsigned char* out) override {
        std::int64_t at = start;
        const std::int64_t end = at + count;
        auto piece = std::upper_bound(pieces.begin(), pieces.end(), at,
                                      [](std::int64_t sector, const Piece& p) { return sector < p.start; });
        --piece;  // the caller keeps within the disc, whose first piece starts at 0
        for (; at < end; ++piece) {
            const std::int64_t offset = at - piece->start;
            const std::int64_t n = std::min(end, piece->start + piece->sectors) - at;
            unsigned char* into = out + (at - start) * kSectorBytes;
            if (!piece->file)
                std::memset(into, 0, static_cast<std::size_t>(n) * kSectorBytes);
            else if (!piece->file->Read(piece->fileSector + offset, n, into))
                return false;
            at += n;
        }
        return true;
    }
};

// Lays the files back to back (the "data" positions below), cuts tracks at
// their INDEX 01 and inserts PREGAP and POSTGAP silence where the data of the
// next track begins: at its INDEX 00 when it has one in the same file.
bool Lay(CueImage& disc, const SheetScan& scan, const CueParse& cue, std::string& problem) {
    std::vector<std::int64_t> fileStart;
    std::int64_t data = 0;
    for (const auto& file : disc.files) {
        fileStart.push_back(data);
        data += file->Sectors();
    }
    std::int64_t laid = 0;  // data laid so far
    std::int64_t discAt = 0;
    auto addData = [&](std::int64_t until) {
        for (std::size_t f = 0; f < disc.files.size() && laid < until; ++f) {
            const std::int64_t end = fileStart[f] + disc.files[f]->Sectors();
            if (laid >= end)
                continue;
            const std::int64_t n = std::min(until, end) - laid;
            disc.pieces.push_back({discAt, n, disc.files[f].get(), laid - fileStart[f]});
            discAt += n;
            laid += n;
        }
    };
    auto addSilence = [&](std::int64_t n) {
        if (n > 0)
            disc.pieces.push_back({discAt, n, nullptr, 0});
        discAt += n;
    };
    std::int64_t previousIndex1 = -1;
    std::int64_t postgap = 0;
    for (std::size_t k = 0; k < cue.tracks.size(); ++k) {
        const CueTrack& t = cue.tracks[k];
        const SheetTrack& s = scan.tracks[k];
        const std::string name = "TRACK " + std::to_string(s.number);
        const ImageFile& file = *disc.files[s.file];
        if (t.index1 < 0) {
            problem = name + " has no INDEX 01";
            return false;
        }
        if (t.index1 >= file.Sectors()) {
            problem = name + " starts at " + Msf(t.index1) + ", past the end of " + Quoted(scan.files[s.file].name) +
                      " (" + Msf(file.Sectors()) + " long)";
            return false;
        }
        const std::int64_t index1 = fileStart[s.file] + t.index1;
        if (index1 <= previousIndex1) {
            problem = "tracks out of order: " + name + " does not start after the track before it";
            return false;
        }
        const std::int64_t index0 =
            t.index0 >= 0 && t.index0 <= t.index1 ? std::max(fileStart[s.file] + t.index0, previousIndex1 + 1) : index1;
        if (s.pregap < 0) {
            problem = name + " has a PREGAP that is not a time";
            return false;
        }
        addData(index0);
        addSilence(postgap + s.pregap);
        const std::int64_t start = discAt + (index1 - index0);
        if (start > kMaxSectors) {
            problem = "it is longer than a disc can be";
            return false;
        }
        std::uint8_t control = static_cast<std::uint8_t>(t.flags & (kPreEmphasis | kCopyPermitted | kFourChannel));
        if (t.mode != MODE_AUDIO)
            control |= kDataTrack;
        disc.table.tracks.push_back({static_cast<int>(s.number), control, static_cast<std::int32_t>(start)});
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
    return true;
}

}  // namespace

std::unique_ptr<Disc> OpenCueImage(const std::string& sheetPath, std::string& problem) {
    std::string text;
    {
        std::int64_t size = 0;
        std::string reason;
        Fd fd = OpenRegular(sheetPath, size, reason);
        if (fd.get() < 0) {
            problem = "the sheet cannot be read: " + reason;
            return nullptr;
        }
        if (size > kMaxSheetBytes) {
            problem = "it is too large for a CUE sheet";
            return nullptr;
        }
        if (!ReadAll(fd.get(), text, kMaxSheetBytes)) {
            problem = "the sheet cannot be read: " + SystemReason();
            return nullptr;
        }
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
    if (!ParseWithLibcue(text, cue, problem))
        return nullptr;
    if (!cue.complaint.empty() || !cue.parsed) {
        problem = cue.complaint.empty() ? "libcue cannot read it" : Complaint(cue.complaint);
        return nullptr;
    }
    const SheetScan scan = ScanSheet(text);
    if (cue.tracks.empty()) {
        problem = "it has no TRACK";
        return nullptr;
    }
    if (scan.tracks.size() != cue.tracks.size()) {
        problem = "its TRACK lines cannot be told apart; put each on a line of its own";
        return nullptr;
    }
    for (std::size_t k = 0; k < scan.tracks.size(); ++k) {
        const std::int64_t number = scan.tracks[k].number;
        const std::int64_t expected = k == 0 ? number : scan.tracks[k - 1].number + 1;
        if (number < 1 || number > 99 || number != expected) {
            problem = "tracks out of order: TRACK " + std::to_string(number) +
                      (k == 0 ? " cannot be a first track" : " follows TRACK " + std::to_string(scan.tracks[k - 1].number)) +
                      "; track numbers rise by one, from 1 to 99";
            return nullptr;
        }
        // The file comes from our pass over the lines, which follows the
        // sheet where libcue loses track (a FILE between INDEX 00 and INDEX
        // 01); libcue's name must still be one the sheet gives.
        if (std::none_of(scan.files.begin(), scan.files.end(),
                         [&](const SheetFile& f) { return f.name == cue.tracks[k].file; })) {
            problem = "the FILE of TRACK " + std::to_string(number) + " cannot be told apart";
            return nullptr;
        }
    }
    if (std::none_of(cue.tracks.begin(), cue.tracks.end(), [](const CueTrack& t) { return t.mode == MODE_AUDIO; })) {
        problem = "it holds no audio track";
        return nullptr;
    }

    // A file's sectors are as long as the mode of the tracks in it says.
    std::vector<int> blockBytes(scan.files.size(), 0);
    for (std::size_t k = 0; k < cue.tracks.size(); ++k) {
        int& bytes = blockBytes[scan.tracks[k].file];
        const int wanted = BlockBytes(cue.tracks[k].mode);
        if (bytes != 0 && bytes != wanted) {
            problem = Quoted(scan.files[scan.tracks[k].file].name) + " mixes tracks of different sector sizes";
            return nullptr;
        }
        bytes = wanted;
    }
    const auto slash = sheetPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : sheetPath.substr(0, slash + 1);
    auto disc = std::make_unique<CueImage>();
    for (std::size_t f = 0; f < scan.files.size(); ++f) {
        auto file = OpenFile(folder, scan.files[f], blockBytes[f] ? blockBytes[f] : kSectorBytes, problem);
        if (!file)
            return nullptr;
        disc->files.push_back(std::move(file));
    }
    if (!Lay(*disc, scan, cue, problem))
        return nullptr;
    return disc;
}

}  // namespace akrip::detail
