#include "names/NameLookup.h"

#include "names/HttpFetch.h"
#include "names/NameCache.h"
#include "names/ReleaseReader.h"
#include "version.h"

#include <curl/curl.h>

#include <QCryptographicHash>

#include <algorithm>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>

namespace names {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load();
}

// Sleeps until `until`, waking early when cancel is set; false if it was.
bool SleepUntil(Clock::time_point until, const std::atomic<bool>* cancel) {
    for (Clock::time_point now = Clock::now(); now < until; now = Clock::now()) {
        if (Cancelled(cancel))
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(until - now, 50ms));
    }
    return !Cancelled(cancel);
}

// Waits until `spacing` has passed since the last request to MusicBrainz
// from anywhere in this process began, and marks this one's start. Callers
// queue on the lock, so two threads never send at once.
bool WaitTurn(std::chrono::milliseconds spacing, const std::atomic<bool>* cancel) {
    static std::mutex mutex;
    static std::optional<Clock::time_point> last;
    const std::lock_guard lock(mutex);
    if (last && !SleepUntil(*last + spacing, cancel))
        return false;
    last = Clock::now();
    return true;
}

// How long a 503's Retry-After asks to wait: seconds, or an HTTP date;
// `fallback` when it says neither.
std::chrono::milliseconds RetryWait(const std::string& header, std::chrono::milliseconds fallback) {
    if (!header.empty() && header.size() <= 9 &&
        std::all_of(header.begin(), header.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::chrono::seconds(std::stol(header));
    if (!header.empty()) {
        const std::time_t when = curl_getdate(header.c_str(), nullptr);
        if (when != -1)
            return std::chrono::seconds(std::max<std::time_t>(0, when - std::time(nullptr)));
    }
    return fallback;
}

struct Answer {
    bool ok = false; // an HTTP answer arrived; code and body hold it
    int code = 0;
    QByteArray body;
    QString error; // !ok: one line on why
};

// GET url; a 503 or 429 is tried again after the wait it asks for. paced:
// the request goes to MusicBrainz, so it keeps the process-wide spacing.
Answer Get(const std::string& url, const LookupOptions& options, std::size_t maxBody, bool paced,
           const char* accept) {
    FetchRequest request;
    request.url = url;
    request.userAgent = UserAgent();
    request.accept = accept;
    request.timeout = options.timeout;
    request.maxBody = maxBody;
    request.cancel = options.cancel;
    Answer answer;
    for (int attempt = 0;; ++attempt) {
        if ((paced && !WaitTurn(options.spacing, options.cancel)) || Cancelled(options.cancel)) {
            answer.error = QStringLiteral("cancelled");
            return answer;
        }
        const FetchReply reply = Fetch(request);
        if (!reply.answered) {
            answer.error = QString::fromStdString(reply.error);
            return answer;
        }
        if (reply.code == 503 || reply.code == 429) {
            if (attempt >= options.maxRetries) {
                answer.error = QStringLiteral("the server is busy: it answered %1 to %2 requests "
                                              "in a row")
                                   .arg(reply.code)
                                   .arg(attempt + 1);
                return answer;
            }
            const auto wait = RetryWait(reply.retryAfter, options.spacing);
            if (wait > options.maxRetryWait) {
                answer.error =
                    QStringLiteral("the server is busy and asks to wait %1 s; try again later")
                        .arg(std::chrono::duration_cast<std::chrono::seconds>(wait).count());
                return answer;
            }
            if (!SleepUntil(Clock::now() + wait, options.cancel)) {
                answer.error = QStringLiteral("cancelled");
                return answer;
            }
            continue;
        }
        answer.ok = true;
        answer.code = reply.code;
        answer.body = QByteArray::fromStdString(reply.body);
        return answer;
    }
}

// The service's address without trailing "/"; nothing, with error set, for
// one that is not http or https.
std::optional<std::string> BaseOf(const QString& address, const char* service, QString& error) {
    QString base = address.trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    const QString lower = base.toLower();
    if ((!lower.startsWith(u"http://") && !lower.startsWith(u"https://")) || base.contains(u'?') ||
        base.contains(u'#') || base.contains(u' ')) {
        error = QStringLiteral("the %1 address is not an http or https address: \"%2\"")
                    .arg(QLatin1String(service), address);
        return std::nullopt;
    }
    return base.toStdString();
}

// 28 characters of MusicBrainz's base64 alphabet: it goes into an address
// and a file name.
bool IsDiscId(const std::string& id) {
    return id.size() == 28 && std::all_of(id.begin(), id.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '-';
           });
}

// A MusicBrainz id: 8-4-4-4-12 hexadecimal digits.
bool IsMbid(const QString& id) {
    if (id.size() != 36)
        return false;
    for (qsizetype i = 0; i < id.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char16_t c = id[i].unicode();
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex)
            return false;
    }
    return true;
}

QString CacheFolder(const LookupOptions& options, const char* sub) {
    if (!options.useCache)
        return {};
    const QString folder =
        options.cacheFolder.isEmpty() ? DefaultCacheFolder() : options.cacheFolder;
    return folder.isEmpty() ? QString() : folder + u'/' + QLatin1String(sub);
}

// What a lookup's answer gave, as the result the caller sees.
LookupResult FromRead(ReadResult read, bool byToc, bool fromCache) {
    LookupResult result;
    result.byToc = byToc;
    result.fromCache = fromCache;
    result.skipped = std::move(read.skipped);
    result.releases = std::move(read.releases);
    result.status =
        result.releases.empty() ? LookupResult::Status::NotFound : LookupResult::Status::Found;
    return result;
}

LookupResult Failed(const QString& why) {
    LookupResult result;
    result.error = QStringLiteral("cannot look the disc up in MusicBrainz: ") + why;
    return result;
}

const char kIncludes[] = "inc=recordings+artist-credits+labels&fmt=json";
const char kJson[] = "application/json";

} // namespace

std::string UserAgent() {
    return std::string("Dorvane/") + DORVANE_VERSION_STRING + " ( " + DORVANE_HOMEPAGE + " )";
}

QString ImageKind(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("png");
    return {};
}

LookupResult LookUpDisc(const verify::DiscToc& toc, const LookupOptions& options) {
    std::string error;
    const auto ids = verify::ComputeDiscIds(toc, error);
    if (!ids)
        return Failed(QString::fromStdString(error));
    return LookUpDisc(ids->musicBrainz, toc, options);
}

LookupResult LookUpDisc(const std::string& discId, const verify::DiscToc& toc,
                        const LookupOptions& options) {
    if (!IsDiscId(discId))
        return Failed(QStringLiteral("\"%1\" is not a MusicBrainz disc id")
                          .arg(QString::fromStdString(discId)));
    std::string problem;
    const std::optional<DiscShape> disc = ShapeOf(toc, discId, problem);
    if (!disc)
        return Failed(QString::fromStdString(problem));
    QString why;
    const std::optional<std::string> base = BaseOf(options.musicBrainzUrl, "MusicBrainz", why);
    if (!base)
        return Failed(why);

    const NameCache cache(CacheFolder(options, "musicbrainz"));
    const QString idKey = QStringLiteral("discid-%1.json").arg(QString::fromStdString(discId));
    const QString tocKey =
        QStringLiteral("toc-%1.json")
            .arg(QString::fromLatin1(QCryptographicHash::hash(QByteArray::fromStdString(disc->toc),
                                                              QCryptographicHash::Sha1)
                                         .toHex()));
    // A kept answer that no longer reads (damaged, cut, of another shape) is
    // passed over and fetched again.
    for (const bool byToc : {false, true})
        if (const auto kept = cache.Read(byToc ? tocKey : idKey, kMaxAnswerBytes)) {
            ReadResult read = ReadReleases(*kept, *disc, byToc);
            if (read.error.isEmpty() && !read.releases.empty())
                return FromRead(std::move(read), byToc, true);
        }

    // By the disc id, then, if the service does not know it, by the layout.
    QStringList skipped;
    for (const bool byToc : {false, true}) {
        const std::string url = *base + "/ws/2/discid/" +
                                (byToc ? "-?toc=" + disc->toc + "&cdstubs=no&" : discId + "?") +
                                kIncludes;
        const Answer answer = Get(url, options, kMaxAnswerBytes, true, kJson);
        if (!answer.ok)
            return Failed(answer.error);
        if (answer.code == 404)
            continue;
        if (answer.code != 200)
            return Failed(QStringLiteral("the server answered HTTP %1").arg(answer.code));
        ReadResult read = ReadReleases(answer.body, *disc, byToc);
        if (!read.error.isEmpty())
            return Failed(read.error);
        if (!read.releases.empty()) {
            cache.Write(byToc ? tocKey : idKey, answer.body);
            return FromRead(std::move(read), byToc, false);
        }
        // Releases that all fail to fit the disc: an answer for this disc
        // id is wrong, a fuzzy match by layout merely missed.
        if (!byToc && !read.skipped.isEmpty())
            return Failed(
                read.skipped.front() +
                (read.skipped.size() > 1
                     ? QStringLiteral(" (and %1 more releases)").arg(read.skipped.size() - 1)
                     : QString()));
        skipped << read.skipped;
    }
    LookupResult result;
    result.status = LookupResult::Status::NotFound;
    result.byToc = true;
    result.skipped = skipped;
    result.error = QStringLiteral("MusicBrainz knows neither the disc id %1 nor a release with "
                                  "the disc's %2 tracks")
                       .arg(QString::fromStdString(discId))
                       .arg(disc->lengths.size());
    if (!skipped.isEmpty())
        result.error += QStringLiteral(" (%1 of a like layout left out: %2)")
                            .arg(skipped.size())
                            .arg(skipped.front());
    return result;
}

CoverResult FetchFrontCover(const QString& releaseId, const LookupOptions& options) {
    CoverResult result;
    const QString prefix =
        QStringLiteral("cannot fetch the front cover of release %1: ").arg(releaseId.left(40));
    if (!IsMbid(releaseId)) {
        result.error = prefix + QStringLiteral("not a MusicBrainz release id");
        return result;
    }
    QString why;
    const std::optional<std::string> base = BaseOf(options.coverArtUrl, "Cover Art Archive", why);
    if (!base) {
        result.error = prefix + why;
        return result;
    }
    const NameCache cache(CacheFolder(options, "coverart"));
    const QString key = releaseId.toLower() + QStringLiteral("-front-500");
    if (const auto kept = cache.Read(key, kMaxCoverBytes); kept && !ImageKind(*kept).isEmpty()) {
        result.status = CoverResult::Status::Found;
        result.bytes = *kept;
        result.extension = ImageKind(*kept);
        result.fromCache = true;
        return result;
    }
    const Answer answer = Get(*base + "/release/" + releaseId.toStdString() + "/front-500", options,
                              kMaxCoverBytes, false, "image/jpeg, image/png");
    if (!answer.ok) {
        result.error = prefix + answer.error;
        return result;
    }
    if (answer.code == 404) {
        result.status = CoverResult::Status::NotFound;
        return result;
    }
    if (answer.code != 200) {
        result.error = prefix + QStringLiteral("the server answered HTTP %1").arg(answer.code);
        return result;
    }
    result.extension = ImageKind(answer.body);
    if (result.extension.isEmpty()) {
        result.error = prefix + QStringLiteral("what the server sent is not a JPEG or PNG image");
        return result;
    }
    cache.Write(key, answer.body);
    result.status = CoverResult::Status::Found;
    result.bytes = answer.body;
    return result;
}

} // namespace names
