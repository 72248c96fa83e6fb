#pragma once
// What the CD library layer tells of an open drive beyond its eight
// functions: the titles its disc carries, whether it is a disc image (which
// may be read at several places at once) or a real drive (read in one
// stream), and whether a file is one the disc reads from.

#include <cstdint>
#include <string>
#include <vector>

namespace akrip {

struct TrackText {
    std::string title; // UTF-8; empty when the disc gives none
    std::string performer;
    std::string isrc{}; // the recording's code, CCOOOYYSSSSS
};

struct DiscText {
    std::string title;
    std::string performer;
    std::vector<TrackText> tracks; // in table order: tracks[0] is the table's first track
    std::string date{};            // as written: "1998", "1998-05-21"
    std::string genre{};
    std::string catalog{}; // the disc's catalog number (UPC/EAN), 13 digits
    int discNumber = 0;    // the disc's place in a set; 0 when not told
    int totalDiscs = 0;
};

// The CUE sheet's TITLE, PERFORMER, ISRC and CATALOG lines and its REM DATE,
// GENRE, DISCNUMBER and TOTALDISCS comments, or a real disc's CD-Text; all
// empty when the handle is not open or the disc carries none.
DiscText ReadDiscText(int handle);

// True for a disc image, false for a real drive or a handle that is not open.
bool IsImageHandle(int handle);

// True when the open disc reads the file with this device and inode number
// (a sheet's audio files, a TOC's or NRG's image): such a file must never be
// written to.
bool DiscReadsFile(int handle, std::uint64_t device, std::uint64_t inode);

} // namespace akrip
