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

#include "cd/ImageFiles.h"

namespace akrip::detail {

// The file a FILE line names, from `folder` ("" for the current one, else
// ending in "/"): as written, with "\" read as "/"; else by its base name in
// that folder; else either ignoring letter case; else, for sound files,
// under another audio extension. Empty, with `problem` said, when there is
// none, or more than one at the step that finds any.
std::string FindFile(const std::string& folder, const std::string& written, bool sound,
                     std::string& problem);

// How a named file holds its sectors: a sound file (WAVE, AIFF, FLAC), or
// raw sectors of blockBytes from `skip` bytes on.
struct FileForm {
    bool sound = false;
    int blockBytes = kSectorBytes;
    bool bigEndian = false;
    std::int64_t skip = 0;
};

// Finds the file `written` names and opens it; null with `problem` said
// when it cannot be found, opened or read. `info` is the file's.
std::unique_ptr<ImageFile> OpenImageFile(const std::string& folder, const std::string& written,
                                         const FileForm& form, struct stat& info,
                                         std::string& problem);

} // namespace akrip::detail
