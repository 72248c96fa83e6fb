#include "verify/HttpGet.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

namespace verify {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHeadBytes = 64 * 1024;

class Socket {
  public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

struct AddrInfoFree {
    void operator()(addrinfo* list) const noexcept { freeaddrinfo(list); }
};

struct Url {
    std::string host; // without brackets
    std::string port = "80";
    std::string path = "/";
    std::string hostHeader;
};

// "http://host[:port][/path]"; nothing for another scheme or a bad form.
std::optional<Url> ParseUrl(const std::string& text, std::string& error) {
    const std::string scheme = "http://";
    if (text.size() < scheme.size() ||
        !std::equal(scheme.begin(), scheme.end(), text.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        error = text.rfind("https://", 0) == 0 ? "https is not supported, only http: " + text
                                               : "not an http address: " + text;
        return std::nullopt;
    }
    Url url;
    const std::size_t slash = text.find('/', scheme.size());
    url.hostHeader = text.substr(scheme.size(), slash - scheme.size());
    if (slash != std::string::npos)
        url.path = text.substr(slash);
    std::string hostPort = url.hostHeader;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string::npos) {
            error = "bad address: " + text;
            return std::nullopt;
        }
        url.host = hostPort.substr(1, close - 1);
        hostPort.erase(0, close + 1);
        if (!hostPort.empty() && hostPort.front() != ':') {
            error = "bad address: " + text;
            return std::nullopt;
        }
        if (!hostPort.empty())
            url.port = hostPort.substr(1);
    } else {
        const std::size_t colon = hostPort.find(':');
        url.host = hostPort.substr(0, colon);
        if (colon != std::string::npos)
            url.port = hostPort.substr(colon + 1);
    }
    if (url.host.empty() || url.port.empty() ||
        !std::all_of(url.port.begin(), url.port.end(),
                     [](unsigned char c) { return std::isdigit(c); }) ||
        url.path.find_first_of(" \r\n") != std::string::npos) {
        error = "bad address: " + text;
        return std::nullopt;
    }
    return url;
}

// Milliseconds left before the deadline, at least 0.
int Left(Clock::time_point deadline) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 1 << 30));
}

// Waits for events on fd until the deadline; false on timeout.
bool Wait(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, Left(deadline));
        if (n > 0)
            return true;
        if (n == 0)
            return false;
        if (errno != EINTR)
            return true; // the next call on fd reports the fault
    }
}

std::unique_ptr<Socket> Connect(const Url& url, Clock::time_point deadline, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* raw = nullptr;
    const int rc = getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &raw);
    const std::unique_ptr<addrinfo, AddrInfoFree> list(raw);
    if (rc != 0) {
        error = "cannot find " + url.host + ": " + gai_strerror(rc);
        return nullptr;
    }
    error = "cannot reach " + url.hostHeader;
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        auto s = std::make_unique<Socket>(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (s->fd() < 0)
            continue;
        int fault = 0;
        if (::connect(s->fd(), a->ai_addr, a->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                fault = errno;
            } else if (!Wait(s->fd(), POLLOUT, deadline)) {
                error = "no connection to " + url.hostHeader + " in time";
                return nullptr;
            } else {
                socklen_t size = sizeof fault;
                if (getsockopt(s->fd(), SOL_SOCKET, SO_ERROR, &fault, &size) != 0)
                    fault = errno;
            }
        }
        if (fault == 0)
            return s;
        error = "cannot reach " + url.hostHeader + ": " + std::strerror(fault);
    }
    return nullptr;
}

bool SendAll(int fd, const std::string& data, Clock::time_point deadline, std::string& error) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!Wait(fd, POLLOUT, deadline)) {
                error = "timed out sending the request";
                return false;
            }
        } else {
            error = std::string("cannot send the request: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// What has arrived on a socket, read on as needed until the deadline.
class Incoming {
  public:
    Incoming(int fd, Clock::time_point deadline) : fd_(fd), deadline_(deadline) {}
    std::string data;
    bool ended = false; // the peer closed
    std::string error;  // a timeout or a fault

    // Reads once more; false when nothing more can come (see ended, error).
    bool More() {
        if (ended || !error.empty())
            return false;
        char chunk[16384];
        for (;;) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n > 0) {
                data.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0) {
                ended = true;
                return false;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                error = std::string("cannot receive the answer: ") + std::strerror(errno);
                return false;
            }
            if (!Wait(fd_, POLLIN, deadline_)) {
                error = "timed out waiting for the answer";
                return false;
            }
        }
    }

  private:
    int fd_;
    Clock::time_point deadline_;
};

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t");
    const std::size_t b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

struct Head {
    int code = 0;
    std::string reason;
    std::optional<std::string> contentLength, transferEncoding, location;
};

std::optional<Head> ParseHead(const std::string& text, std::string& error) {
    Head h;
    std::size_t at = text.find("\r\n");
    const std::string status = text.substr(0, at);
    if (status.rfind("HTTP/1.", 0) != 0 || status.size() < 12 || status[8] != ' ' ||
        !std::isdigit(static_cast<unsigned char>(status[9])) ||
        !std::isdigit(static_cast<unsigned char>(status[10])) ||
        !std::isdigit(static_cast<unsigned char>(status[11]))) {
        error = "the server's answer is not HTTP: \"" + status.substr(0, 40) + "\"";
        return std::nullopt;
    }
    h.code = std::stoi(status.substr(9, 3));
    h.reason = Trim(status.size() > 12 ? status.substr(13) : std::string());
    while (at != std::string::npos && at + 2 < text.size()) {
        const std::size_t next = text.find("\r\n", at + 2);
        const std::string line = text.substr(at + 2, next - at - 2);
        at = next;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = Lower(Trim(line.substr(0, colon)));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "content-length")
            h.contentLength = value;
        else if (name == "transfer-encoding")
            h.transferEncoding = Lower(value);
        else if (name == "location")
            h.location = value;
    }
    return h;
}

std::string SizeText(std::size_t bytes) {
    return bytes % 1024 == 0 && bytes >= 1024 * 1024 ? std::to_string(bytes / (1024 * 1024)) + " MB"
                                                     : std::to_string(bytes) + " bytes";
}

// The body after the head, as Transfer-Encoding or Content-Length frame it.
bool ReadBody(Incoming& in, std::size_t start, const Head& head, std::size_t max, std::string& body,
              std::string& error) {
    const std::string tooLarge = "the answer is larger than " + SizeText(max);
    if (head.transferEncoding && head.transferEncoding->find("chunked") != std::string::npos) {
        std::size_t at = start;
        for (;;) {
            std::size_t eol;
            while ((eol = in.data.find("\r\n", at)) == std::string::npos)
                if (!in.More()) {
                    error = in.error.empty() ? "the answer ends inside a chunk" : in.error;
                    return false;
                }
            const std::string sizeText = Trim(in.data.substr(at, eol - at));
            std::size_t used = 0;
            unsigned long long size = 0;
            try {
                size = std::stoull(sizeText, &used, 16);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used == 0 || (used < sizeText.size() && sizeText[used] != ';')) {
                error = "the answer's chunks are malformed";
                return false;
            }
            if (size > max - body.size()) {
                error = tooLarge;
                return false;
            }
            at = eol + 2;
            if (size == 0)
                return true; // trailers, if any, are not needed
            while (in.data.size() < at + size + 2)
                if (!in.More()) {
                    error = in.error.empty() ? "the answer ends inside a chunk" : in.error;
                    return false;
                }
            body.append(in.data, at, size);
            at += size + 2;
        }
    }
    if (head.contentLength) {
        unsigned long long length = 0;
        std::size_t used = 0;
        try {
            length = std::stoull(*head.contentLength, &used, 10);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != head.contentLength->size()) {
            error = "the answer's Content-Length is malformed";
            return false;
        }
        if (length > max) {
            error = tooLarge;
            return false;
        }
        while (in.data.size() - start < length)
            if (!in.More()) {
                error = in.error.empty() ? "the answer ends before its Content-Length" : in.error;
                return false;
            }
        body = in.data.substr(start, length);
        return true;
    }
    // Neither: the body runs to the connection's end.
    while (in.data.size() - start <= max && in.More()) {
    }
    if (in.data.size() - start > max) {
        error = tooLarge;
        return false;
    }
    if (!in.error.empty()) {
        error = in.error;
        return false;
    }
    body = in.data.substr(start);
    return true;
}

} // namespace

HttpResult HttpGet(const std::string& address, const HttpOptions& options) {
    const Clock::time_point deadline = Clock::now() + options.timeout;
    HttpResult result;
    std::string next = address;
    for (int hop = 0;; ++hop) {
        result.url = next;
        const std::optional<Url> url = ParseUrl(next, result.error);
        if (!url)
            return result;
        const std::unique_ptr<Socket> socket = Connect(*url, deadline, result.error);
        if (!socket)
            return result;
        const std::string request = "GET " + url->path + " HTTP/1.1\r\nHost: " + url->hostHeader +
                                    "\r\nUser-Agent: Dorvane\r\nAccept: */*\r\n"
                                    "Connection: close\r\n\r\n";
        if (!SendAll(socket->fd(), request, deadline, result.error))
            return result;
        Incoming in(socket->fd(), deadline);
        std::size_t headEnd;
        while ((headEnd = in.data.find("\r\n\r\n")) == std::string::npos) {
            if (in.data.size() > kMaxHeadBytes) {
                result.error = "the answer's head is larger than 64 KB";
                return result;
            }
            if (!in.More()) {
                result.error = in.error.empty()
                                   ? "the server closed the connection before answering"
                                   : in.error;
                return result;
            }
        }
        const std::optional<Head> head = ParseHead(in.data.substr(0, headEnd + 2), result.error);
        if (!head)
            return result;
        result.code = head->code;
        if (head->code == 404) {
            result.status = HttpResult::Status::NotFound;
            return result;
        }
        const bool redirect = head->code == 301 || head->code == 302 || head->code == 303 ||
                              head->code == 307 || head->code == 308;
        if (redirect && head->location) {
            if (hop >= options.maxRedirects) {
                result.error = "more than " + std::to_string(options.maxRedirects) +
                               " redirects, the last to " + *head->location;
                return result;
            }
            next = head->location->rfind('/', 0) == 0
                       ? "http://" + url->hostHeader + *head->location
                       : *head->location;
            continue;
        }
        if (head->code != 200) {
            result.error = "the server answered " + std::to_string(head->code) +
                           (head->reason.empty() ? "" : " " + head->reason);
            return result;
        }
        if (!ReadBody(in, headEnd + 4, *head, options.maxBody, result.body, result.error)) {
            result.body.clear();
            return result;
        }
        result.status = HttpResult::Status::Ok;
        return result;
    }
}

} // namespace verify
