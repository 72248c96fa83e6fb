#include "cd/ImageFileLookup.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <QString>
#include <QStringDecoder>

#include "cd/CueSheetScan.h"
#include "cd/ImageFiles.h"

namespace akrip::detail {
namespace {

constexpr std::size_t kMaxCandidates = 16;

bool Utf8(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded =
        utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !utf8.hasError();
}

// What a name is compared by when letter case is ignored: its case folded
// where it is UTF-8; else its own bytes with only ASCII letters folded, for
// a name that is not UTF-8 has no letters we could know the case of. Going
// through a lossy conversion instead would make every such name alike.
std::string FoldedKey(std::string_view name) {
    if (Utf8(name))
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
            .toCaseFolded()
            .toStdString();
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// A name as messages show it: bytes that are not UTF-8 as \xE9.
std::string Shown(const std::string& name) {
    if (Utf8(name))
        return name;
    std::string shown;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            shown += c;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            shown += {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
        }
    }
    return shown;
}

// Paths under `folder` ("" for the current one, else ending in "/") that
// name `relative` when letter case is ignored.
std::vector<std::string> CaseInsensitive(FolderIndex& index, const std::string& folder,
                                         std::string_view relative) {
    std::vector<std::string> paths{folder};
    while (!relative.empty() && !paths.empty()) {
        const auto slash = relative.find('/');
        const std::string part(relative.substr(0, slash));
        relative.remove_prefix(slash == std::string_view::npos ? relative.size() : slash + 1);
        const std::string after = slash == std::string_view::npos ? "" : "/";
        if (part.empty() || part == "." || part == "..") {
            for (std::string& p : paths)
                p += part.empty() ? "" : part + after;
            continue;
        }
        // A name written in the sheet's 8-bit encoding is also looked for as
        // that encoding reads it, as the sheet's titles are.
        std::vector<std::string> wanted{FoldedKey(part)};
        if (!Utf8(part)) {
            std::string read = FoldedKey(SheetText(part));
            if (read != wanted.front())
                wanted.push_back(std::move(read));
        }
        std::vector<std::string> next;
        for (const std::string& p : paths)
            for (const std::string& name : index.Named(p, wanted))
                if (next.size() < kMaxCandidates)
                    next.push_back(p + name + after);
        paths = std::move(next);
    }
    return paths;
}

// Only what stat cannot find counts as missing: a file we may not read is
// reported by its open.
bool Present(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ||
           (errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG);
}

} // namespace

std::vector<std::string> FolderIndex::Named(const std::string& folder,
                                            const std::vector<std::string>& keys) {
    auto [at, added] = folders_.try_emplace(folder);
    Folder& names = at->second;
    if (added) {
        std::error_code ec;
        std::size_t place = 0;
        for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
             !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            names[FoldedKey(name)].emplace_back(place++, std::move(name));
        }
    }
    std::vector<std::pair<std::size_t, std::string>> found;
    for (const std::string& key : keys)
        if (const auto entries = names.find(key); entries != names.end())
            found.insert(found.end(), entries->second.begin(), entries->second.end());
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& [place, name] : found)
        paths.push_back(std::move(name));
    return paths;
}

std::string FindFile(const std::string& folder, const std::string& written, bool sound,
                     std::string& problem, FolderIndex& index) {
    std::string name = written;
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool absolute = !name.empty() && name.front() == '/';
    const std::string named = absolute ? name : folder + name;
    const auto cut = name.rfind('/');
    const std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    const std::string nameFolder = cut == std::string::npos ? "" : name.substr(0, cut + 1);
    const bool elsewhere = absolute || !nameFolder.empty();
    // On Linux "\" may be part of a name, so the name exactly as written
    // comes first.
    const std::string literal =
        !written.empty() && written.front() == '/' ? written : folder + written;
    const bool backslash = written.find('\\') != std::string::npos;
    if (backslash && Present(literal))
        return literal;
    if (Present(named))
        return named;
    if (elsewhere && Present(folder + base))
        return folder + base;

    auto unique = [&](const std::vector<std::string>& candidates) -> std::optional<std::string> {
        std::vector<std::string> kept;
        std::vector<std::pair<dev_t, ino_t>> ids;
        for (const std::string& c : candidates) {
            struct stat info {};
            if (::stat(c.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
                continue;
            if (std::find(ids.begin(), ids.end(), std::pair(info.st_dev, info.st_ino)) != ids.end())
                continue;
            ids.emplace_back(info.st_dev, info.st_ino);
            kept.push_back(c);
        }
        if (kept.size() == 1)
            return kept.front();
        if (kept.empty())
            return std::nullopt;
        problem = Quoted(Shown(written)) + " could be any of";
        for (std::size_t i = 0; i < kept.size(); ++i)
            problem += (i == 0 ? " " : ", ") + Shown(kept[i]);
        problem += "; keep one, or name it in the sheet exactly";
        return std::string();
    };
    auto anyCase = [&](const std::string& file) {
        std::vector<std::string> found = CaseInsensitive(
            index, absolute ? "/" : folder, (absolute ? name.substr(1) : nameFolder) + file);
        if (elsewhere)
            for (std::string& path : CaseInsensitive(index, folder, file))
                found.push_back(std::move(path));
        return found;
    };
    if (auto path = unique(anyCase(base)))
        return *path;

    static constexpr const char* kSoundExtensions[] = {".flac", ".wav", ".aiff", ".aif"};
    const auto dot = base.rfind('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const QString extension =
        QString::fromUtf8(dot == std::string::npos ? "" : base.substr(dot)).toCaseFolded();
    std::string others;
    if (sound) {
        std::vector<std::string> found;
        for (const char* other : kSoundExtensions) {
            if (QLatin1StringView(other) == extension)
                continue;
            others += std::string(others.empty() ? "" : ", ") + other;
            for (std::string& path : anyCase(stem + other))
                found.push_back(std::move(path));
        }
        if (auto path = unique(found))
            return *path;
    }
    problem = "cannot find " + Quoted(Shown(written)) + ": looked for " +
              (backslash ? Shown(literal) + ", " : "") + Shown(named);
    if (elsewhere)
        problem += " and " + Shown(folder + base);
    problem += ", in any letter case";
    if (sound)
        problem += ", and as " + others;
    return {};
}

std::unique_ptr<ImageFile> OpenImageFile(const std::string& folder, const std::string& written,
                                         const FileForm& form, struct stat& info,
                                         std::string& problem) {
    FolderIndex index;
    return OpenImageFile(folder, written, form, info, problem, index);
}

std::unique_ptr<ImageFile> OpenImageFile(const std::string& folder, const std::string& written,
                                         const FileForm& form, struct stat& info,
                                         std::string& problem, FolderIndex& index) {
    const std::string path = FindFile(folder, written, form.sound, problem, index);
    if (path.empty())
        return nullptr;
    const std::string named = Quoted(written) + " (" + path + ")";
    std::string reason;
    Fd fd = OpenRegular(path, info, reason);
    if (fd.get() < 0) {
        problem = "cannot open " + named + ": " + reason;
        return nullptr;
    }
    if (!form.sound)
        return MakeRawFile(std::move(fd), info.st_size, form.blockBytes, form.bigEndian, form.skip);
    return MakeSoundFile(std::move(fd), info.st_size, named, problem);
}

} // namespace akrip::detail
