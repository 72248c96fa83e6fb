#include "verify/RipLog.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace verify {
namespace {

constexpr const char* kHashKey = "SHA-256: ";

// The next code point of UTF-8 text at i, moving i past it; U+FFFD (and one
// byte) for anything that is not well-formed UTF-8.
char32_t NextCodePoint(const std::string& s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0, min = 0;
    if ((b0 & 0xE0) == 0xC0)
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    else if ((b0 & 0xF0) == 0xE0)
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    else if ((b0 & 0xF8) == 0xF0)
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    else {
        ++i;
        return 0xFFFD;
    }
    if (i + std::size_t(extra) >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char b = byte(i + std::size_t(k));
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = cp << 6 | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += std::size_t(extra) + 1;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// A line "key: value" at an indent.
struct Writer {
    std::string out;
    void Line(int indent, const std::string& text) {
        out.append(std::size_t(indent), ' ');
        out += text;
        out += '\n';
    }
    void Text(int indent, const std::string& key, const std::string& value) {
        Line(indent, key + ": " + YamlQuote(value));
    }
    void Number(int indent, const std::string& key, long long value) {
        Line(indent, key + ": " + std::to_string(value));
    }
};

std::string Sha256Hex(const std::string& text) {
    return QCryptographicHash::hash(QByteArrayView(text.data(), qsizetype(text.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

void WriteToc(Writer& w, const DiscToc& toc) {
    w.Line(0, "Table of contents:");
    w.Line(2, "Tracks:");
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        const TocTrack& t = toc.tracks[i];
        const std::int32_t end = i + 1 < toc.tracks.size() ? toc.tracks[i + 1].start : toc.leadout;
        w.Line(4, "- Number: " + std::to_string(t.number));
        w.Text(6, "Type", t.audio ? "audio" : "data");
        w.Number(6, "Start", t.start);
        w.Number(6, "Length", end - t.start);
        if (t.pregap)
            w.Number(6, "Gap", *t.pregap);
        else
            w.Line(6, "Gap: null");
    }
    w.Number(2, "Lead-out", toc.leadout);
}

void WriteTrack(Writer& w, const LogTrack& t) {
    w.Line(2, "- Number: " + std::to_string(t.number));
    w.Text(4, "File", t.fileName);
    w.Text(4, "Title", t.title);
    if (!t.outcome.empty())
        w.Text(4, "Outcome", t.outcome);
    if (t.checksums) {
        const ChecksumResult& c = *t.checksums;
        w.Line(4, "Checksums:");
        w.Text(6, "CRC32", Hex8(c.crc32));
        w.Text(6, "CRC32 without nulls", Hex8(c.crc32NoNulls));
        w.Text(6, "AccurateRip v1", Hex8(c.arV1));
        w.Text(6, "AccurateRip v2", Hex8(c.arV2));
        if (c.hasSector450)
            w.Text(6, "AccurateRip sector 450", Hex8(c.arSector450));
        w.Number(6, "Samples", static_cast<long long>(c.samples));
    }
    if (t.verdict) {
        w.Line(4, "AccurateRip:");
        w.Text(6, "Verdict", t.verdict->Text());
        w.Number(6, "Confidence", t.verdict->confidence);
        w.Number(6, "Offset", t.verdict->offset);
    }
}

void WriteSummary(Writer& w, const RipLog& log) {
    int complete = 0;
    for (const LogTrack& t : log.tracks)
        complete += t.checksums && t.checksums->Complete() ? 1 : 0;
    w.Line(0, "Summary:");
    w.Number(2, "Tracks", static_cast<long long>(log.tracks.size()));
    w.Number(2, "Ripped whole", complete);
    if (log.verdict) {
        int accurate = 0;
        for (const TrackVerdict& v : log.verdict->tracks)
            accurate += v.status == TrackVerdict::Status::Accurate ? 1 : 0;
        w.Number(2, "Accurate", accurate);
        w.Text(2, "AccurateRip", log.verdict->Summary());
        if (log.verdict->ripOffset)
            w.Number(2, "Rip offset", *log.verdict->ripOffset);
    } else {
        w.Text(2, "AccurateRip", "not checked");
    }
}

} // namespace

std::string YamlQuote(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = NextCodePoint(text, i);
        char escape[12];
        switch (cp) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        default:
            break;
        }
        // Controls, the C1 block, YAML's own line and paragraph separators,
        // the byte-order mark and the two non-characters YAML will not hold.
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            std::snprintf(escape, sizeof escape, "\\x%02x", unsigned(cp));
            out += escape;
        } else if (cp == 0x2028 || cp == 0x2029 || cp == 0xFEFF || cp == 0xFFFE || cp == 0xFFFF) {
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(cp));
            out += escape;
        } else {
            AppendUtf8(out, cp);
        }
    }
    return out + "\"";
}

std::string FormatRipLog(const RipLog& log) {
    Writer w;
    w.Line(0, "%YAML 1.2");
    w.Line(0, "--- # rip log");
    w.Text(0, "Program", log.program);
    w.Text(0, "Version", log.version);
    w.Text(0, "Date",
           !log.date.empty() ? log.date
                             : QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString());
    w.Line(0, "Source:");
    if (!log.imagePath.empty())
        w.Text(2, "Image", log.imagePath);
    if (!log.driveModel.empty())
        w.Text(2, "Drive", log.driveModel);
    if (log.readOffset)
        w.Number(2, "Read offset", *log.readOffset);
    if (!log.discTitle.empty() || !log.discPerformer.empty()) {
        w.Line(0, "Disc:");
        w.Text(2, "Title", log.discTitle);
        w.Text(2, "Performer", log.discPerformer);
    }
    WriteToc(w, log.toc);
    if (log.ids) {
        w.Line(0, "Disc ids:");
        w.Text(2, "MusicBrainz", log.ids->musicBrainz);
        w.Text(2, "freedb", log.ids->freedb);
        w.Text(2, "AccurateRip", log.ids->ArText());
        w.Text(2, "AccurateRip file", log.ids->arFileName);
    }
    if (!log.arSource.empty() || !log.arResult.empty() || log.verdict) {
        w.Line(0, "AccurateRip:");
        w.Text(2, "Source", log.arSource);
        w.Text(2, "Result", log.arResult);
        if (log.verdict && !log.verdict->notes.empty()) {
            w.Line(2, "Notes:");
            for (const std::string& note : log.verdict->notes)
                w.Line(4, "- " + YamlQuote(note));
        }
    }
    w.Line(0, log.tracks.empty() ? "Tracks: []" : "Tracks:");
    for (const LogTrack& t : log.tracks)
        WriteTrack(w, t);
    WriteSummary(w, log);
    const std::string hash = Sha256Hex(w.out);
    return w.out + kHashKey + "\"" + hash + "\"\n";
}

bool RipLogIntact(const std::string& text) {
    if (text.empty() || text.back() != '\n')
        return false;
    const std::size_t lineStart = text.rfind('\n', text.size() - 2);
    const std::size_t start = lineStart == std::string::npos ? 0 : lineStart + 1;
    const std::string last = text.substr(start, text.size() - 1 - start);
    return last == kHashKey + ("\"" + Sha256Hex(text.substr(0, start)) + "\"");
}

namespace {

// Gives the hidden file its name; without replace, only where none is.
bool Land(const std::string& hidden, const std::string& path, bool replace) {
    if (replace)
        return ::rename(hidden.c_str(), path.c_str()) == 0;
    if (::renameat2(AT_FDCWD, hidden.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system that cannot: a second name, which fails where one is.
    if (::link(hidden.c_str(), path.c_str()) != 0)
        return false;
    ::unlink(hidden.c_str());
    return true;
}

} // namespace

bool WriteRipLog(const std::string& path, const RipLog& log, std::string& error, bool replace) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    // The hidden file is removed unless it was renamed into place.
    struct Hidden {
        std::string path;
        int fd = -1;
        bool landed = false;
        ~Hidden() {
            if (fd >= 0)
                ::close(fd);
            if (!path.empty() && !landed)
                ::unlink(path.c_str());
        }
    } hidden;
    hidden.fd = ::mkstemp(temp.data());
    if (hidden.fd < 0) {
        error = "cannot write a file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    hidden.path = temp;
    const std::string text = FormatRipLog(log);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(hidden.fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fchmod(hidden.fd, 0644) != 0 || ::fsync(hidden.fd) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!Land(temp, path, replace)) {
        error = errno == EEXIST ? path + " is already there"
                                : "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    hidden.landed = true;
    return true;
}

} // namespace verify
