#include "cd/ImageDrives.h"

#include <algorithm>
#include <string_view>

namespace akrip {
namespace {

constexpr std::size_t kTextBytes = 64; // a drive record's id, less its final zero

struct Parts {
    bool absolute = false;
    std::vector<std::string> names; // folders, then the file
};

// "." and doubled slashes name nothing, so "/a/./b.cue" is "/a/b.cue".
Parts Split(std::string_view path) {
    Parts parts;
    parts.absolute = !path.empty() && path.front() == '/';
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (!name.empty() && name != ".")
            parts.names.emplace_back(name);
    }
    return parts;
}

// The last `count` names joined; all of them, from the root, when there are
// no more.
std::string Tail(const Parts& parts, std::size_t count) {
    const std::size_t first = parts.names.size() > count ? parts.names.size() - count : 0;
    std::string text = first == 0 && parts.absolute ? "/" : "";
    for (std::size_t i = first; i < parts.names.size(); ++i)
        text += (i == first ? "" : "/") + parts.names[i];
    return text;
}

// A cut at `at` that splits no UTF-8 character: moved back, or on.
bool Inside(const std::string& text, std::size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}
std::size_t CutBack(const std::string& text, std::size_t at) {
    while (at > 0 && Inside(text, at))
        --at;
    return at;
}
std::size_t CutOn(const std::string& text, std::size_t at) {
    while (Inside(text, at))
        ++at;
    return at;
}

} // namespace

std::vector<std::string> ImageDriveTexts(const std::vector<std::string>& paths) {
    std::vector<Parts> parts;
    for (const std::string& path : paths)
        parts.push_back(Split(path));
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const Parts& mine = parts[i];
        // As many trailing names as no other image shares; the same image
        // listed twice shares them all.
        std::size_t count = 1;
        auto shared = [&](std::size_t n) {
            return std::any_of(parts.begin(), parts.end(), [&](const Parts& other) {
                const bool same = other.names == mine.names && other.absolute == mine.absolute;
                return !same && Tail(other, n) == Tail(mine, n);
            });
        };
        while (count < mine.names.size() && shared(count))
            ++count;
        std::string text = "IMAGE " + Tail(mine, count);
        // A long path keeps the folder that tells it apart, and its end.
        if (count > 1 && text.size() > kTextBytes) {
            const std::string& folder = mine.names[mine.names.size() - count];
            const std::size_t head = CutBack(folder, std::min<std::size_t>(folder.size(), 20));
            const std::string kept = "IMAGE " + folder.substr(0, head) + "/\u2026";
            const std::string rest = "/" + Tail(mine, count - 1);
            text = kept + rest.substr(CutOn(
                              rest, rest.size() - std::min(rest.size(), kTextBytes - kept.size())));
        }
        texts.push_back(std::move(text));
    }
    return texts;
}

} // namespace akrip
