#pragma once
// Writing whole files so that nothing already there is lost: the settings
// file and the track list files go through here.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <sys/stat.h>
#include <utility>

namespace modFiles {

// The bytes open(2) gets for path, and the path those bytes name. Every file
// name the program hands to the system goes through these two. A name need
// not be UTF-8: each byte that is not part of valid UTF-8 travels as the lone
// surrogate U+DC80..U+DCFF, so PathBytes(PathFromBytes(b)) == b for any b.
// Qt's own file classes cannot open such a name; hand the bytes to open(2).
QByteArray PathBytes(const QString& path);
QString PathFromBytes(const QByteArray& bytes);

// path with its symbolic links resolved, so a save through a link updates
// the file it points to instead of replacing the link; path itself when it
// does not exist yet (or cannot be resolved).
QByteArray ResolvedPath(const QByteArray& path);

// A file descriptor that closes itself.
class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0)
            Close();
    }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    // close() reports late write errors (NFS, full disk); callers that care ask.
    bool Close();

  private:
    int fd_;
};

// Writes all size bytes, going on after a short write or an interruption;
// false with errno set (ENOSPC for a write that takes nothing). written, when
// given, receives how many bytes did go out. Only write() and errno are used,
// so a signal handler may call it.
bool WriteAll(int fd, const void* data, std::size_t size, std::size_t* written = nullptr);

// Whether the person may replace the file at path (info is its stat): the
// system must allow writing it and, since root is allowed everything, a
// file that nobody may write by its mode bits (0444) stays as it is.
bool MayReplace(const QByteArray& path, const struct stat& info);
inline bool WriteAll(int fd, const QByteArray& bytes) {
    return WriteAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Replaces the regular file target (or makes it) with bytes: they go to a
// temporary file beside it, reach the disk, and are renamed into place, so
// readers, and a crash or a full disk, leave either the old file or the new
// one, never a part. The old file's mode and owner are kept (old: its stat,
// or null for a new file, which gets the umask's mode). A folder that lets
// its files be written but refuses new ones gets an existing file rewritten
// in place. Returns 0 or the errno of the step that failed.
int ReplaceWhole(const QByteArray& target, const QByteArray& bytes, const struct stat* old);

} // namespace modFiles
