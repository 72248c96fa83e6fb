#pragma once
// Our own pass over a CUE sheet's lines. libcue keeps neither the TRACK
// numbers, nor the FILE types, nor PREGAP apart from INDEX 00 gaps, and it
// reads numbers into 32-bit integers that wrap without a word ("INDEX 01
// 954437:11:71" lands at sector 100). A light pass over the lines takes what
// it leaves out and checks every number it would misread; libcue judges the
// rest of the syntax. Internal to src/cd.

#include "cd/DiscInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace akrip::detail {

struct SheetFile {
    std::string name;
    std::string type;
};

struct SheetTrack {
    std::string number;   // as written
    std::string line;     // "line 4, \"TRACK 02 AUDIO\"" for messages
    std::size_t file = 0; // the FILE its INDEX 01 follows
    std::int64_t pregap = 0;
    std::string title; // bytes as in the sheet
    std::string performer;
    std::string isrc; // the ISRC line's code, when it has the code's shape
};

struct SheetScan {
    std::vector<SheetFile> files;
    std::vector<SheetTrack> tracks;
    std::string title;
    std::string performer;
    // What the lines before the first TRACK add, as written: the CATALOG
    // line's number (when it has 13 digits), and the REM comments that
    // rippers write and taggers read: DATE, GENRE, DISCNUMBER, TOTALDISCS.
    std::string catalog;
    std::string date;
    std::string genre;
    std::string discNumber;
    std::string totalDiscs;
    std::string problem; // the first number out of range, naming its line
};

SheetScan ScanSheet(std::string_view text);

// A number of plain digits, held at a value past any limit when it is too
// long for 64 bits; nothing when it is not a number.
std::optional<std::uint64_t> Digits(std::string_view text);

// "line 4, \"TRACK 02 AUDIO\"": one short line, whatever the sheet holds.
std::string LineName(int number, std::string_view line);

// A sheet's TITLE or PERFORMER bytes as UTF-8: as they are when they decode
// as such, else in the locale's 8-bit encoding (Windows-1252 under a UTF-8
// locale).
std::string SheetText(const std::string& bytes);

// A track's words and the disc's (all but its tracks) as DiscInfo.h gives
// them: text as SheetText makes it, disc numbers from 1 to 99, others 0.
TrackText TrackTextOf(const SheetTrack& track);
void SetDiscText(DiscText& text, const SheetScan& scan);

} // namespace akrip::detail
