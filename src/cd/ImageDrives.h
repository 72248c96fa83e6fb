#pragma once
// Where the CD library layer finds its disc images, besides the real drives:
// the images named on the command line, then those in DORVANE_DISC_IMAGES
// (":"-separated). A relative path is taken from the folder the program was
// started in, which start-up later leaves for the program's own folder.

#include <string>
#include <vector>

namespace akrip {

// Replaces the command line's images (listed before the variable's).
void SetCommandLineImages(std::vector<std::string> paths);

// The folder the process started in, taken before anything could change it;
// empty if it could not be read.
const std::string& StartFolder();

// The drive text (CDREC id) of a listed image: "IMAGE " and its file name,
// or, where images of the same file name are listed, as many of its last
// folders as tell it apart ("IMAGE a/album.cue", "IMAGE b/album.cue").
std::string ImageDriveText(const std::string& path);

// The drive texts of images listed together, in their order, as above.
// Texts longer than a record holds keep the folder that tells them apart
// and their end.
std::vector<std::string> ImageDriveTexts(const std::vector<std::string>& paths);

} // namespace akrip

// ---------------------------------------------------------------------------
// For the command line, which names its sources by path.
namespace akrip {

// The drive list position of a device node or a listed image file (list the
// image with SetCommandLineImages first); -1 when the list holds no such drive.
int DrivePositionOf(const std::string& path);

// Why the disc image at path cannot be read, in words a person can act on;
// empty when its table of contents can be read.
std::string ImageProblem(const std::string& path);

} // namespace akrip
