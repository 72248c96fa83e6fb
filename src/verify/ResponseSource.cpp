#include "verify/ResponseSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace verify {
namespace {

class File {
  public:
    explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

FetchResult ReadFile(const std::string& path, bool missingIsNotFound) {
    FetchResult r;
    r.from = path;
    const File file(path);
    if (file.fd() < 0) {
        const int error = errno;
        if (missingIsNotFound && error == ENOENT) {
            r.status = FetchResult::Status::NotInDatabase;
            r.message = "the disc is not in the database (no file " + path + ")";
        } else {
            r.message = "cannot open " + path + ": " + std::strerror(error);
        }
        return r;
    }
    struct stat st {};
    if (fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
        r.message = path + " is not a file";
        return r;
    }
    if (std::uint64_t(st.st_size) > kMaxResponseBytes) {
        r.message = path + " is " + std::to_string(st.st_size) +
                    " bytes long, more than the 1 MB an answer may be";
        return r;
    }
    // Read one byte past the limit, so a file that grew is caught too.
    std::string bytes(kMaxResponseBytes + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(file.fd(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r.message = "cannot read " + path + ": " + std::strerror(errno);
            return r;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > kMaxResponseBytes) {
        r.message = path + " is more than the 1 MB an answer may be";
        return r;
    }
    bytes.resize(got);
    r.bytes = std::move(bytes);
    r.status = FetchResult::Status::Found;
    return r;
}

} // namespace

FetchResult FetchResponse(const ResponseSource& source, const DiscIds& ids) {
    switch (source.kind) {
    case ResponseSource::Kind::File:
        return ReadFile(source.where, false);
    case ResponseSource::Kind::Folder: {
        std::string folder = source.where;
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        return ReadFile(folder + ids.arFileName, true);
    }
    case ResponseSource::Kind::Http:
        break;
    }
    std::string base = source.where;
    if (!base.empty() && base.back() != '/')
        base += '/';
    FetchResult r;
    r.from = base + ids.arFileName;
    HttpResult got = HttpGet(r.from, source.http);
    switch (got.status) {
    case HttpResult::Status::Ok:
        r.status = FetchResult::Status::Found;
        r.bytes = std::move(got.body);
        break;
    case HttpResult::Status::NotFound:
        r.status = FetchResult::Status::NotInDatabase;
        r.message = "the disc is not in the database (" + got.url + " answered 404)";
        break;
    case HttpResult::Status::Failed:
        r.message = "cannot ask " + got.url + ": " + got.error;
        break;
    }
    return r;
}

} // namespace verify
