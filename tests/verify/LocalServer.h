#pragma once
// An HTTP server on 127.0.0.1 that a test starts and scripts, for everything
// that asks AccurateRip's database over the network: no test reaches any
// other address.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace verifytest {

struct Reply {
    std::string bytes;
    bool hang = false; // keep the connection open, saying nothing more
};

// An HTTP server on 127.0.0.1 and a free port: each connection's request is
// read to its blank line and kept, answered with answer(path)'s bytes, and
// closed.
class LocalServer {
  public:
    explicit LocalServer(std::function<Reply(const std::string& path)> answer)
        : answer_(std::move(answer)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
    ~LocalServer() {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
        ::close(listen_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    std::vector<std::string> Requests() const {
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
            std::string request;
            char chunk[4096];
            while (request.find("\r\n\r\n") == std::string::npos && WaitFor(fd)) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0)
                    break;
                request.append(chunk, std::size_t(n));
            }
            {
                const std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            const std::size_t space = request.find(' ');
            const Reply reply =
                answer_(request.substr(space + 1, request.find(' ', space + 1) - space - 1));
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

    std::function<Reply(const std::string&)> answer_;
    int listen_ = -1;
    int stop_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

inline std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

} // namespace verifytest
