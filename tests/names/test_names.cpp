// The parts of naming a disc that need no server: titles made file names, the
// lookup's "toc" parameter (against MusicBrainz's documented example and
// libdiscid), the redirect rule and the cache folder's XDG rules.

#include "names/DiscNames.h"
#include "names/HttpFetch.h"
#include "names/NameCache.h"
#include "names/ReleaseReader.h"

#include <discid/discid.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>

namespace {

TEST(SafeFileName, MakesAnyTitleAFileName) {
    const struct {
        const char* title;
        int maxBytes;
        const char* name;
    } cases[] = {
        {"Señal / Ruido", 180, "Señal _ Ruido"},
        {"../../etc/passwd", 180, ".._.._etc_passwd"},
        {"..", 180, "__"},
        {"...", 180, "..."},
        {" Tab\there\r\nend\xc2\x85", 180, "Tab here  end"},
        {"\x1b[2Jcleared\x7f", 180, "[2Jcleared"},
        {"東京事変 / 群青日和", 180, "東京事変 _ 群青日和"},
        {"مرحبا 🎵", 180, "مرحبا 🎵"},
        // Cut between characters, then checked again.
        {"éééé", 5, "éé"},
        {"a🎵", 4, "a"},
        {"..x", 2, "__"},
    };
    for (const auto& c : cases) {
        const QByteArray got = names::SafeFileName(QString::fromUtf8(c.title), c.maxBytes).toUtf8();
        EXPECT_EQ(got.toStdString(), c.name) << c.title;
        EXPECT_LE(got.size(), c.maxBytes) << c.title;
    }
}

verify::DiscToc Toc(std::vector<std::int32_t> starts, std::int32_t leadout, int dataTrack = 0) {
    verify::DiscToc toc{1, int(starts.size()), {}, leadout};
    for (std::size_t i = 0; i < starts.size(); ++i)
        toc.tracks.push_back({int(i) + 1, starts[i], int(i) + 1 != dataTrack, {}});
    return toc;
}

// The disc id libdiscid gives the table a "toc" parameter describes.
std::string IdOfTocParameter(const std::string& toc) {
    std::vector<int> n;
    std::istringstream in(toc);
    for (std::string part; std::getline(in, part, '+');)
        n.push_back(std::stoi(part));
    int offsets[100] = {n[2]};
    std::copy(n.begin() + 3, n.end(), offsets + n[0]);
    const std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
    EXPECT_NE(discid_put(disc.get(), n[0], n[1], offsets), 0) << toc;
    return discid_get_id(disc.get());
}

TEST(DiscShape, TocParameterDescribesTheDiscItsIdNames) {
    const std::string documented = // MusicBrainz's own example of a lookup by table
        "1+12+267257+150+22767+41887+58317+72102+91375+104652+115380+132165+143932+159870+174597";
    const struct {
        const char* name;
        verify::DiscToc toc;
        std::size_t tracks;
        std::string parameter = {}; // empty: checked through libdiscid alone
    } cases[] = {
        {"documented",
         Toc({0, 22617, 41737, 58167, 71952, 91225, 104502, 115230, 132015, 143782, 159720, 174447},
             267107),
         12, documented},
        {"Enhanced CD (Recoil, Liquid)",
         Toc({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 281585},
             333651, 11),
         10},
        {"data track first", Toc({0, 66578, 76352, 85813}, 96000, 1), 4},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto ids = verify::ComputeDiscIds(c.toc, error);
        const auto shape = names::ShapeOf(c.toc, ids->musicBrainz, error);
        ASSERT_TRUE(shape) << c.name << ": " << error;
        EXPECT_EQ(IdOfTocParameter(shape->toc), ids->musicBrainz) << c.name;
        EXPECT_EQ(shape->lengths.size(), c.tracks) << c.name;
        if (!c.parameter.empty()) {
            EXPECT_EQ(shape->toc, c.parameter);
        }
    }
    std::string error;
    EXPECT_FALSE(names::ShapeOf(Toc({0, 500, 400}, 900), "x", error));
    EXPECT_NE(error, "");
}

TEST(Redirects, NeverFromHttpsDownToHttp) {
    const struct {
        const char* from;
        const char* to;
        bool allowed;
    } cases[] = {
        {"https://a.example/x", "https://b.example/y", true},
        {"http://a.example/x", "https://b.example/y", true},
        {"http://a.example/x", "http://b.example/y", true},
        {"https://a.example/x", "http://b.example/y", false},
        {"HTTPS://a.example/x", "HTTP://b.example/y", false},
        {"http://a.example/x", "file:///etc/passwd", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names::RedirectAllowed(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
}

TEST(NameCache, FolderFollowsTheXdgRules) {
    const std::string xdg = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const struct {
        const char* xdg;
        const char* home;
        const char* folder;
    } cases[] = {
        {"/var/cache/me", "/home/me", "/var/cache/me/dorvane"},
        {"", "/home/me", "/home/me/.cache/dorvane"},
        {"relative/cache", "/home/me", "/home/me/.cache/dorvane"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        setenv("XDG_CACHE_HOME", c.xdg, 1);
        setenv("HOME", c.home, 1);
        EXPECT_EQ(names::DefaultCacheFolder().toStdString(), c.folder) << c.xdg;
    }
    setenv("XDG_CACHE_HOME", xdg.c_str(), 1);
    setenv("HOME", home.c_str(), 1);
}

} // namespace
