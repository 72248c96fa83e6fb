#include "names/HttpFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace names {
namespace {

using Clock = std::chrono::steady_clock;

struct EasyCleanup {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using Easy = std::unique_ptr<CURL, EasyCleanup>;

struct SlistFree {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

struct UrlCleanup {
    void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};

struct CurlFree {
    void operator()(char* text) const noexcept { curl_free(text); }
};

// libcurl's global state is set up once per process, before the first
// handle; it is never torn down, since another thread may still use it.
bool GlobalInit() {
    static std::once_flag once;
    static CURLcode rc = CURLE_OK;
    std::call_once(once, [] { rc = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return rc == CURLE_OK;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

// The host an address names, for messages; the address itself when it
// cannot be parsed.
std::string HostOf(const std::string& url) {
    const std::unique_ptr<CURLU, UrlCleanup> handle(curl_url());
    char* raw = nullptr;
    if (handle && curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(handle.get(), CURLUPART_HOST, &raw, 0) == CURLUE_OK) {
        const std::unique_ptr<char, CurlFree> host(raw);
        return host.get();
    }
    return url;
}

std::string DurationText(std::chrono::milliseconds d) {
    if (d.count() % 1000 == 0)
        return std::to_string(d.count() / 1000) + " s";
    return std::to_string(d.count()) + " ms";
}

// Where the body goes: kept up to the cap, refused past it.
struct Sink {
    std::string* body = nullptr;
    std::size_t max = 0;
    bool tooLarge = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t bytes = size * count;
    if (bytes > sink->max - sink->body->size()) {
        sink->tooLarge = true;
        return 0; // libcurl ends the transfer with CURLE_WRITE_ERROR
    }
    sink->body->append(data, bytes);
    return bytes;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel != nullptr && cancel->load() ? 1 : 0;
}

std::string HeaderValue(CURL* handle, const char* name) {
    curl_header* header = nullptr;
    if (curl_easy_header(handle, name, 0, CURLH_HEADER, -1, &header) == CURLHE_OK &&
        header != nullptr && header->value != nullptr)
        return header->value;
    return {};
}

// One line on why a transfer failed.
std::string FailureText(CURLcode rc, const std::string& url, const char* detail,
                        const FetchRequest& request, const Sink& sink) {
    const std::string host = HostOf(url);
    const std::string more = detail[0] != '\0' ? detail : curl_easy_strerror(rc);
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        return "no answer from " + host + " within " + DurationText(request.timeout);
    case CURLE_COULDNT_RESOLVE_HOST:
        return "cannot find the server " + host + " (" + more + ")";
    case CURLE_COULDNT_CONNECT:
        return "cannot reach " + host + " (" + more + ")";
    case CURLE_FILESIZE_EXCEEDED:
        return "the answer from " + host + " is larger than " + SizeText(request.maxBody);
    case CURLE_WRITE_ERROR:
        if (sink.tooLarge)
            return "the answer from " + host + " is larger than " + SizeText(request.maxBody);
        break;
    case CURLE_PARTIAL_FILE:
        return "the answer from " + host + " was cut short";
    case CURLE_GOT_NOTHING:
        return host + " closed the connection without answering";
    case CURLE_ABORTED_BY_CALLBACK:
        return "cancelled";
    case CURLE_UNSUPPORTED_PROTOCOL:
        return "not an http or https address: " + url;
    case CURLE_URL_MALFORMAT:
        return "not a usable address: " + url;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
        return "no secure connection to " + host + " (" + more + ")";
    default:
        break;
    }
    return "cannot fetch from " + host + " (" + more + ")";
}

} // namespace

std::string SizeText(std::size_t bytes) {
    constexpr std::size_t mb = 1024 * 1024;
    return bytes % mb == 0 && bytes >= mb ? std::to_string(bytes / mb) + " MB"
                                          : std::to_string(bytes) + " bytes";
}

bool RedirectAllowed(const std::string& from, const std::string& to) {
    if (StartsWithNoCase(to, "https://"))
        return true;
    return StartsWithNoCase(to, "http://") && !StartsWithNoCase(from, "https://");
}

FetchReply Fetch(const FetchRequest& request) {
    FetchReply reply;
    reply.url = request.url;
    if (!GlobalInit()) {
        reply.error = "cannot start libcurl";
        return reply;
    }
    if (!StartsWithNoCase(request.url, "http://") && !StartsWithNoCase(request.url, "https://")) {
        reply.error = "not an http or https address: " + request.url;
        return reply;
    }
    const Easy handle(curl_easy_init());
    if (!handle) {
        reply.error = "cannot start libcurl";
        return reply;
    }
    CURL* const h = handle.get();
    Slist headers;
    if (!request.accept.empty()) {
        headers.reset(curl_slist_append(nullptr, ("Accept: " + request.accept).c_str()));
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    }
    char detail[CURL_ERROR_SIZE];
    Sink sink;
    sink.max = request.maxBody;
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L); // followed below, hop by hop
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, ""); // gzip and deflate when offered
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBody));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, request.cancel);

    const Clock::time_point deadline = Clock::now() + request.timeout;
    std::string url = request.url;
    for (int hop = 0;; ++hop) {
        reply.url = url;
        reply.body.clear();
        sink.body = &reply.body;
        sink.tooLarge = false;
        detail[0] = '\0';
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            reply.error =
                "no answer from " + HostOf(url) + " within " + DurationText(request.timeout);
            return reply;
        }
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        const CURLcode rc = curl_easy_perform(h);
        if (rc != CURLE_OK) {
            reply.body.clear();
            reply.error = FailureText(rc, url, detail, request, sink);
            return reply;
        }
        long code = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
        const char* location = nullptr;
        curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
        const bool redirect =
            code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
        if (redirect && location != nullptr && location[0] != '\0') {
            const std::string next = location;
            if (hop >= request.maxRedirects) {
                reply.error = "more than " + std::to_string(request.maxRedirects) +
                              " redirects from " + HostOf(request.url) + ", the last to " + next;
                return reply;
            }
            if (!RedirectAllowed(url, next)) {
                reply.error =
                    HostOf(url) + " redirects to " + next +
                    (StartsWithNoCase(next, "http://") ? ", leaving https for plain http"
                                                       : ", which is not an http or https address");
                return reply;
            }
            url = next;
            continue;
        }
        reply.answered = true;
        reply.code = static_cast<int>(code);
        reply.retryAfter = HeaderValue(h, "Retry-After");
        return reply;
    }
}

} // namespace names
