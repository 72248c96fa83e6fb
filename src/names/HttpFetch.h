#pragma once
// A blocking HTTP(S) GET through libcurl, for the name service and the cover
// archive: one deadline for the whole exchange, redirects followed here (a
// few at most, and never from https down to http), a cap on the body's size,
// and the one header the callers read (Retry-After). Safe to call from any
// thread; nothing runs in the background.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace names {

struct FetchRequest {
    std::string url;       // http:// or https://
    std::string userAgent; // sent as it is
    std::string accept;    // the Accept header; empty sends none
    // For everything: connecting, TLS, sending, receiving, redirects included.
    std::chrono::milliseconds timeout{15000};
    std::size_t maxBody = 4 * 1024 * 1024;
    int maxRedirects = 5;
    // When set and true, the transfer stops within a fraction of a second.
    const std::atomic<bool>* cancel = nullptr;
};

struct FetchReply {
    // An answer that is not a redirect arrived whole; code and body hold it.
    // Otherwise error says why in one line.
    bool answered = false;
    int code = 0;
    std::string body;
    std::string retryAfter; // the header's value, when the answer has one
    std::string url;        // the address that gave the last answer
    std::string error;
};

FetchReply Fetch(const FetchRequest& request);

// Whether a redirect from one address to another may be followed: only to
// http and https, and from https only to https.
bool RedirectAllowed(const std::string& from, const std::string& to);

// "4 MB", "10 MB", "512 bytes": a size as the messages give it.
std::string SizeText(std::size_t bytes);

} // namespace names
