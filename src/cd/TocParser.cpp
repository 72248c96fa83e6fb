#include "cd/TocParser.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "cd/CueSheetScan.h"
#include "cd/ImageFiles.h"

namespace akrip::detail {
namespace {

// Lengths in bytes stay within what a disc of raw sectors can hold.
constexpr std::int64_t kMaxBytes = kMaxSectors * kSectorBytes;

struct Token {
    enum class Kind { Word, String, Number, Msf, Punct, End };
    Kind kind = Kind::End;
    std::string text; // a string's decoded bytes
    int line = 0;
};

using Kind = Token::Kind;

int BlockBytesOf(std::string_view mode) {
    if (mode == "AUDIO" || mode == "MODE1_RAW" || mode == "MODE2_RAW")
        return kSectorBytes;
    if (mode == "MODE1" || mode == "MODE2_FORM1")
        return 2048;
    if (mode == "MODE2" || mode == "MODE2_FORM_MIX")
        return 2336;
    if (mode == "MODE2_FORM2")
        return 2324;
    return 0;
}

bool IsTextItem(std::string_view word) {
    static constexpr std::string_view kItems[] = {
        "TITLE", "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER", "MESSAGE",  "DISC_ID",
        "GENRE", "TOC_INFO1", "TOC_INFO2",  "UPC_EAN",  "ISRC",     "SIZE_INFO"};
    return std::find(std::begin(kItems), std::end(kItems), word) != std::end(kItems);
}

class Parser {
  public:
    explicit Parser(const std::string& text) : text_(text) {
        for (std::string_view rest = text_; !rest.empty();) {
            const auto end = rest.find('\n');
            lines_.push_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
    }

    std::optional<TocFile> Run(std::string& problem) {
        TocFile toc;
        if (!Lex() || !Header(toc) || !Tracks(toc)) {
            problem = problem_;
            return std::nullopt;
        }
        return toc;
    }

  private:
    bool Refuse(int line, const std::string& why) {
        const std::string_view text = line >= 1 && line <= static_cast<int>(lines_.size())
                                          ? lines_[static_cast<std::size_t>(line - 1)]
                                          : std::string_view();
        problem_ = LineName(line, text) + ": " + why;
        return false;
    }
    bool Refuse(const Token& at, const std::string& why) {
        if (at.kind == Kind::End)
            return Refuse(at.line, "the file ends where " + why);
        return Refuse(at.line, why);
    }
    std::string Where(const Token& at) const {
        const auto line = static_cast<std::size_t>(at.line - 1);
        return LineName(at.line, line < lines_.size() ? lines_[line] : std::string_view());
    }

    bool Lex() {
        int line = 1;
        const std::string& s = text_;
        for (std::size_t i = 0; i < s.size();) {
            const char c = s[i];
            const auto u = static_cast<unsigned char>(c);
            if (c == '\n') {
                ++line;
                ++i;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++i;
            } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
                i = std::min(s.find('\n', i), s.size());
            } else if (c == '"') {
                std::string value;
                for (++i;; ++i) {
                    if (i >= s.size() || s[i] == '\n')
                        return Refuse(line, "a string has no closing quote");
                    if (s[i] == '"')
                        break;
                    if (s[i] != '\\' || i + 1 >= s.size()) {
                        value += s[i];
                        continue;
                    }
                    ++i;
                    if (s[i] >= '0' && s[i] <= '7') { // up to three octal digits
                        int code = 0;
                        for (int n = 0; n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7';
                             ++n, ++i)
                            code = code * 8 + (s[i] - '0');
                        --i;
                        if (code > 255)
                            return Refuse(line, "an octal escape is above \\377");
                        value += static_cast<char>(code);
                    } else {
                        value += s[i]; // \" and \\ stand for the character itself
                    }
                }
                ++i;
                tokens_.push_back({Kind::String, std::move(value), line});
            } else if (std::isdigit(u)) {
                std::size_t end = i;
                while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end])))
                    ++end;
                Kind kind = Kind::Number;
                if (end + 1 < s.size() && s[end] == ':' &&
                    std::isdigit(static_cast<unsigned char>(s[end + 1]))) {
                    kind = Kind::Msf;
                    while (end < s.size() &&
                           (s[end] == ':' || std::isdigit(static_cast<unsigned char>(s[end]))))
                        ++end;
                }
                tokens_.push_back({kind, s.substr(i, end - i), line});
                i = end;
            } else if (std::isalpha(u) || c == '_') {
                std::size_t end = i;
                while (end < s.size() &&
                       (std::isalnum(static_cast<unsigned char>(s[end])) || s[end] == '_'))
                    ++end;
                tokens_.push_back({Kind::Word, s.substr(i, end - i), line});
                i = end;
            } else if (c == '{' || c == '}' || c == ':' || c == ',' || c == '#') {
                tokens_.push_back({Kind::Punct, std::string(1, c), line});
                ++i;
            } else {
                return Refuse(line, std::isprint(u) ? std::string("cannot read '") + c + "'"
                                                    : "cannot read byte " + std::to_string(u));
            }
        }
        // The end belongs to the last line that says anything.
        tokens_.push_back({Kind::End, "", tokens_.empty() ? 1 : tokens_.back().line});
        return true;
    }

    const Token& Peek() const { return tokens_[at_]; }
    const Token& Next() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }
    bool IsWord(std::string_view word) const {
        return Peek().kind == Kind::Word && Peek().text == word;
    }
    bool Punct(char c) {
        if (Peek().kind != Kind::Punct || Peek().text[0] != c)
            return Refuse(Peek(), std::string("'") + c + "' belongs here");
        Next();
        return true;
    }
    bool String(std::string& value, const char* what) {
        if (Peek().kind != Kind::String)
            return Refuse(Peek(), std::string(what) + " needs a quoted string");
        value = Next().text;
        return true;
    }
    bool Number(std::int64_t& value, std::int64_t limit) {
        const Token& t = Peek();
        const auto digits = t.kind == Kind::Number ? Digits(t.text) : std::nullopt;
        if (!digits)
            return Refuse(t, "a number belongs here");
        if (*digits > static_cast<std::uint64_t>(limit))
            return Refuse(t, t.text + " is more than a disc can hold");
        value = static_cast<std::int64_t>(*digits);
        Next();
        return true;
    }
    // minutes:seconds:frames, in sectors.
    bool Msf(std::int64_t& sectors) {
        const Token& t = Peek();
        if (t.kind != Kind::Msf)
            return Refuse(t, "a time, minutes:seconds:frames, belongs here");
        std::uint64_t parts[3] = {};
        std::string_view rest = t.text;
        for (int i = 0; i < 3; ++i) {
            const auto colon = rest.find(':');
            const auto part = Digits(rest.substr(0, colon));
            if (!part || (i < 2) == (colon == std::string_view::npos))
                return Refuse(t, "times are minutes:seconds:frames");
            parts[i] = *part;
            rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
        }
        if (parts[1] >= 60 || parts[2] >= 75)
            return Refuse(t, "times have seconds below 60 and frames below 75");
        if (parts[0] > static_cast<std::uint64_t>(kMaxSectors) ||
            parts[0] * 4500 + parts[1] * 75 + parts[2] > static_cast<std::uint64_t>(kMaxSectors))
            return Refuse(t, "the time " + t.text + " lies beyond what a disc can address");
        sectors = static_cast<std::int64_t>(parts[0] * 4500 + parts[1] * 75 + parts[2]);
        Next();
        return true;
    }
    // A time, or a number of units (samples, or bytes) of which `perSector`
    // make a sector.
    bool Amount(std::int64_t& value, std::int64_t perSector) {
        if (Peek().kind != Kind::Msf)
            return Number(value, kMaxSectors * perSector);
        if (!Msf(value))
            return false;
        value *= perSector;
        return true;
    }
    bool AmountFollows() const { return Peek().kind == Kind::Number || Peek().kind == Kind::Msf; }

    // { 0, 10, 255 }
    bool Binary() {
        if (!Punct('{'))
            return false;
        for (bool first = true; !(Peek().kind == Kind::Punct && Peek().text == "}");
             first = false) {
            std::int64_t byte = 0;
            if ((!first && !Punct(',')) || !Number(byte, 255))
                return false;
        }
        return Punct('}');
    }

    bool CdText(std::string& title, std::string& performer) {
        Next(); // CD_TEXT
        if (!Punct('{'))
            return false;
        while (!(Peek().kind == Kind::Punct && Peek().text == "}")) {
            if (IsWord("LANGUAGE_MAP")) {
                Next();
                if (!Punct('{'))
                    return false;
                while (Peek().kind == Kind::Number) {
                    Next();
                    if (!Punct(':'))
                        return false;
                    if (Peek().kind != Kind::Number && Peek().kind != Kind::Word)
                        return Refuse(Peek(), "a country code belongs here");
                    Next();
                }
                if (!Punct('}'))
                    return false;
            } else if (IsWord("LANGUAGE")) {
                Next();
                std::int64_t language = 0;
                if (!Number(language, 7) || !Punct('{'))
                    return false;
                // The titles are those of the first language given.
                if (language_ < 0)
                    language_ = static_cast<int>(language);
                while (Peek().kind == Kind::Word) {
                    const Token& item = Next();
                    if (!IsTextItem(item.text))
                        return Refuse(item, "CD-Text has no item " + item.text);
                    if (Peek().kind == Kind::Punct) {
                        if (!Binary())
                            return false;
                        continue;
                    }
                    std::string value;
                    if (!String(value, item.text.c_str()))
                        return false;
                    if (language == language_ && item.text == "TITLE")
                        title = std::move(value);
                    else if (language == language_ && item.text == "PERFORMER")
                        performer = std::move(value);
                }
                if (!Punct('}'))
                    return false;
            } else {
                return Refuse(Peek(), "LANGUAGE_MAP or LANGUAGE belongs here in a CD_TEXT block");
            }
        }
        return Punct('}');
    }

    bool Header(TocFile& toc) {
        while (!IsWord("TRACK")) {
            const Token& t = Peek();
            if (t.kind == Kind::End)
                return Refuse(t.line, "it has no TRACK");
            if (t.kind != Kind::Word)
                return Refuse(t, "a keyword belongs here");
            if (t.text == "CD_DA" || t.text == "CD_ROM" || t.text == "CD_ROM_XA") {
                Next();
            } else if (t.text == "CATALOG") {
                Next();
                std::string catalog;
                if (!String(catalog, "CATALOG"))
                    return false;
                if (catalog.size() != 13 ||
                    catalog.find_first_not_of("0123456789") != std::string::npos)
                    return Refuse(t, "a catalog number has exactly 13 digits");
            } else if (t.text == "FIRST_TRACK_NO") {
                Next();
                std::int64_t first = 0;
                if (!Number(first, 99))
                    return false;
                if (first < 1)
                    return Refuse(t, "track numbers run from 1 to 99");
                toc.firstNumber = static_cast<int>(first);
            } else if (t.text == "CD_TEXT") {
                if (!CdText(toc.title, toc.performer))
                    return false;
            } else {
                return Refuse(t, t.text + " is not a keyword of a TOC file's header");
            }
        }
        return true;
    }

    bool Tracks(TocFile& toc) {
        while (IsWord("TRACK")) {
            const Token& trackToken = Next();
            TocTrack track;
            track.where = Where(trackToken);
            if (Peek().kind != Kind::Word || BlockBytesOf(Peek().text) == 0)
                return Refuse(
                    Peek(),
                    "a track mode (AUDIO, MODE1, MODE1_RAW, MODE2, MODE2_FORM1, MODE2_FORM2, "
                    "MODE2_FORM_MIX, MODE2_RAW) belongs here");
            const Token& mode = Next();
            track.audio = mode.text == "AUDIO";
            track.blockBytes = BlockBytesOf(mode.text);
            if (!track.audio)
                track.control |= kDataTrack;
            if (IsWord("RW") || IsWord("RW_RAW"))
                return Refuse(Peek(), "tracks with sub-channel data cannot be read");
            if (toc.tracks.size() + static_cast<std::size_t>(toc.firstNumber) > 99)
                return Refuse(trackToken, "a disc holds tracks up to number 99");
            while (!IsWord("TRACK") && Peek().kind != Kind::End)
                if (!Statement(track))
                    return false;
            toc.tracks.push_back(std::move(track));
        }
        if (Peek().kind != Kind::End)
            return Refuse(Peek(), "TRACK belongs here");
        return true;
    }

    bool Statement(TocTrack& track) {
        const Token& t = Next();
        if (t.kind != Kind::Word)
            return Refuse(t, "a keyword belongs here");
        const std::string& w = t.text;
        const std::int64_t sectorUnits = track.audio ? kFramesPerSector : track.blockBytes;
        auto flag = [&](std::uint8_t bit, bool on) {
            track.control =
                static_cast<std::uint8_t>(on ? track.control | bit : track.control & ~bit);
            return true;
        };
        if (w == "NO") {
            if (IsWord("COPY") || IsWord("PRE_EMPHASIS"))
                return flag(Next().text == "COPY" ? kCopyPermitted : kPreEmphasis, false);
            return Refuse(Peek(), "COPY or PRE_EMPHASIS belongs after NO");
        }
        if (w == "COPY")
            return flag(kCopyPermitted, true);
        if (w == "PRE_EMPHASIS" || w == "TWO_CHANNEL_AUDIO" || w == "FOUR_CHANNEL_AUDIO") {
            if (!track.audio)
                return Refuse(t, w + " is for audio tracks");
            return w == "PRE_EMPHASIS" ? flag(kPreEmphasis, true)
                                       : flag(kFourChannel, w == "FOUR_CHANNEL_AUDIO");
        }
        if (w == "ISRC") {
            std::string isrc;
            if (!String(isrc, "ISRC"))
                return false;
            const bool good = isrc.size() == 12 &&
                              std::all_of(isrc.begin(), isrc.begin() + 5,
                                          [](char c) {
                                              return std::isupper(static_cast<unsigned char>(c)) ||
                                                     std::isdigit(static_cast<unsigned char>(c));
                                          }) &&
                              isrc.find_first_not_of("0123456789", 5) == std::string::npos;
            return good ||
                   Refuse(t, "an ISRC is 5 letters or digits, then 7 digits (CCOOOYYSSSSS)");
        }
        if (w == "CD_TEXT") {
            --at_;
            return CdText(track.title, track.performer);
        }
        if (w == "START" || w == "PREGAP") {
            if (track.startSectors)
                return Refuse(t, "the track has its START or PREGAP already");
            std::int64_t sectors = -1;
            if ((w == "PREGAP" || Peek().kind == Kind::Msf) && !Msf(sectors))
                return false;
            if (w == "PREGAP") {
                if (!track.spans.empty())
                    return Refuse(t, "PREGAP comes before the track's data; use START there");
                track.spans.push_back({track.audio ? TocSpan::Kind::Silence : TocSpan::Kind::Zero,
                                       Where(t), "", false, 0, 0, sectors * sectorUnits});
            }
            track.startSectors = sectors;
            track.spansBeforeStart = track.spans.size();
            return true;
        }
        if (w == "INDEX") {
            std::int64_t sectors = 0;
            if (!Msf(sectors))
                return false;
            if (sectors == 0)
                return Refuse(t, "an INDEX at the start of the track");
            track.indexes.emplace_back(Where(t), sectors);
            return true;
        }
        if (w == "FIFO")
            return Refuse(t, "a FIFO cannot be read as part of a disc image");
        TocSpan span;
        span.where = Where(t);
        const bool audioData = w == "SILENCE" || w == "FILE" || w == "AUDIOFILE";
        if (!audioData && w != "ZERO" && w != "DATAFILE")
            return Refuse(t, w + " is not a statement of a TOC file's track");
        if (audioData && !track.audio)
            return Refuse(t, w + " is for audio tracks; data tracks take DATAFILE and ZERO");
        const bool mixes =
            std::any_of(track.spans.begin(), track.spans.end(), [&](const TocSpan& s) {
                return (s.kind == TocSpan::Kind::Silence || s.kind == TocSpan::Kind::AudioFile) !=
                       audioData;
            });
        if (mixes)
            return Refuse(t, "a track mixes FILE, AUDIOFILE or SILENCE with DATAFILE or ZERO");
        if (w == "SILENCE" || w == "ZERO") {
            span.kind = w == "SILENCE" ? TocSpan::Kind::Silence : TocSpan::Kind::Zero;
            if (w == "ZERO" && Peek().kind == Kind::Word && BlockBytesOf(Peek().text) != 0)
                Next(); // the zeros' own mode, which makes no difference to us
            if (!Amount(span.length, w == "SILENCE" ? kFramesPerSector : track.blockBytes))
                return false;
        } else {
            span.kind = w == "DATAFILE" ? TocSpan::Kind::DataFile : TocSpan::Kind::AudioFile;
            if (!String(span.file, w.c_str()))
                return false;
            if (span.kind == TocSpan::Kind::AudioFile && IsWord("SWAP")) {
                Next();
                span.swap = true;
            }
            if (Peek().kind == Kind::Punct && Peek().text == "#") {
                Next();
                if (!Number(span.offset, kMaxBytes))
                    return false;
            }
            const std::int64_t units =
                span.kind == TocSpan::Kind::AudioFile ? kFramesPerSector : track.blockBytes;
            if (span.kind == TocSpan::Kind::AudioFile && !Amount(span.start, units))
                return false;
            if (AmountFollows() && !Amount(span.length, units))
                return false;
        }
        track.spans.push_back(std::move(span));
        return true;
    }

    const std::string& text_;
    std::vector<std::string_view> lines_;
    std::vector<Token> tokens_;
    std::size_t at_ = 0;
    int language_ = -1;
    std::string problem_;
};

} // namespace

std::optional<TocFile> ParseToc(const std::string& text, std::string& problem) {
    return Parser(text).Run(problem);
}

} // namespace akrip::detail
