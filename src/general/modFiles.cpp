#include "general/modFiles.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <memory>
#include <unistd.h>

namespace modFiles {
namespace {

// The temporary file beside the target; it disappears unless it was renamed
// into place, so no error path has to remember it.
struct TempFile {
    explicit TempFile(QByteArray pattern)
        : name(std::move(pattern)), fd(::mkostemp(name.data(), O_CLOEXEC)), created(fd.get() >= 0) {
    }
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

// Not atomic: a failure half-way leaves a mix. Only for a file whose folder
// takes no temporary file. Writing before truncating keeps the old length's
// blocks, so a full disk can strike only past them.
int RewriteInPlace(const QByteArray& target, const QByteArray& bytes) {
    UniqueFd fd(::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0 || !WriteAll(fd.get(), bytes) || ::ftruncate(fd.get(), bytes.size()) != 0 ||
        ::fsync(fd.get()) != 0 || !fd.Close())
        return errno;
    return 0;
}

} // namespace

QByteArray PathBytes(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < path.size() &&
            QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            out += QStringView(path).mid(i, 2).toUtf8();
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - 0xDC00);
        } else {
            out += QStringView(path).mid(i, 1).toUtf8();
        }
    }
    return out;
}

QString PathFromBytes(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        // The length of a well-formed sequence at i, or 0: RFC 3629, so no
        // overlong forms, no surrogates, nothing past U+10FFFF.
        const unsigned lead = b[i];
        qsizetype len = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
        if (len > 1) {
            const unsigned lo = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
            const unsigned hi = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
            if (i + len > n || b[i + 1] < lo || b[i + 1] > hi)
                len = 0;
            for (qsizetype k = 2; len && k < len; ++k)
                if ((b[i + k] & 0xC0) != 0x80)
                    len = 0;
        }
        if (len == 0) {
            out += QChar(static_cast<char16_t>(0xDC00 + lead));
            ++i;
        } else {
            out += QString::fromUtf8(bytes.constData() + i, len);
            i += len;
        }
    }
    return out;
}

QByteArray ResolvedPath(const QByteArray& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.constData(), nullptr),
                                                           &std::free);
    return real ? QByteArray(real.get()) : path;
}

bool UniqueFd::Close() {
    return ::close(std::exchange(fd_, -1)) == 0;
}

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
        return old && (errno == EACCES || errno == EPERM) ? RewriteInPlace(target, bytes) : errno;
    // Best effort: root saving someone's file should not take it over.
    if (old && ::fchown(tmp.fd.get(), old->st_uid, old->st_gid) != 0) {
    }
    const mode_t mode = old ? (old->st_mode & 07777) : NewFileMode();
    if (::fchmod(tmp.fd.get(), mode) != 0 || !WriteAll(tmp.fd.get(), bytes) ||
        ::fsync(tmp.fd.get()) != 0 || !tmp.fd.Close() ||
        ::rename(tmp.name.constData(), target.constData()) != 0)
        return errno;
    tmp.renamed = true;
    // The rename itself lives in the folder; without this a crash may undo it.
    UniqueFd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return 0;
}

bool MayReplace(const QByteArray& path, const struct stat& info) {
    if (::access(path.constData(), W_OK) != 0)
        return false;
    // Root may write anything: a file nobody may write is still refused.
    return ::geteuid() != 0 || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

} // namespace modFiles
