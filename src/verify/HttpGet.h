#pragma once
// A small HTTP/1.1 GET over POSIX sockets, for AccurateRip's database: plain
// http only (no TLS), one deadline for the whole exchange, a cap on the
// answer's size, and a few redirects at most, to http addresses only.

#include "verify/ArResponse.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace verify {

struct HttpOptions {
    // For everything: connecting, sending, receiving, redirects included.
    // Looking the host's name up is left to the system's resolver, which has
    // timeouts of its own.
    std::chrono::milliseconds timeout{10000};
    std::size_t maxBody = kMaxResponseBytes;
    int maxRedirects = 3;
};

struct HttpResult {
    enum class Status { Ok, NotFound, Failed };
    Status status = Status::Failed;
    int code = 0;      // the last HTTP status received; 0 when none was
    std::string body;  // Ok: the body
    std::string error; // Failed: one line on why
    std::string url;   // the address that answered last
};

// GET url ("http://host[:port]/path"). 200 is Ok, 404 NotFound; anything
// else, a refused or oversized answer or a timeout, Failed.
HttpResult HttpGet(const std::string& url, const HttpOptions& options = {});

} // namespace verify
