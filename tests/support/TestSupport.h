#pragma once
// Helpers any test may use: a temporary folder, disc images made on the fly,
// and DORVANE_DISC_IMAGES set for a scope.

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    QString qpath() const { return QString::fromStdString(path_); }
    // path() + "/" + name
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Writes <folder>/<name>.cue and <name>.bin (name without extension) with
// tracks of the given lengths in sectors, and returns the .cue path. With
// pregap, track 1 starts at sector 150. Throws when the image cannot be made.
std::string MakeImage(const TempFolder& folder, const std::string& name,
                      std::vector<std::int32_t> lengths, std::uint32_t seed = 1,
                      bool pregap = false);

// Sets DORVANE_DISC_IMAGES to the paths joined by ":" for its lifetime and
// then puts back the old value (or unsets it, if it was unset).
class ScopedDiscImages {
  public:
    explicit ScopedDiscImages(const std::vector<std::string>& paths);
    ~ScopedDiscImages();
    ScopedDiscImages(const ScopedDiscImages&) = delete;
    ScopedDiscImages& operator=(const ScopedDiscImages&) = delete;

  private:
    std::optional<std::string> old_;
};

// A file's bytes; empty when it cannot be read.
std::string ReadAll(const std::string& path);

// A shell command's standard output; empty when it failed.
std::string Command(const std::string& line);

} // namespace testsupport
