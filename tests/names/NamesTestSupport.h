#pragma once
// What the name tests share: an HTTP server on 127.0.0.1 that answers as each
// test scripts it and keeps what it was asked, and answers in MusicBrainz's
// shape.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

namespace namestest {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

struct Reply {
    std::string bytes;
    bool hang = false; // then keep the connection open, saying nothing more
};

inline Reply Http(int code, const std::string& body, const std::string& headers = {}) {
    return {"HTTP/1.1 " + std::to_string(code) + " Scripted\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n" + headers + "\r\n" + body};
}

struct Request {
    std::string target; // "/ws/2/discid/...?..."
    std::string head;   // the request line and headers
    Clock::time_point at;
};

// Each connection's request is read to its blank line and kept, answered
// with answer(target, how many came before)'s bytes, and closed.
class LocalServer {
  public:
    explicit LocalServer(std::function<Reply(const std::string& target, int index)> answer)
        : answer_(std::move(answer)) {
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
        for (const int fd : {listen_, stop_[0], stop_[1]})
            ::close(fd);
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    QString Base() const { return u"http://127.0.0.1:%1"_s.arg(port_); }
    std::vector<Request> Requests() const {
        const std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    bool WaitFor(int fd) const {
        pollfd p[2] = {{fd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        return ::poll(p, 2, -1) > 0 && (p[1].revents & POLLIN) == 0;
    }
    void Serve() {
        while (WaitFor(listen_)) {
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            std::string head;
            char chunk[4096];
            while (fd >= 0 && head.find("\r\n\r\n") == std::string::npos && WaitFor(fd)) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0)
                    break;
                head.append(chunk, std::size_t(n));
            }
            const std::size_t space = head.find(' ');
            if (fd < 0 || space == std::string::npos)
                continue;
            Request r{head.substr(space + 1, head.find(' ', space + 1) - space - 1), head,
                      Clock::now()};
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

    std::function<Reply(const std::string&, int)> answer_;
    int listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int stop_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::thread thread_;
};

// A JSON object from its members (QJsonObject's own list wants QString keys).
inline QJsonObject Obj(std::initializer_list<std::pair<const char*, QJsonValue>> members) {
    QJsonObject object;
    for (const auto& [key, value] : members)
        object.insert(QLatin1String(key), value);
    return object;
}

// A MusicBrainz id made from a number, for releases, recordings and artists.
inline QString Mbid(int n) {
    return QString::asprintf("%08x-1111-4222-8333-%012x", n, n);
}

// Names and their join phrases, one after the other: {"A", " feat. ", "B"}.
inline QJsonArray Credit(std::initializer_list<const char*> namesAndJoins) {
    const std::vector<const char*> list(namesAndJoins);
    QJsonArray credit;
    for (std::size_t i = 0; i < list.size(); i += 2) {
        const QString name = QString::fromUtf8(list[i]);
        const QJsonObject artist = Obj({{"id", Mbid(int(qHash(name) & 0xffff))}, {"name", name}});
        credit.append(
            Obj({{"name", name},
                 {"joinphrase", QString::fromUtf8(i + 1 < list.size() ? list[i + 1] : "")},
                 {"artist", artist}}));
    }
    return credit;
}

struct TrackSpec {
    QString title;
    int lengthMs;
    QJsonArray credit = {}; // empty: the release's holds
};

// A medium of a release; its recordings are numbered from firstId.
inline QJsonObject Medium(int position, const QStringList& discIds,
                          const std::vector<TrackSpec>& tracks, int firstId = 100) {
    QJsonArray list, discs;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const int id = firstId + int(i);
        const QJsonObject recording =
            Obj({{"id", Mbid(id)}, {"title", tracks[i].title}, {"length", tracks[i].lengthMs}});
        list.append(Obj({{"id", Mbid(id + 5000)},
                         {"position", int(i + 1)},
                         {"title", tracks[i].title},
                         {"length", tracks[i].lengthMs},
                         {"artist-credit", tracks[i].credit},
                         {"recording", recording}}));
    }
    for (const QString& d : discIds)
        discs.append(Obj({{"id", d}, {"sectors", 41400}, {"offset-count", 3}}));
    return Obj({{"position", position},
                {"format", u"CD"_s},
                {"track-count", int(tracks.size())},
                {"discs", discs},
                {"tracks", list}});
}

inline QJsonObject Release(int id, const QString& title, const QJsonArray& media,
                           const QJsonArray& credit = Credit({"Band"})) {
    const QJsonObject label = Obj({{"id", Mbid(77)}, {"name", u"Virgin"_s}});
    return Obj(
        {{"id", Mbid(id)},
         {"title", title},
         {"date", u"1998-03-27"_s},
         {"country", u"GB"_s},
         {"barcode", u"724384260620"_s},
         {"artist-credit", credit},
         {"label-info", QJsonArray{Obj({{"catalog-number", u"CDV 2843"_s}, {"label", label}})}},
         {"cover-art-archive", Obj({{"artwork", true}, {"front", true}, {"count", 1}})},
         {"media", media}});
}

// The answer to /ws/2/discid/<id>: the disc, and the releases that hold it;
// without an id, a lookup by table's release list.
inline std::string Answer(const QJsonArray& releases, const QString& discId = {}) {
    const QJsonObject answer = discId.isEmpty() ? Obj({{"release-count", int(releases.size())},
                                                       {"release-offset", 0},
                                                       {"releases", releases}})
                                                : Obj({{"id", discId},
                                                       {"sectors", 41400},
                                                       {"offset-count", 3},
                                                       {"offsets", QJsonArray{150, 13650, 30150}},
                                                       {"releases", releases}});
    return QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace namestest
