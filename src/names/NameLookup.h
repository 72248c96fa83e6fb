#pragma once
// Looking a disc's names up in MusicBrainz, and a release's front cover in
// the Cover Art Archive. Both calls block (up to the timeout per request, and
// the waits a busy service asks for), so the window calls them off its GUI
// thread; the command line calls them directly. They are safe to call from
// several threads: requests to MusicBrainz are spaced process-wide.
//
// Nothing here changes anything the caller holds: a lookup that fails gives
// one line of text, and the caller keeps the names it had.

#include "names/DiscNames.h"
#include "verify/DiscToc.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace names {

constexpr std::size_t kMaxAnswerBytes = 4 * 1024 * 1024;
constexpr std::size_t kMaxCoverBytes = 10 * 1024 * 1024;

struct LookupOptions {
    // The services' addresses, without the path ("MusicBrainzUrl=" in
    // Dorvane.ini, --musicbrainz-url); a trailing "/" is dropped.
    QString musicBrainzUrl = QStringLiteral("https://musicbrainz.org");
    QString coverArtUrl = QStringLiteral("https://coverartarchive.org");
    // Dorvane's cache folder; empty takes DefaultCacheFolder(). Answers go
    // into its musicbrainz/ and covers into its coverart/ subfolder.
    QString cacheFolder;
    bool useCache = true;
    // Per request, connecting and redirects included.
    std::chrono::milliseconds timeout{15000};
    // Between the starts of two requests to MusicBrainz, across the process:
    // the service allows one a second.
    std::chrono::milliseconds spacing{1000};
    // Tries again after a 503 (or 429) this many times at most, after the
    // wait its Retry-After asks for; a longer wait than maxRetryWait is not
    // waited for.
    int maxRetries = 3;
    std::chrono::seconds maxRetryWait{60};
    // Set from another thread to stop a lookup soon; it then fails with
    // "cancelled".
    const std::atomic<bool>* cancel = nullptr;
};

// "Dorvane/<version> ( <home page> )", as MusicBrainz asks a program to say.
std::string UserAgent();

struct LookupResult {
    enum class Status { Found, NotFound, Failed };
    Status status = Status::Failed;
    // Found: one or more, in the service's order. A box set gives the
    // medium that holds this disc.
    std::vector<ReleaseNames> releases;
    // Releases the answer held but that cannot name this disc (a medium with
    // fewer tracks than the disc, ...), one line each. Found may still have
    // some; Failed names the first in error when all were left out.
    QStringList skipped;
    QString error;      // Failed: one line on why
    bool byToc = false; // found by the tracks' layout; the disc id is not known
    bool fromCache = false;
};

// Looks the disc up by its MusicBrainz disc id; when the service does not
// know the id (404), by the table of contents, which finds releases whose
// tracks have the disc's layout. discId is verify::ComputeDiscIds(toc)'s
// musicBrainz.
LookupResult LookUpDisc(const std::string& discId, const verify::DiscToc& toc,
                        const LookupOptions& options = {});
// The same, the disc id computed from the table.
LookupResult LookUpDisc(const verify::DiscToc& toc, const LookupOptions& options = {});

struct CoverResult {
    enum class Status { Found, NotFound, Failed };
    Status status = Status::Failed;
    QByteArray bytes;  // Found: a JPEG or PNG image, at most kMaxCoverBytes
    QString extension; // "jpg" or "png"
    QString error;     // Failed: one line on why
    bool fromCache = false;
};

// The release's front cover, 500 pixels wide, from the Cover Art Archive
// (which redirects to its storage). Worth calling when the release's
// frontCover is true.
CoverResult FetchFrontCover(const QString& releaseId, const LookupOptions& options = {});

// What the first bytes say an image is: "jpg", "png", or empty for anything
// else.
QString ImageKind(const QByteArray& bytes);

} // namespace names
