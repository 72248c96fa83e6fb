#include "TestSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "DiscMaker.h"

namespace testsupport {

TempFolder::TempFolder() {
    std::string pattern = "/tmp/dorvane-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error(std::string("cannot make a temporary folder: ") +
                                 std::strerror(errno));
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored; // a destructor must not throw; /tmp is cleaned anyway
    std::filesystem::remove_all(path_, ignored);
}

std::string MakeImage(const TempFolder& folder, const std::string& name,
                      std::vector<std::int32_t> lengths, std::uint32_t seed, bool pregap) {
    discmaker::DiscPlan plan;
    plan.trackSectors = std::move(lengths);
    plan.seed = seed;
    plan.pregap = pregap;
    return discmaker::WriteCueBin(folder.path(), name, plan);
}

ScopedDiscImages::ScopedDiscImages(const std::vector<std::string>& paths) {
    if (const char* old = std::getenv("DORVANE_DISC_IMAGES"))
        old_ = old;
    std::string joined;
    for (std::size_t i = 0; i < paths.size(); ++i)
        joined += (i == 0 ? "" : ":") + paths[i];
    ::setenv("DORVANE_DISC_IMAGES", joined.c_str(), 1);
}

ScopedDiscImages::~ScopedDiscImages() {
    if (old_)
        ::setenv("DORVANE_DISC_IMAGES", old_->c_str(), 1);
    else
        ::unsetenv("DORVANE_DISC_IMAGES");
}

std::string ReadAll(const std::string& path) {
    // In blocks, not a character at a time: the sanitizer builds read
    // hundreds of megabytes of rips through here.
    std::ifstream in(path, std::ios::binary);
    std::string all;
    char block[1 << 16];
    while (in.read(block, sizeof block) || in.gcount() > 0)
        all.append(block, std::size_t(in.gcount()));
    return all;
}

std::string Command(const std::string& line) {
    FILE* pipe = ::popen(line.c_str(), "r");
    std::string out;
    char buffer[65536];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    return pipe && ::pclose(pipe) == 0 ? out : std::string();
}

} // namespace testsupport
