// Looking a disc up, through a server this test starts on 127.0.0.1 that
// answers in MusicBrainz's and the Cover Art Archive's shapes, and in the
// ways a server goes wrong.

#include "NamesTestSupport.h"
#include "TestSupport.h"
#include "names/NameLookup.h"
#include "version.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace namestest;
using namespace std::chrono_literals;
using Status = names::LookupResult::Status;

// 3:00, 3:40 and 2:30.
const verify::DiscToc kDisc{
    1, 3, {{1, 0, true, {}}, {2, 13500, true, {}}, {3, 30000, true, {}}}, 41250};
const std::string kId = [] {
    std::string error;
    return verify::ComputeDiscIds(kDisc, error)->musicBrainz;
}();
const QString kDiscId = QString::fromStdString(kId);
const std::string kIdPath =
    "/ws/2/discid/" + kId + "?inc=recordings+artist-credits+labels&fmt=json";
const std::string kTocPath = "/ws/2/discid/-?toc=1+3+41400+150+13650+30150&cdstubs=no&inc="
                             "recordings+artist-credits+labels&fmt=json";

std::vector<TrackSpec> Tracks(const QString& prefix, int count = 3) {
    const int lengths[] = {180000, 220000, 150000, 200000, 100000};
    std::vector<TrackSpec> t;
    for (int i = 0; i < count; ++i)
        t.push_back({prefix + QString::number(i + 1), lengths[i]});
    return t;
}

// One release holding the disc as its only medium.
std::string Plain(const QString& prefix = u"t"_s, int count = 3) {
    return Answer({Release(1, u"R"_s, {Medium(1, {kDiscId}, Tracks(prefix, count))})}, kDiscId);
}

names::LookupOptions Options(const LocalServer& server, const testsupport::TempFolder& cache) {
    setenv("NO_PROXY", "127.0.0.1", 1);
    names::LookupOptions o;
    o.musicBrainzUrl = server.Base(); // with its "/", and the other without
    o.coverArtUrl = server.Base().chopped(1);
    o.cacheFolder = cache.qpath();
    o.spacing = 0ms;
    o.timeout = 2s;
    return o;
}

// Runs a lookup against a server that answers as told.
struct Lookup {
    explicit Lookup(std::function<Reply(const std::string&, int)> answer,
                    std::function<void(names::LookupOptions&)> change = {})
        : server(std::move(answer)), options(Options(server, cache)) {
        if (change)
            change(options);
        result = names::LookUpDisc(kDisc, options);
    }
    std::vector<std::string> Targets() const {
        std::vector<std::string> t;
        for (const auto& r : server.Requests())
            t.push_back(r.target);
        return t;
    }
    LocalServer server;
    testsupport::TempFolder cache;
    names::LookupOptions options;
    names::LookupResult result;
};

TEST(NameLookup, NamesASingleReleaseAsGiven) {
    std::vector<TrackSpec> tracks = {{u"Señal / Ruido"_s, 180000},
                                     {u"مرحبا 🎵"_s, 220000, Credit({"Ana", " feat. ", "東京事変"})},
                                     {u"../..\u0007\n"_s, 150000}};
    const std::string body = Answer({Release(1, u"Uno"_s, {Medium(1, {kDiscId}, tracks)},
                                             Credit({"Los Ejemplos", " & ", "Orquesta"}))},
                                    kDiscId);
    const Lookup run([&](const std::string&, int) { return Http(200, body); });
    const names::LookupResult& r = run.result;
    ASSERT_EQ(r.status, Status::Found) << r.error.toStdString();
    EXPECT_FALSE(r.byToc || r.fromCache);
    ASSERT_EQ(run.Targets(), std::vector<std::string>{kIdPath});
    EXPECT_NE(run.server.Requests()[0].find(std::string("\r\nUser-Agent: Dorvane/") +
                                            DORVANE_VERSION_STRING + " ( " + DORVANE_HOMEPAGE +
                                            " )\r\n"),
              std::string::npos);
    ASSERT_EQ(r.releases.size(), 1u);
    const names::ReleaseNames& n = r.releases[0];
    EXPECT_EQ(QStringList({n.releaseId, n.title, n.artist, n.date, n.country, n.barcode, n.label,
                           n.catalogNumber})
                  .join(u'|'),
              Mbid(1) +
                  u"|Uno|Los Ejemplos & Orquesta|1998-03-27|GB|724384260620|Virgin|CDV 2843"_s);
    EXPECT_TRUE(n.frontCover && n.artistIds.size() == 2);
    EXPECT_EQ(n.mediumPosition * 10 + n.mediumCount, 11);
    ASSERT_EQ(n.tracks.size(), 3u);
    // Control characters become spaces.
    EXPECT_EQ(
        QStringList({n.tracks[0].title, n.tracks[1].title, n.tracks[2].title, n.tracks[1].artist})
            .join(u'|'),
        u"Señal / Ruido|مرحبا 🎵|../..  |Ana feat. 東京事変");
    EXPECT_TRUE(n.tracks[2].artist == n.artist && n.tracks[2].artistIds == n.artistIds);
    EXPECT_EQ(n.tracks[2].recordingId, Mbid(102));
}

TEST(NameLookup, FindsTheMediumInBoxSetsAndEveryRelease) {
    const struct {
        const char* name;
        QJsonArray releases;
        std::vector<std::pair<int, int>> media; // per release: position, count
        const char* firstTitle;
    } cases[] = {
        {"box set, second medium",
         {Release(1, u"Box"_s,
                  {Medium(1, {}, Tracks(u"a"_s)), // the same lengths: the id decides
                   Medium(2, {kDiscId}, Tracks(u"b"_s), 200), Medium(3, {}, Tracks(u"c"_s, 5))})},
         {{2, 3}},
         "b1"},
        {"several releases",
         {Release(1, u"Single"_s, {Medium(1, {kDiscId}, Tracks(u"s"_s))}),
          Release(2, u"Deluxe"_s,
                  {Medium(1, {kDiscId}, Tracks(u"d"_s)), Medium(2, {}, Tracks(u"e"_s, 5))})},
         {{1, 1}, {1, 2}},
         "s1"},
    };
    for (const auto& c : cases) {
        const std::string body = Answer(c.releases, kDiscId);
        const Lookup run([&](const std::string&, int) { return Http(200, body); });
        ASSERT_EQ(run.result.releases.size(), c.media.size()) << c.name;
        for (std::size_t i = 0; i < c.media.size(); ++i) {
            EXPECT_EQ(run.result.releases[i].mediumPosition, c.media[i].first) << c.name;
            EXPECT_EQ(run.result.releases[i].mediumCount, c.media[i].second) << c.name;
            EXPECT_EQ(run.result.releases[i].tracks.size(), 3u) << c.name;
        }
        EXPECT_EQ(run.result.releases[0].tracks[0].title.toStdString(), c.firstTitle) << c.name;
    }
}

TEST(NameLookup, LooksUpByTheTableWhenTheIdIsUnknown) {
    const std::vector<TrackSpec> near = {{u"n"_s, 183000}, {u"n"_s, 224000}, {u"n"_s, 153000}};
    const std::vector<TrackSpec> off = {{u"o"_s, 1000}, {u"o"_s, 1000}, {u"o"_s, 1000}};
    const std::string list = Answer({Release(1, u"Fits"_s,
                                             {Medium(1, {}, Tracks(u"x"_s, 5)), Medium(2, {}, near),
                                              Medium(3, {}, Tracks(u"y"_s))}),
                                     Release(2, u"Other lengths"_s, {Medium(1, {}, off)})});
    const Lookup run([&](const std::string& target, int) {
        return target == kTocPath ? Http(200, list) : Http(404, R"({"error":"Not Found"})");
    });
    const names::LookupResult& r = run.result;
    ASSERT_EQ(r.status, Status::Found) << r.error.toStdString();
    EXPECT_EQ(run.Targets(), (std::vector<std::string>{kIdPath, kTocPath}));
    EXPECT_TRUE(r.byToc);
    ASSERT_EQ(r.releases.size(), 1u);
    EXPECT_EQ(r.releases[0].mediumPosition, 3) << "the closest lengths";
    EXPECT_EQ(r.releases[0].tracks[2].title, u"y3");
    ASSERT_EQ(r.skipped.size(), 1);
    EXPECT_TRUE(r.skipped[0].contains(u"Other lengths"));
}

// Both lookups are made, the second a second after the first.
TEST(NameLookup, NotFoundIsNoFailure) {
    for (const Reply& byToc : {Http(404, "{}"), Http(200, Answer({}))}) {
        const auto answer = [&](const std::string& target, int) {
            return target == kTocPath ? byToc : Http(404, "{}");
        };
        const Lookup run(answer, [](names::LookupOptions& o) { o.spacing = 1000ms; });
        EXPECT_EQ(run.result.status, Status::NotFound) << run.result.error.toStdString();
        EXPECT_TRUE(run.result.error.contains(kDiscId));
        const auto seen = run.server.Requests();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_GE(seen[1].at - seen[0].at, 900ms);
    }
}

TEST(NameLookup, WaitsAsABusyServerAsks) {
    const struct {
        const char* retryAfter;
        int busy; // answers of 503 before a 200
        Status status;
        std::size_t requests;
        const char* says;
    } cases[] = {
        {"1", 1, Status::Found, 2, ""},
        {"Wed, 21 Oct 2015 07:28:00 GMT", 2, Status::Found, 3, ""},
        {"0", 99, Status::Failed, 4, "answered 503 to 4 requests"},
        {"3600", 99, Status::Failed, 1, "asks to wait 3600 s"},
    };
    for (const auto& c : cases) {
        const Lookup run([&](const std::string&, int index) {
            return index < c.busy
                       ? Http(503, "", std::string("Retry-After: ") + c.retryAfter + "\r\n")
                       : Http(200, Plain());
        });
        EXPECT_EQ(run.result.status, c.status) << c.retryAfter;
        EXPECT_TRUE(run.result.error.contains(QLatin1String(c.says))) << c.retryAfter;
        const auto seen = run.server.Requests();
        ASSERT_EQ(seen.size(), c.requests) << c.retryAfter;
        if (c.retryAfter == std::string("1")) {
            EXPECT_GE(seen[1].at - seen[0].at, 900ms) << "the retry came before Retry-After";
        }
    }
}

TEST(NameLookup, BadAnswersGiveOneLineAndKeepNothing) {
    const std::string fewer = Plain(u"t"_s, 2), cut = Plain().substr(0, 300);
    const std::string huge =
        "{\"releases\":[\"" + std::string(names::kMaxAnswerBytes, 'x') + "\"]}";
    const std::atomic<bool> stop = true;
    const struct {
        const char* name;
        Reply reply; // to every request
        const char* says;
        std::function<void(names::LookupOptions&)> change = {}; // then nothing is asked
    } cases[] = {
        {"HTML", Http(200, "<html><body>Oops</body></html>"), "not JSON"},
        {"empty", Http(200, ""), "not JSON"},
        {"cut JSON", Http(200, cut), "not JSON"},
        {"cut short",
         {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n{\"releases\":["},
         "cut short"},
        {"huge, sized", Http(200, huge), "larger than 4 MB"},
        {"huge, unsized",
         {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + huge},
         "larger than 4 MB"},
        {"deep nesting", Http(200, std::string(100000, '[')), "not JSON"},
        {"a CD stub", Http(200, R"({"id":"x","title":"t","tracks":[]})"), "no list of releases"},
        {"fewer tracks", Http(200, fewer), "lists 2 tracks, the disc has 3"},
        {"500", Http(500, "{}"), "HTTP 500"},
        {"never answers", {"", true}, "no answer from 127.0.0.1 within 2 s"},
        {"redirect loop", Http(302, "", "Location: /ws/2/discid/x\r\n"), "more than 5 redirects"},
        {"redirect to ftp", Http(301, "", "Location: ftp://127.0.0.1/x\r\n"),
         "not an http or https"},
        {"an ftp address", Http(200, Plain()), "not an http or https address",
         [](names::LookupOptions& o) { o.musicBrainzUrl = u"ftp://127.0.0.1"_s; }},
        {"cancelled", Http(200, Plain()), "cannot look the disc up in MusicBrainz: cancelled",
         [&](names::LookupOptions& o) { o.cancel = &stop; }},
    };
    for (const auto& c : cases) {
        const Lookup run([&](const std::string&, int) { return c.reply; }, c.change);
        EXPECT_EQ(run.result.status, Status::Failed) << c.name;
        EXPECT_EQ(run.Targets().empty(), bool(c.change)) << c.name;
        EXPECT_TRUE(run.result.error.contains(QLatin1String(c.says)))
            << c.name << ": " << run.result.error.toStdString();
        EXPECT_FALSE(run.result.error.contains(u'\n')) << c.name;
        EXPECT_TRUE(run.result.releases.empty()) << c.name;
        EXPECT_TRUE(QDir(run.cache.qpath() + u"/musicbrainz"_s).isEmpty()) << c.name;
    }
}

TEST(NameLookup, SecondLookupNeedsNoNetworkUntilTheCacheIsStale) {
    for (const bool idKnown : {true, false}) {
        const Lookup run([&](const std::string& target, int) {
            return target == kTocPath
                       ? Http(200, Answer({Release(1, u"R"_s, {Medium(1, {}, Tracks(u"t"_s))})}))
                   : idKnown ? Http(200, Plain())
                             : Http(404, "{}");
        });
        const std::size_t fetches = idKnown ? 1 : 2;
        ASSERT_EQ(run.Targets().size(), fetches);
        const names::LookupResult again = names::LookUpDisc(kDisc, run.options);
        EXPECT_TRUE(again.fromCache);
        EXPECT_EQ(again.byToc, !idKnown);
        EXPECT_EQ(again.releases.at(0).tracks.at(1).title, u"t2");
        EXPECT_EQ(run.Targets().size(), fetches) << "the second lookup went to the server";

        // A damaged file, or one older than 30 days, is passed over.
        const QDir kept(run.cache.qpath() + u"/musicbrainz"_s);
        ASSERT_EQ(kept.entryList(QDir::Files).size(), 1);
        QFile file(kept.filePath(kept.entryList(QDir::Files)[0]));
        for (const bool damage : {true, false}) {
            ASSERT_TRUE(file.open(damage ? QIODevice::WriteOnly : QIODevice::ReadWrite));
            if (damage)
                file.write("{\"releases\": [{\"id\"");
            else
                file.setFileTime(QDateTime::currentDateTime().addDays(-31),
                                 QFileDevice::FileModificationTime);
            file.close();
            EXPECT_FALSE(names::LookUpDisc(kDisc, run.options).fromCache) << damage;
        }
        EXPECT_EQ(run.Targets().size(), 3 * fetches);
    }
}

TEST(FrontCover, ComesAsAJpegOrPngImage) {
    using CoverStatus = names::CoverResult::Status;
    const std::string jpeg = "\xFF\xD8\xFF\xE0" + std::string(3000, '\x11');
    const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(100, '\0');
    const struct {
        const char* name;
        Reply reply; // the archive's; its storage has the JPEG
        CoverStatus status;
        std::string says; // the image when found
    } cases[] = {
        {"JPEG from the storage", Http(307, "", "Location: /storage/front.jpg\r\n"),
         CoverStatus::Found, jpeg},
        {"PNG", Http(200, png), CoverStatus::Found, png},
        {"HTML", Http(200, "<html>no</html>"), CoverStatus::Failed, "not a JPEG or PNG"},
        {"too large", Http(200, jpeg + std::string(names::kMaxCoverBytes, 'x')),
         CoverStatus::Failed, "larger than 10 MB"},
        {"none", Http(404, ""), CoverStatus::NotFound, ""},
    };
    for (const auto& c : cases) {
        const LocalServer server([&](const std::string& target, int) {
            return target == "/storage/front.jpg" ? Http(200, jpeg) : c.reply;
        });
        const testsupport::TempFolder cache;
        const names::LookupOptions options = Options(server, cache);
        const names::CoverResult r = names::FetchFrontCover(Mbid(1), options);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.error.toStdString();
        EXPECT_EQ(server.Requests()[0].target, "/release/" + Mbid(1).toStdString() + "/front-500");
        if (r.status != CoverStatus::Found) {
            EXPECT_TRUE(r.error.contains(QString::fromStdString(c.says)) && r.bytes.isEmpty())
                << c.name;
            continue;
        }
        EXPECT_EQ(r.bytes.toStdString(), c.says) << c.name;
        EXPECT_EQ(r.extension, c.says == png ? u"png" : u"jpg") << c.name;
        const std::size_t fetched = server.Requests().size();
        EXPECT_EQ(names::FetchFrontCover(Mbid(1), options).bytes, r.bytes) << c.name;
        EXPECT_EQ(server.Requests().size(), fetched) << "the second fetch went to the server";
    }
    const names::CoverResult bad = names::FetchFrontCover(u"../../etc"_s);
    EXPECT_TRUE(bad.error.contains(u"not a MusicBrainz release id"));
}

} // namespace
