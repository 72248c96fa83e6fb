#include "output/clsFileIo.h"

#include "general/modFiles.h"

#include <algorithm>
#include <atomic>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void PutLe(unsigned char* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace

clsFileIo::~clsFileIo() {
    if (handle_ != -1)
        ::close(handle_);
    ForgetHidden();
}

namespace {

QByteArray FolderOf(const QByteArray& path) {
    const auto slash = path.lastIndexOf('/');
    return slash < 0    ? QByteArrayLiteral(".")
           : slash == 0 ? QByteArrayLiteral("/")
                        : path.left(slash);
}

// The hidden files of a run: ".dorvane-<pid>-<n>.part" in the output folder,
// the pid and the count in eight hex digits each. The name is short and of
// one length whatever the file's own name, so any name the system takes can
// be landed, and a later run can tell whose a file was.
constexpr char kHiddenPrefix[] = ".dorvane-";
constexpr char kHiddenSuffix[] = ".part";
constexpr int kHiddenLength = 9 + 8 + 1 + 8 + 5;

QByteArray HiddenNameFor(const QByteArray& path) {
    static std::atomic<unsigned> counter{0};
    const auto slash = path.lastIndexOf('/');
    char name[kHiddenLength + 1];
    std::snprintf(name, sizeof name, "%s%08x-%08x%s", kHiddenPrefix,
                  static_cast<unsigned>(::getpid()), counter++, kHiddenSuffix);
    return path.left(slash + 1) + QByteArray(name, kHiddenLength);
}

// The process that made a hidden file, or 0 when the name is none of ours.
pid_t HiddenOwner(const char* name) {
    if (std::strlen(name) != kHiddenLength || std::strncmp(name, kHiddenPrefix, 9) != 0 ||
        std::strcmp(name + kHiddenLength - 5, kHiddenSuffix) != 0 || name[17] != '-')
        return 0;
    unsigned pid = 0;
    for (int i = 9; i < 17; ++i) {
        const char c = name[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return 0;
        pid = pid * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<pid_t>(pid);
}

// Tests force the way taken on file systems without unnamed files.
bool UnnamedFiles() {
    return std::getenv("DORVANE_NO_TMPFILE") == nullptr;
}

bool SyncFolder(const QByteArray& folder) {
    const modFiles::UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.get() >= 0 && (::fsync(fd.get()) == 0 || errno == EINVAL);
}

} // namespace

void clsFileIo::ForgetHidden() {
    if (!hiddenName_.isEmpty())
        ::unlink(hiddenName_.constData());
    hiddenName_.clear();
    hidden_ = false;
}

std::int16_t clsFileIo::OpenHidden(const QString& FileN) {
    if (handle_ != -1)
        CloseFile();
    const QByteArray path = modFiles::PathBytes(FileN);
    int fd = -1;
    errno = EOPNOTSUPP;
    if (UnnamedFiles())
        fd = ::open(FolderOf(path).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    QByteArray name;
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // The file system cannot make unnamed files: a hidden name instead.
        name = HiddenNameFor(path);
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        lastError_ = errno;
        return False;
    }
    handle_ = fd;
    fileName_ = FileN;
    hidden_ = true;
    hiddenName_ = name;
    return True;
}

std::int16_t clsFileIo::Land() {
    if (!IsOpen())
        return False;
    if (!hidden_)
        return True;
    if (!SyncData())
        return False;
    const QByteArray path = modFiles::PathBytes(fileName_);
    QByteArray name = hiddenName_;
    if (name.isEmpty()) {
        // An unnamed file gets a hidden name first: link cannot replace an
        // older file, rename can, in one step.
        name = HiddenNameFor(path);
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(handle_);
        // Without /proc, linking the descriptor itself works for a privileged
        // process.
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) !=
                0 &&
            ::linkat(handle_, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) != 0) {
            lastError_ = errno;
            return False;
        }
    }
    if (::rename(name.constData(), path.constData()) != 0) {
        lastError_ = errno;
        ::unlink(name.constData());
        hiddenName_.clear();
        return False;
    }
    hiddenName_.clear();
    hidden_ = false;
    // The new name itself should survive a power cut too; but the rename is
    // what made the file, so a folder that cannot be flushed (one we may not
    // read, say) does not unmake it.
    folderSynced_ = SyncFolder(FolderOf(path));
    return True;
}

std::int16_t clsFileIo::LandAs(const QString& FileN) {
    if (!IsOpen() || !hidden_)
        return False;
    fileName_ = FileN;
    return Land();
}

bool clsFileIo::Truncate(std::int64_t size) {
    if (!IsOpen())
        return false;
    if (::ftruncate(handle_, size) == 0)
        return true;
    lastError_ = errno;
    return false;
}

int clsFileIo::RemoveStaleHidden(const QString& folder) {
    const QByteArray path = modFiles::PathBytes(folder.isEmpty() ? QStringLiteral(".") : folder);
    const modFiles::UniqueFd fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        return 0;
    DIR* dir = ::fdopendir(::dup(fd.get()));
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t owner = HiddenOwner(entry->d_name);
        // Only the files of a process that is gone: another run may be
        // writing into the same folder right now.
        if (owner > 0 && owner != ::getpid() && ::kill(owner, 0) != 0 && errno == ESRCH &&
            ::unlinkat(fd.get(), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

std::int16_t clsFileIo::OpenFile(const QString& FileN) {
    if (handle_ != -1)
        CloseFile();
    const int fd =
        ::open(modFiles::PathBytes(FileN).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        lastError_ = errno;
        return False;
    }
    // Only a regular file is held and emptied: a device such as /dev/null
    // is no file to keep to oneself. The lock comes before emptying, so a
    // file another writer holds is left as it is.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
            lastError_ = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(fd);
            return False;
        }
    }
    handle_ = fd;
    fileName_ = FileN;
    return True;
}

std::int16_t clsFileIo::CloseFile() {
    if (!IsOpen())
        return False;
    if (::close(handle_) == 0) {
        lastResult_ = -1;
    } else {
        lastResult_ = 0;
        lastError_ = errno;
    }
    handle_ = -1;
    ForgetHidden();
    return True;
}

bool clsFileIo::WriteAll(const void* data, std::int32_t size, std::int32_t& written) {
    std::size_t done = 0;
    const bool ok = modFiles::WriteAll(handle_, data, static_cast<std::size_t>(size), &done);
    written = static_cast<std::int32_t>(done);
    if (!ok)
        lastError_ = errno;
    return ok;
}

bool clsFileIo::SyncData() {
    // A pipe or a device has nothing to make durable: that is no failure.
    if (::fdatasync(handle_) == 0 || errno == EINVAL)
        return true;
    lastError_ = errno;
    return false;
}

std::int16_t clsFileIo::WriteBytes(const void* Pointer, std::int32_t Size) {
    if (!IsOpen() || Size < 0)
        return False;
    std::int32_t written = 0;
    const bool ok = WriteAll(Pointer, Size, written);
    bytesTransferred_ = written;
    lastResult_ = ok ? -1 : 0;
    return ok ? True : False;
}

std::int16_t clsFileIo::FlushBuffers() {
    return SyncData() ? True : False;
}

std::int32_t clsFileIo::ReadBytes(void* Pointer, std::int32_t bytes) {
    if (!IsOpen() || bytes < 0)
        return 0;
    ssize_t n = 0;
    do {
        n = ::read(handle_, Pointer, static_cast<std::size_t>(bytes));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        lastError_ = errno;
        return 0;
    }
    bytesTransferred_ = static_cast<std::int32_t>(n);
    return 1;
}

std::int64_t clsFileIo::Seek(std::int64_t offset) {
    if (!IsOpen())
        return -1;
    const off_t at = ::lseek(handle_, offset, SEEK_SET);
    if (at < 0)
        lastError_ = errno;
    return at;
}

std::int64_t clsFileIo::Tell() const {
    return IsOpen() ? ::lseek(handle_, 0, SEEK_CUR) : -1;
}

void clsFileIo::BuildWavHeader(std::uint32_t Lenght, unsigned char header[kWavHeaderBytes]) {
    std::memset(header, 0, kWavHeaderBytes);
    std::memcpy(header, "RIFF", 4);
    PutLe(header + 4, std::min(Lenght, kMaxWavAudioBytes) + 36, 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutLe(header + 16, 16, 4);     // size of the format block
    PutLe(header + 20, 1, 2);      // PCM
    PutLe(header + 22, 2, 2);      // channels
    PutLe(header + 24, 44100, 4);  // samples per second
    PutLe(header + 28, 176400, 4); // bytes per second
    PutLe(header + 32, 4, 2);      // bytes per sample frame
    PutLe(header + 34, 16, 2);     // bits per sample
    std::memcpy(header + 36, "data", 4);
    PutLe(header + 40, std::min(Lenght, kMaxWavAudioBytes), 4);
}

std::int16_t clsFileIo::writeWavHeader(std::uint32_t Lenght) {
    unsigned char header[kWavHeaderBytes];
    BuildWavHeader(Lenght, header);
    std::int32_t written = 0;
    if (!WriteAll(header, kWavHeaderBytes, written)) {
        lastResult_ = 0;
        return False;
    }
    // A header the disk did not take is no header: a failed flush fails too.
    const bool synced = SyncData();
    lastResult_ = synced ? -1 : 0;
    return synced ? True : False;
}

std::int16_t clsFileIo::UpdateWavHeader(std::uint32_t Lenght) {
    unsigned char header[kWavHeaderBytes];
    BuildWavHeader(Lenght, header);
    std::int32_t written = 0;
    while (written < kWavHeaderBytes) {
        const ssize_t n = ::pwrite(handle_, header + written,
                                   static_cast<std::size_t>(kWavHeaderBytes - written), written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lastError_ = n < 0 ? errno : ENOSPC;
            lastResult_ = 0;
            return False;
        }
        written += static_cast<std::int32_t>(n);
    }
    const bool synced = SyncData();
    lastResult_ = synced ? -1 : 0;
    return synced ? True : False;
}
