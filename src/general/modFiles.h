#pragma once
// Writing whole files so that nothing already there is lost: the settings
// file and the track list files go through here.

#include <QByteArray>

#include <sys/stat.h>
#include <utility>

namespace modFiles {

// A file descriptor that closes itself.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0)
            Close();
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    // close() reports late write errors (NFS, full disk); callers that care ask.
    bool Close();

private:
    int fd_;
};

// Writes all of bytes, going on after a short write; false with errno set
// (ENOSPC for a write that takes nothing).
bool WriteAll(int fd, const QByteArray& bytes);

// Replaces the regular file target (or makes it) with bytes: they go to a
// temporary file beside it, reach the disk, and are renamed into place, so
// readers, and a crash or a full disk, leave either the old file or the new
// one, never a part. The old file's mode and owner are kept (old: its stat,
// or null for a new file, which gets the umask's mode). Returns 0 or the
// errno of the step that failed.
int ReplaceWhole(const QByteArray& target, const QByteArray& bytes, const struct stat* old);

}  // namespace modFiles
