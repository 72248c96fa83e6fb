#pragma once
// Finding the file a disc image names. Most CUE sheets were written on
// Windows and copied here with their audio: the names use "\" between
// folders, may differ from the files in letter case (which Windows ignores),
// and the audio has often since been converted to another format under the
// same name. Internal to src/cd.

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cd/ImageFiles.h"

namespace akrip::detail {

// The names in the folders an image's files are looked for in, each folder
// read once and each name case-folded once, however many lines look there: a
// sheet of 99 FILE lines in a folder of thousands of files is one pass over
// it. Made for one image's lookups, so a later image reads the folders afresh.
class FolderIndex {
  public:
    // The entries of `folder` ("" for the current one, else ending in "/")
    // whose names fold to one of `keys`, in the folder's order.
    std::vector<std::string> Named(const std::string& folder, const std::vector<std::string>& keys);

  private:
    // Folded name: the entries' places in the folder and their names.
    using Folder =
        std::unordered_map<std::string, std::vector<std::pair<std::size_t, std::string>>>;
    std::unordered_map<std::string, Folder> folders_;
};

// The file a FILE line names, from `folder` ("" for the current one, else
// ending in "/"): as written, with "\" read as "/"; else by its base name in
// that folder; else either ignoring letter case; else, for sound files,
// under another audio extension. Empty, with `problem` said, when there is
// none, or more than one at the step that finds any.
std::string FindFile(const std::string& folder, const std::string& written, bool sound,
                     std::string& problem, FolderIndex& index);

// How a named file holds its sectors: a sound file (WAVE, AIFF, FLAC), or
// raw sectors of blockBytes from `skip` bytes on.
struct FileForm {
    bool sound = false;
    int blockBytes = kSectorBytes;
    bool bigEndian = false;
    std::int64_t skip = 0;
};

// Finds the file `written` names and opens it; null with `problem` said
// when it cannot be found, opened or read. `info` is the file's. An image
// that names several files passes one index for all; without, the folders
// are read for this file alone.
std::unique_ptr<ImageFile> OpenImageFile(const std::string& folder, const std::string& written,
                                         const FileForm& form, struct stat& info,
                                         std::string& problem, FolderIndex& index);
std::unique_ptr<ImageFile> OpenImageFile(const std::string& folder, const std::string& written,
                                         const FileForm& form, struct stat& info,
                                         std::string& problem);

} // namespace akrip::detail
