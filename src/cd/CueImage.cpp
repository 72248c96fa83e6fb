#include "cd/CueImage.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
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
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <libcue.h>
#include <sndfile.h>

#include <QString>
#include <QStringDecoder>

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

// ---- What libcue leaves out, and what it misreads -------------------------
// libcue keeps neither the TRACK numbers, nor the FILE types, nor PREGAP
// apart from INDEX 00 gaps, and it reads numbers into 32-bit integers that
// wrap without a word ("INDEX 01 954437:11:71" lands at sector 100). A light
// pass over the lines takes what it leaves out and checks every number it
// would misread; libcue has already judged the rest of the syntax.

struct SheetFile {
    std::string name;
    std::string type;
};

struct SheetTrack {
    std::string number;  // as written
    std::string line;    // "line 4, \"TRACK 02 AUDIO\"" for messages
    std::size_t file = 0;  // the FILE its INDEX 01 follows
    std::int64_t pregap = 0;
    std::string title;  // bytes as in the sheet
    std::string performer;
};

struct SheetScan {
    std::vector<SheetFile> files;
    std::vector<SheetTrack> tracks;
    std::string title;
    std::string performer;
    std::string problem;  // the first number out of range, naming its line
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

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A number of plain digits, held at a value past any limit when it is too
// long for 64 bits; nothing when it is not a number.
std::optional<std::uint64_t> Digits(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    constexpr std::uint64_t kPastAny = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (const char c : text)
        value = value > (kPastAny - 9) / 10 ? kPastAny : value * 10 + static_cast<unsigned>(c - '0');
    return value;
}

enum class TimeIs { Good, Malformed, TooFar };

// "mm:ss:ff" or a plain number of frames, within a signed 32-bit sector
// number: what the table of contents holds, and what libcue counts without
// wrapping.
TimeIs ReadTime(std::string_view text, std::int64_t& frames) {
    std::vector<std::uint64_t> parts;
    for (;;) {
        const auto colon = text.find(':');
        const auto part = Digits(text.substr(0, colon));
        if (!part)
            return TimeIs::Malformed;
        parts.push_back(*part);
        if (colon == std::string_view::npos)
            break;
        text.remove_prefix(colon + 1);
    }
    if (parts.size() == 3 && (parts[1] >= 60 || parts[2] >= 75))
        return TimeIs::Malformed;
    if (parts.size() != 1 && parts.size() != 3)
        return TimeIs::Malformed;
    const std::uint64_t limit = kMaxSectors;
    if (parts[0] > limit)
        return TimeIs::TooFar;
    const std::uint64_t total = parts.size() == 1 ? parts[0] : parts[0] * 4500 + parts[1] * 75 + parts[2];
    if (total > limit)
        return TimeIs::TooFar;
    frames = static_cast<std::int64_t>(total);
    return TimeIs::Good;
}

// The message must stay one short line, whatever the sheet holds.
std::string LineName(int number, std::string_view line) {
    std::string shown(Trimmed(line));
    std::replace_if(shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    if (shown.size() > 80) {
        std::size_t cut = 80;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
            --cut;
        shown.replace(cut, std::string::npos, "\u2026");
    }
    return "line " + std::to_string(number) + ", \"" + shown + "\"";
}

// The words of a TITLE or PERFORMER line: quoted, or the rest of the line.
std::string TextValue(std::string_view rest) {
    rest = Trimmed(rest);
    if (rest.size() >= 2 && rest.front() == '"') {
        const auto close = rest.find('"', 1);
        return std::string(rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    }
    return std::string(rest);
}

SheetScan ScanSheet(std::string_view text) {
    SheetScan scan;
    std::vector<std::uint64_t> indexes;  // the numbers the current track has
    for (int number = 1; !text.empty() && scan.problem.empty(); ++number) {
        const auto newline = text.find('\n');
        const std::string_view whole = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        std::string_view line = whole;
        const std::string_view keyword = NextToken(line);
        auto refuse = [&](const std::string& why) { scan.problem = LineName(number, whole) + ": " + why; };
        auto time = [&](std::string_view written, std::int64_t& frames) {
            switch (ReadTime(written, frames)) {
            case TimeIs::Good: return true;
            case TimeIs::Malformed:
                refuse("times are minutes:seconds:frames, with seconds below 60 and frames below 75");
                return false;
            case TimeIs::TooFar: refuse("the time lies beyond what a disc can address"); return false;
            }
            return false;
        };
        if (keyword == "FILE") {
            SheetFile file;
            file.name = NextToken(line);
            file.type = NextToken(line);
            scan.files.push_back(std::move(file));
        } else if (keyword == "TRACK") {
            SheetTrack track;
            track.number = NextToken(line);
            track.line = LineName(number, whole);
            track.file = scan.files.empty() ? 0 : scan.files.size() - 1;
            scan.tracks.push_back(std::move(track));
            indexes.clear();
        } else if (keyword == "INDEX") {
            const std::string_view written = NextToken(line);
            const auto index = Digits(written);
            std::int64_t frames = 0;
            if (!index || *index > 99) {
                refuse("index numbers run from 00 to 99");
            } else if (!scan.tracks.empty() && std::find(indexes.begin(), indexes.end(), *index) != indexes.end()) {
                refuse("TRACK " + scan.tracks.back().number + " has INDEX " + std::string(written) + " already");
            } else if (time(NextToken(line), frames)) {
                indexes.push_back(*index);
                if (*index == 1 && !scan.tracks.empty() && !scan.files.empty())
                    scan.tracks.back().file = scan.files.size() - 1;
            }
        } else if (keyword == "PREGAP" || keyword == "POSTGAP") {
            std::int64_t frames = 0;
            if (time(NextToken(line), frames) && keyword == "PREGAP" && !scan.tracks.empty())
                scan.tracks.back().pregap = frames;
        } else if (keyword == "TITLE" || keyword == "PERFORMER") {
            const bool title = keyword == "TITLE";
            if (scan.tracks.empty())
                (title ? scan.title : scan.performer) = TextValue(line);
            else
                (title ? scan.tracks.back().title : scan.tracks.back().performer) = TextValue(line);
        }
    }
    return scan;
}

// Sheet text is UTF-8 when it decodes as such; sheets from Windows are
// mostly in its Western code page, which is also what a UTF-8 locale leaves
// us to guess. An 8-bit locale names its own.
std::string Cp1252ToUtf8(std::string_view bytes) {
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t{b});
    }
    return text.toStdString();
}

std::string FromLocale(std::string_view bytes) {
    const std::string codeset = ::nl_langinfo(CODESET);
    if (codeset == "UTF-8" || codeset == "ANSI_X3.4-1968")
        return Cp1252ToUtf8(bytes);
    const iconv_t convert = ::iconv_open("UTF-8", codeset.c_str());
    if (convert == reinterpret_cast<iconv_t>(-1))
        return Cp1252ToUtf8(bytes);
    std::string in(bytes);
    std::string out(bytes.size() * 4, '\0');
    char* from = in.data();
    char* to = out.data();
    std::size_t fromLeft = in.size();
    std::size_t toLeft = out.size();
    const bool done = ::iconv(convert, &from, &fromLeft, &to, &toLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(convert);
    if (!done)
        return Cp1252ToUtf8(bytes);
    out.resize(out.size() - toLeft);
    return out;
}

std::string SheetText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // Only decoding finds the errors.
    const QString decoded = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? FromLocale(bytes) : bytes;
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
// another, so the file is sought only when a read starts elsewhere. A failed
// read leaves libsndfile's decoder unusable (a damaged FLAC frame stops every
// later read of the file), so the next read opens the file afresh: only the
// damaged stretch stays unreadable.
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
            if (!file_ && !Reopen())
                return false;
            if (position_ != first && sf_seek(file_.get(), first, SEEK_SET) != first) {
                file_.reset();
                return false;
            }
            samples_.resize(static_cast<std::size_t>(wanted) * 2);
            const sf_count_t got = sf_readf_short(file_.get(), samples_.data(), wanted);
            if (got != wanted) {
                file_.reset();
                return false;
            }
            position_ = first + wanted;
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
    // libsndfile takes the descriptor's offset for the start of the file.
    bool Reopen() {
        if (::lseek(fd_.get(), 0, SEEK_SET) != 0)
            return false;
        SF_INFO info{};
        file_.reset(sf_open_fd(fd_.get(), SFM_READ, &info, SF_FALSE));
        position_ = 0;
        return file_ != nullptr;
    }

    Fd fd_;  // libsndfile reads through it; declared first, so closed last
    SndfilePtr file_;  // null after a failed read
    std::int64_t frames_;
    std::int64_t position_ = 0;
    std::vector<short> samples_;
};

// The frames a WAVE or AIFF header says the file holds, or -1 when it says
// no number (a stream written without seeking back), or it is neither.
// libsndfile quietly takes a header that promises more than the file holds
// at the file's length, so every later file of the sheet would start too
// early; a FLAC file cut short keeps its header's length, and fails where
// its audio ends. Both must do the latter.
std::int64_t PromisedFrames(int fd, std::int64_t fileSize) {
    unsigned char head[12];
    auto readAt = [&](std::int64_t offset, unsigned char* to, std::size_t n) {
        return ::pread(fd, to, n, offset) == static_cast<ssize_t>(n);
    };
    if (!readAt(0, head, sizeof head))
        return -1;
    const bool riff = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
    const bool aiff = std::memcmp(head, "FORM", 4) == 0 &&
                      (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0);
    if (!riff && !aiff)
        return -1;
    auto number = [&](const unsigned char* b) {  // RIFF is little-endian, AIFF big-endian
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | b[riff ? 3 - i : i];
        return value;
    };
    for (std::int64_t at = 12; at + 8 <= fileSize;) {
        unsigned char chunk[14];
        if (!readAt(at, chunk, 8))
            return -1;
        const std::uint32_t size = number(chunk + 4);
        if (riff && std::memcmp(chunk, "data", 4) == 0)
            return size == 0 || size == 0xFFFFFFFF ? -1 : size / 4;  // 16-bit stereo, checked before
        if (aiff && std::memcmp(chunk, "COMM", 4) == 0)
            return readAt(at + 8, chunk, 6) ? number(chunk + 2) : -1;
        at += 8 + std::int64_t{size} + (size & 1);
    }
    return -1;
}

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
Fd OpenRegular(const std::string& path, struct stat& info, std::string& reason) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        reason = SystemReason();
        return Fd();
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "not a file";
        return Fd();
    }
    return fd;
}

// ---- Finding a FILE -------------------------------------------------------
// Most sheets were written on Windows and copied here with their audio: the
// names use "\" between folders, may differ from the files in letter case
// (which Windows ignores), and the audio has often since been converted to
// another format under the same name.

constexpr std::size_t kMaxCandidates = 16;

bool Folded(const std::string& a, const QString& foldedB) {
    return QString::fromUtf8(a).toCaseFolded() == foldedB;
}

// Paths under `folder` ("" for the current one, else ending in "/") that
// name `relative` when letter case is ignored.
std::vector<std::string> CaseInsensitive(const std::string& folder, std::string_view relative) {
    std::vector<std::string> paths{folder};
    while (!relative.empty() && !paths.empty()) {
        const auto slash = relative.find('/');
        const std::string part(relative.substr(0, slash));
        relative.remove_prefix(slash == std::string_view::npos ? relative.size() : slash + 1);
        const std::string after = slash == std::string_view::npos ? "" : "/";
        if (part.empty() || part == "." || part == "..") {
            for (std::string& p : paths)
                p += part.empty() ? "" : part + after;
            continue;
        }
        const QString wanted = QString::fromUtf8(part).toCaseFolded();
        std::vector<std::string> next;
        for (const std::string& p : paths) {
            std::error_code ec;
            for (std::filesystem::directory_iterator it(p.empty() ? "." : p, ec), end; !ec && it != end;
                 it.increment(ec)) {
                const std::string name = it->path().filename().string();
                if (Folded(name, wanted) && next.size() < kMaxCandidates)
                    next.push_back(p + name + after);
            }
        }
        paths = std::move(next);
    }
    return paths;
}

// Only what stat cannot find counts as missing: a file we may not read is
// reported by its open.
bool Present(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG);
}

// The file a FILE line names: as written, with "\" read as "/"; else by its
// base name in the sheet's folder; else either ignoring letter case; else,
// for sound files, under another audio extension. Empty, with `problem`
// said, when there is none, or more than one at the step that finds any.
std::string FindFile(const std::string& folder, const std::string& written, bool sound, std::string& problem) {
    std::string name = written;
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool absolute = !name.empty() && name.front() == '/';
    const std::string named = absolute ? name : folder + name;
    const auto cut = name.rfind('/');
    const std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    const std::string nameFolder = cut == std::string::npos ? "" : name.substr(0, cut + 1);
    const bool elsewhere = absolute || !nameFolder.empty();
    // On Linux "\" may be part of a name, so the name exactly as written
    // comes first.
    const std::string literal = !written.empty() && written.front() == '/' ? written : folder + written;
    const bool backslash = written.find('\\') != std::string::npos;
    if (backslash && Present(literal))
        return literal;
    if (Present(named))
        return named;
    if (elsewhere && Present(folder + base))
        return folder + base;

    auto unique = [&](const std::vector<std::string>& candidates) -> std::optional<std::string> {
        std::vector<std::string> kept;
        std::vector<std::pair<dev_t, ino_t>> ids;
        for (const std::string& c : candidates) {
            struct stat info {};
            if (::stat(c.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
                continue;
            if (std::find(ids.begin(), ids.end(), std::pair(info.st_dev, info.st_ino)) != ids.end())
                continue;
            ids.emplace_back(info.st_dev, info.st_ino);
            kept.push_back(c);
        }
        if (kept.size() == 1)
            return kept.front();
        if (kept.empty())
            return std::nullopt;
        problem = Quoted(written) + " could be any of";
        for (std::size_t i = 0; i < kept.size(); ++i)
            problem += (i == 0 ? " " : ", ") + kept[i];
        problem += "; keep one, or name it in the sheet exactly";
        return std::string();
    };
    auto anyCase = [&](const std::string& file) {
        std::vector<std::string> found =
            CaseInsensitive(absolute ? "/" : folder, (absolute ? name.substr(1) : nameFolder) + file);
        if (elsewhere)
            for (std::string& path : CaseInsensitive(folder, file))
                found.push_back(std::move(path));
        return found;
    };
    if (auto path = unique(anyCase(base)))
        return *path;

    static constexpr const char* kSoundExtensions[] = {".flac", ".wav", ".aiff", ".aif"};
    const auto dot = base.rfind('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const QString extension = QString::fromUtf8(dot == std::string::npos ? "" : base.substr(dot)).toCaseFolded();
    std::string others;
    if (sound) {
        std::vector<std::string> found;
        for (const char* other : kSoundExtensions) {
            if (QLatin1StringView(other) == extension)
                continue;
            others += std::string(others.empty() ? "" : ", ") + other;
            for (std::string& path : anyCase(stem + other))
                found.push_back(std::move(path));
        }
        if (auto path = unique(found))
            return *path;
    }
    problem = "cannot find " + Quoted(written) + ": looked for " + (backslash ? literal + ", " : "") + named;
    if (elsewhere)
        problem += " and " + folder + base;
    problem += ", in any letter case";
    if (sound)
        problem += ", and as " + others;
    return {};
}

std::unique_ptr<ImageFile> OpenFile(const std::string& folder, const SheetFile& file, int blockBytes,
                                    struct stat& info, std::string& problem) {
    const bool raw = file.type == "BINARY" || file.type == "MOTOROLA";
    if (!raw && file.type != "WAVE" && file.type != "AIFF" && file.type != "FLAC") {
        problem = Quoted(file.name) + " is of type " + file.type +
                  "; only BINARY, MOTOROLA, WAVE, AIFF and FLAC files can be read";
        return nullptr;
    }
    const std::string path = FindFile(folder, file.name, !raw, problem);
    if (path.empty())
        return nullptr;
    const std::string named = Quoted(file.name) + " (" + path + ")";
    std::string reason;
    Fd fd = OpenRegular(path, info, reason);
    if (fd.get() < 0) {
        problem = "cannot open " + named + ": " + reason;
        return nullptr;
    }
    if (raw)
        return std::make_unique<RawFile>(std::move(fd), info.st_size, blockBytes, file.type == "MOTOROLA");
    SF_INFO sound{};
    SndfilePtr decoder(sf_open_fd(fd.get(), SFM_READ, &sound, SF_FALSE));
    if (!decoder) {
        problem = "cannot read " + named + " as WAVE, AIFF or FLAC: " + sf_strerror(nullptr);
        return nullptr;
    }
    // Anything else would have to be converted, and a disc holds exactly this.
    const char* wrong = nullptr;
    std::string form;
    if (sound.samplerate != 44100) {
        form = std::to_string(sound.samplerate) + " Hz";
    } else if (sound.channels != 2) {
        form = std::to_string(sound.channels) + "-channel";
    } else if ((sound.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) {
        wrong = "not 16-bit";
    }
    if (!form.empty() || wrong) {
        problem = named + " holds " + (wrong ? wrong : form.c_str()) +
                  " audio; only 16-bit stereo at 44100 Hz, as on a CD, can be read (convert it first)";
        return nullptr;
    }
    const std::int64_t frames = std::max<std::int64_t>(sound.frames, PromisedFrames(fd.get(), info.st_size));
    // A stream that does not say its length cannot be laid out as a disc.
    if (sound.frames < 0 || frames > kMaxSectors * kFramesPerSector) {
        problem = named + " does not say how long it is, or is longer than a disc can be";
        return nullptr;
    }
    return std::make_unique<SoundFile>(std::move(fd), std::move(decoder), frames);
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
    std::vector<std::pair<dev_t, ino_t>> read;  // the sheet and its files
    std::vector<Piece> pieces;  // in disc order, back to back from sector 0
    DiscTable table;
    DiscText text;

    std::optional<DiscTable> Table() override { return table; }
    std::int32_t ReadableEnd() override { return table.leadout; }
    DiscText Text() override { return text; }
    bool ReadsFile(std::uint64_t device, std::uint64_t inode) override {
        return std::any_of(read.begin(), read.end(),
                           [&](const auto& id) { return id.first == device && id.second == inode; });
    }

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

// An Enhanced CD's sheet may end with its data track named but not ripped:
// only an INDEX 00, at the very end of the audio. The disc then ends there.
bool UnrippedDataTrack(const CueParse& cue, std::size_t k) {
    const CueTrack& t = cue.tracks[k];
    return k + 1 == cue.tracks.size() && k > 0 && t.mode != MODE_AUDIO && t.index1 < 0 && t.index0 >= 0;
}

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
        const std::string name = s.line + ": TRACK " + s.number;
        const ImageFile& file = *disc.files[s.file];
        if (UnrippedDataTrack(cue, k) && fileStart[s.file] + t.index0 == data)
            break;
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
            problem = name + " does not start after the track before it; tracks must be in disc order";
            return false;
        }
        const std::int64_t index0 =
            t.index0 >= 0 && t.index0 <= t.index1 ? std::max(fileStart[s.file] + t.index0, previousIndex1 + 1) : index1;
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
        const auto number = static_cast<int>(Digits(s.number).value_or(0));  // checked to be 1 to 99
        disc.table.tracks.push_back({number, control, static_cast<std::int32_t>(start)});
        disc.text.tracks.push_back({SheetText(s.title), SheetText(s.performer)});
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
    disc.text.title = SheetText(scan.title);
    disc.text.performer = SheetText(scan.performer);
    return true;
}

}  // namespace

std::unique_ptr<Disc> OpenCueImage(const std::string& sheetPath, std::string& problem) {
    auto disc = std::make_unique<CueImage>();
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
    if (!ParseWithLibcue(text, cue, problem))
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
            problem = track.line + ": " +
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
    if (std::none_of(cue.tracks.begin(), cue.tracks.end(), [](const CueTrack& t) { return t.mode == MODE_AUDIO; })) {
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
            problem = Quoted(scan.files[scan.tracks[k].file].name) + " mixes tracks of different sector sizes";
            return nullptr;
        }
        bytes = wanted;
    }
    const auto slash = sheetPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : sheetPath.substr(0, slash + 1);
    for (std::size_t f = 0; f < scan.files.size(); ++f) {
        struct stat info {};
        auto file = OpenFile(folder, scan.files[f], blockBytes[f] ? blockBytes[f] : kSectorBytes, info, problem);
        if (!file)
            return nullptr;
        disc->files.push_back(std::move(file));
        disc->read.emplace_back(info.st_dev, info.st_ino);
    }
    if (!Lay(*disc, scan, cue, problem))
        return nullptr;
    return disc;
}

}  // namespace akrip::detail
