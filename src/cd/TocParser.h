#pragma once
// What a cdrdao TOC file says, read by its grammar (cdrdao(1), TOC FILES):
// the tracks, the stretches of files, silence and zeros each is made of,
// where each starts, and the CD-Text titles. Nothing is opened here: lengths
// that run "to the end of the file" are left for the reader of the files.
// Internal to src/cd.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace akrip::detail {

struct TocSpan {
    enum class Kind { Silence, Zero, AudioFile, DataFile };
    Kind kind = Kind::Silence;
    std::string where;       // "line 7, \"FILE ...\"" for messages
    std::string file;        // as written
    bool swap = false;       // a raw file in little-endian order
    std::int64_t offset = 0; // bytes to skip before the file's audio or data
    std::int64_t start = 0;  // samples (audio) or bytes (data) after the offset
    std::int64_t length = 0; // samples or bytes; 0 for a file: up to its end
};

struct TocTrack {
    std::string where; // its TRACK line
    bool audio = true;
    int blockBytes = 2352; // of its input data
    std::uint8_t control = 0;
    std::vector<TocSpan> spans;
    // START's place in the track's data; -1: START with no time, at the data
    // before it (rounded up to a whole sector); nothing: no START or PREGAP.
    std::optional<std::int64_t> startSectors;
    std::size_t spansBeforeStart = 0;                          // for START with no time
    std::vector<std::pair<std::string, std::int64_t>> indexes; // where, sectors after START
    std::string title;                                         // bytes as in the file
    std::string performer;
};

struct TocFile {
    int firstNumber = 1;
    std::vector<TocTrack> tracks;
    std::string title;
    std::string performer;
};

// The TOC in `text`, or nothing with `problem` naming the line and what is
// wrong with it.
std::optional<TocFile> ParseToc(const std::string& text, std::string& problem);

} // namespace akrip::detail
