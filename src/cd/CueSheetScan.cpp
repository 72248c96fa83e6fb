#include "cd/CueSheetScan.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

#include <QString>
#include <QStringDecoder>

#include "cd/ImageFiles.h"

namespace akrip::detail {
namespace {

std::string_view NextToken(std::string_view& line) {
    const auto start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    // A quote without its closing one on the line counts as a plain word.
    std::size_t end = line.front() == '"' || line.front() == '\'' ? line.find(line.front(), 1)
                                                                  : std::string_view::npos;
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

} // namespace

std::optional<std::uint64_t> Digits(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    constexpr std::uint64_t kPastAny = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (const char c : text)
        value =
            value > (kPastAny - 9) / 10 ? kPastAny : value * 10 + static_cast<unsigned>(c - '0');
    return value;
}

namespace {

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
    const std::uint64_t total =
        parts.size() == 1 ? parts[0] : parts[0] * 4500 + parts[1] * 75 + parts[2];
    if (total > limit)
        return TimeIs::TooFar;
    frames = static_cast<std::int64_t>(total);
    return TimeIs::Good;
}

} // namespace

// The message must stay one short line, whatever the sheet holds.
std::string LineName(int number, std::string_view line) {
    std::string shown(Trimmed(line));
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
        ' ');
    if (shown.size() > 80) {
        std::size_t cut = 80;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
            --cut;
        shown.replace(cut, std::string::npos, "\u2026");
    }
    return "line " + std::to_string(number) + ", \"" + shown + "\"";
}

namespace {

// The words of a TITLE or PERFORMER line: quoted, or the rest of the line.
std::string TextValue(std::string_view rest) {
    rest = Trimmed(rest);
    if (rest.size() >= 2 && rest.front() == '"') {
        const auto close = rest.find('"', 1);
        return std::string(
            rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    }
    return std::string(rest);
}

// CCOOOYYSSSSS: country and owner in letters or digits, then year and
// serial number in digits.
bool IsIsrc(std::string_view code) {
    return code.size() == 12 &&
           std::all_of(code.begin(), code.begin() + 5,
                       [](char c) {
                           return std::isupper(static_cast<unsigned char>(c)) ||
                                  std::isdigit(static_cast<unsigned char>(c));
                       }) &&
           Digits(code.substr(5)).has_value();
}

} // namespace

SheetScan ScanSheet(std::string_view text) {
    SheetScan scan;
    std::vector<std::uint64_t> indexes; // the numbers the current track has
    for (int number = 1; !text.empty() && scan.problem.empty(); ++number) {
        const auto newline = text.find('\n');
        const std::string_view whole = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        std::string_view line = whole;
        const std::string_view keyword = NextToken(line);
        auto refuse = [&](const std::string& why) {
            scan.problem = LineName(number, whole) + ": " + why;
        };
        auto time = [&](std::string_view written, std::int64_t& frames) {
            switch (ReadTime(written, frames)) {
            case TimeIs::Good:
                return true;
            case TimeIs::Malformed:
                refuse(
                    "times are minutes:seconds:frames, with seconds below 60 and frames below 75");
                return false;
            case TimeIs::TooFar:
                refuse("the time lies beyond what a disc can address");
                return false;
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
            } else if (!scan.tracks.empty() &&
                       std::find(indexes.begin(), indexes.end(), *index) != indexes.end()) {
                refuse("TRACK " + scan.tracks.back().number + " has INDEX " + std::string(written) +
                       " already");
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
        } else if (keyword == "ISRC" && !scan.tracks.empty()) {
            const std::string_view code = NextToken(line);
            if (IsIsrc(code))
                scan.tracks.back().isrc = code;
        } else if (scan.tracks.empty() && keyword == "CATALOG") {
            const std::string_view catalog = NextToken(line);
            if (catalog.size() == 13 && Digits(catalog))
                scan.catalog = catalog;
        } else if (scan.tracks.empty() && keyword == "REM") {
            const std::string_view field = NextToken(line);
            const std::pair<std::string_view, std::string*> fields[] = {
                {"DATE", &scan.date},
                {"GENRE", &scan.genre},
                {"DISCNUMBER", &scan.discNumber},
                {"TOTALDISCS", &scan.totalDiscs}};
            for (const auto& [name, value] : fields)
                if (field == name)
                    *value = TextValue(line);
        }
    }
    return scan;
}

namespace {

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
    const bool done =
        ::iconv(convert, &from, &fromLeft, &to, &toLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(convert);
    if (!done)
        return Cp1252ToUtf8(bytes);
    out.resize(out.size() - toLeft);
    return out;
}

} // namespace

std::string SheetText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // Only decoding finds the errors.
    const QString decoded =
        utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? FromLocale(bytes) : bytes;
}

TrackText TrackTextOf(const SheetTrack& track) {
    return {SheetText(track.title), SheetText(track.performer), track.isrc};
}

void SetDiscText(DiscText& text, const SheetScan& scan) {
    const auto number = [](const std::string& written) {
        const std::uint64_t n = Digits(written).value_or(0);
        return n <= 99 ? static_cast<int>(n) : 0;
    };
    text.title = SheetText(scan.title);
    text.performer = SheetText(scan.performer);
    text.date = SheetText(scan.date);
    text.genre = SheetText(scan.genre);
    text.catalog = scan.catalog;
    text.discNumber = number(scan.discNumber);
    text.totalDiscs = number(scan.totalDiscs);
}

} // namespace akrip::detail
