#pragma once
// An HTTP server on 127.0.0.1 that a test starts and scripts, for everything
// that goes to the network (AccurateRip, MusicBrainz, the Cover Art Archive):
// no test reaches any other address.

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct Reply {
    std::string bytes;
    bool hang = false; // then keep the connection open, saying nothing more
};

inline Reply Http(int code, const std::string& body, const std::string& headers = {}) {
    return {"HTTP/1.1 " + std::to_string(code) + " Scripted\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n" + headers + "\r\n" + body};
}

// A request's line and headers as read, with what it asked for and when.
struct Request : std::string {
    std::string target; // "/ws/2/discid/...?..."
    std::chrono::steady_clock::time_point at;
};

// Each connection's request is read to its blank line and kept, answered
// with answer(target, how many came before)'s bytes, and closed.
class LocalServer {
  public:
    using Answer = std::function<Reply(const std::string& target, int index)>;
    explicit LocalServer(Answer answer) : answer_(std::move(answer)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof addr;
        if (listen_ < 0 || ::pipe(stop_) != 0 ||
            ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listen_, 8) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &size) != 0)
            throw std::runtime_error("cannot start the test server");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    explicit LocalServer(std::function<Reply(const std::string& target)> answer)
        : LocalServer([answer = std::move(answer)](const std::string& target, int) {
              return answer(target);
          }) {}
    ~LocalServer() {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
        for (const int fd : {listen_, stop_[0], stop_[1]})
            ::close(fd);
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // "http://127.0.0.1:<port>/"
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port_); }
    std::vector<Request> Requests() const {
        const std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    // Waits for fd to be readable; false once the test stops the server.
    bool WaitFor(int fd) const {
        pollfd p[2] = {{fd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        return ::poll(p, 2, -1) > 0 && (p[1].revents & POLLIN) == 0;
    }
    void Serve() {
        while (WaitFor(listen_)) {
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            Request r;
            char chunk[4096];
            while (r.find("\r\n\r\n") == std::string::npos && WaitFor(fd)) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0)
                    break;
                r.append(chunk, std::size_t(n));
            }
            r.at = std::chrono::steady_clock::now();
            if (const std::size_t space = r.find(' '); space != std::string::npos)
                r.target = r.substr(space + 1, r.find(' ', space + 1) - space - 1);
            int index;
            {
                const std::lock_guard lock(mutex_);
                index = int(requests_.size());
                requests_.push_back(r);
            }
            const Reply reply = answer_(r.target, index);
            for (std::size_t sent = 0; sent < reply.bytes.size();) {
                const ssize_t n =
                    ::send(fd, reply.bytes.data() + sent, reply.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += std::size_t(n);
            }
            if (reply.hang)
                WaitFor(stop_[0]);
            ::close(fd);
        }
    }

    Answer answer_;
    int listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int stop_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::thread thread_;
};

} // namespace testsupport
