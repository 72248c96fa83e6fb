#include "general/modFiles.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace modFiles {
namespace {

// The temporary file beside the target; it disappears unless it was renamed
// into place, so no error path has to remember it.
struct TempFile {
    explicit TempFile(QByteArray pattern)
        : name(std::move(pattern)), fd(::mkostemp(name.data(), O_CLOEXEC)), created(fd.get() >= 0) {}
    ~TempFile() {
        // The descriptor may be closed already (a rename that failed after it).
        if (created && !renamed)
            ::unlink(name.constData());
    }
    QByteArray name;
    UniqueFd fd;
    bool created;
    bool renamed = false;
};

// Umask can only be read by setting it, which races other threads; /proc
// shows it without changing it.
mode_t NewFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return 0666 & ~line.mid(6).trimmed().toUInt(nullptr, 8);
    return 0644;
}

}  // namespace

QByteArray PathBytes(const QString& path) { return QFile::encodeName(path); }

QString PathFromBytes(const QByteArray& bytes) { return QFile::decodeName(bytes); }

bool UniqueFd::Close() { return ::close(std::exchange(fd_, -1)) == 0; }

bool WriteAll(int fd, const void* data, std::size_t size, std::size_t* written) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    bool ok = true;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (written)
        *written = done;
    return ok;
}

int ReplaceWhole(const QByteArray& target, const QByteArray& bytes, const struct stat* old) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash + 1);
    TempFile tmp(target.left(slash + 1) + '.' + target.mid(slash + 1) + ".XXXXXX");
    if (tmp.fd.get() < 0)
        return errno;
    // Best effort: root saving someone's file should not take it over.
    if (old && ::fchown(tmp.fd.get(), old->st_uid, old->st_gid) != 0) {
    }
    const mode_t mode = old ? (old->st_mode & 07777) : NewFileMode();
    if (::fchmod(tmp.fd.get(), mode) != 0 || !WriteAll(tmp.fd.get(), bytes) || ::fsync(tmp.fd.get()) != 0 ||
        !tmp.fd.Close() || ::rename(tmp.name.constData(), target.constData()) != 0)
        return errno;
    tmp.renamed = true;
    // The rename itself lives in the folder; without this a crash may undo it.
    UniqueFd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return 0;
}

}  // namespace modFiles
