#include "cd/ImageFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sndfile.h>

namespace akrip::detail {

std::string SystemReason() {
    return std::strerror(errno);
}

std::string Msf(std::int64_t sectors) {
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(sectors / 4500),
                  static_cast<long long>(sectors / 75 % 60), static_cast<long long>(sectors % 75));
    return text;
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

bool ReadAll(int fd, std::string& text, std::int64_t limit) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(n));
        if (static_cast<std::int64_t>(text.size()) > limit) {
            errno = EFBIG;
            return false;
        }
    }
}

Fd OpenRegular(const std::string& path, struct stat& info, std::string& reason) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        reason = SystemReason();
        return Fd();
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "not a file";
        return Fd();
    }
    return fd;
}

namespace {

class RawFile final : public ImageFile {
  public:
    RawFile(Fd fd, std::int64_t size, int blockBytes, bool bigEndian, std::int64_t skip)
        : fd_(std::move(fd)), size_(size), blockBytes_(blockBytes), bigEndian_(bigEndian),
          skip_(skip) {
        const std::int64_t bytes = std::max<std::int64_t>(size - skip, 0);
        frames_ = (bytes + blockBytes - 1) / blockBytes * kFramesPerSector;
    }

    // Frames of a cooked data track come in whole sectors.
    bool Read(std::int64_t frame, std::int64_t count, unsigned char* out) override {
        if (blockBytes_ == kSectorBytes)
            return ReadSpan(frame * 4, count * 4, out);
        const std::int64_t sector = frame / kFramesPerSector;
        for (std::int64_t i = 0; i < count / kFramesPerSector; ++i) {
            unsigned char* at = out + i * kSectorBytes;
            std::memset(at + blockBytes_, 0, static_cast<std::size_t>(kSectorBytes - blockBytes_));
            if (!ReadSpan((sector + i) * blockBytes_, blockBytes_, at))
                return false;
        }
        return true;
    }

  private:
    bool ReadSpan(std::int64_t offset, std::int64_t bytes, unsigned char* out) {
        offset += skip_;
        const std::int64_t wanted = std::clamp<std::int64_t>(size_ - offset, 0, bytes);
        std::int64_t done = 0;
        while (done < wanted) {
            const ssize_t n = ::pread(fd_.get(), out + done,
                                      static_cast<std::size_t>(wanted - done), offset + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false; // an error, or the file shrank since it was opened
            done += n;
        }
        std::memset(out + wanted, 0, static_cast<std::size_t>(bytes - wanted));
        if (bigEndian_)
            for (std::int64_t i = 0; i + 1 < wanted; i += 2)
                std::swap(out[i], out[i + 1]);
        return true;
    }

    Fd fd_;
    std::int64_t size_;
    int blockBytes_;
    bool bigEndian_;
    std::int64_t skip_;
};

struct SndfileCloser {
    void operator()(SNDFILE* f) const noexcept { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// WAVE, AIFF and FLAC files, decoded by libsndfile. Reads usually follow one
// another, so the file is sought only when a read starts elsewhere. A failed
// read leaves libsndfile's decoder unusable (a damaged FLAC frame stops every
// later read of the file), so the next read opens the file afresh: only the
// damaged stretch stays unreadable.
class SoundFile final : public ImageFile {
  public:
    SoundFile(Fd fd, SndfilePtr file, std::int64_t frames)
        : fd_(std::move(fd)), file_(std::move(file)) {
        frames_ = frames;
    }

    bool Read(std::int64_t first, std::int64_t count, unsigned char* out) override {
        const std::int64_t wanted = std::clamp<std::int64_t>(frames_ - first, 0, count);
        if (wanted > 0) {
            if (!file_ && !Reopen())
                return false;
            if (position_ != first && sf_seek(file_.get(), first, SEEK_SET) != first) {
                file_.reset();
                return false;
            }
            samples_.resize(static_cast<std::size_t>(wanted) * 2);
            const sf_count_t got = sf_readf_short(file_.get(), samples_.data(), wanted);
            if (got != wanted) {
                file_.reset();
                return false;
            }
            position_ = first + wanted;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(out, samples_.data(), static_cast<std::size_t>(wanted) * 4);
            } else {
                for (std::size_t i = 0; i < samples_.size(); ++i) {
                    const auto v = static_cast<std::uint16_t>(samples_[i]);
                    out[2 * i] = static_cast<unsigned char>(v & 0xff);
                    out[2 * i + 1] = static_cast<unsigned char>(v >> 8);
                }
            }
        }
        std::memset(out + wanted * 4, 0, static_cast<std::size_t>((count - wanted) * 4));
        return true;
    }

  private:
    // libsndfile takes the descriptor's offset for the start of the file.
    bool Reopen() {
        if (::lseek(fd_.get(), 0, SEEK_SET) != 0)
            return false;
        SF_INFO info{};
        file_.reset(sf_open_fd(fd_.get(), SFM_READ, &info, SF_FALSE));
        position_ = 0;
        return file_ != nullptr;
    }

    Fd fd_;           // libsndfile reads through it; declared first, so closed last
    SndfilePtr file_; // null after a failed read
    std::int64_t position_ = 0;
    std::vector<short> samples_;
};

} // namespace

std::unique_ptr<ImageFile> MakeRawFile(Fd fd, std::int64_t size, int blockBytes, bool bigEndian,
                                       std::int64_t skip) {
    return std::make_unique<RawFile>(std::move(fd), size, blockBytes, bigEndian, skip);
}

std::unique_ptr<ImageFile> MakeSoundFile(Fd fd, std::int64_t size, const std::string& named,
                                         std::string& problem) {
    SF_INFO sound{};
    SndfilePtr decoder(sf_open_fd(fd.get(), SFM_READ, &sound, SF_FALSE));
    if (!decoder) {
        problem = "cannot read " + named + " as WAVE, AIFF or FLAC: " + sf_strerror(nullptr);
        return nullptr;
    }
    // Anything else would have to be converted, and a disc holds exactly this.
    const char* wrong = nullptr;
    std::string form;
    if (sound.samplerate != 44100) {
        form = std::to_string(sound.samplerate) + " Hz";
    } else if (sound.channels != 2) {
        form = std::to_string(sound.channels) + "-channel";
    } else if ((sound.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) {
        wrong = "not 16-bit";
    }
    if (!form.empty() || wrong) {
        problem =
            named + " holds " + (wrong ? wrong : form.c_str()) +
            " audio; only 16-bit stereo at 44100 Hz, as on a CD, can be read (convert it first)";
        return nullptr;
    }
    const std::int64_t frames =
        std::max<std::int64_t>(sound.frames, PromisedFrames(fd.get(), size));
    // A stream that does not say its length cannot be laid out as a disc.
    if (sound.frames < 0 || frames > kMaxSectors * kFramesPerSector) {
        problem = named + " does not say how long it is, or is longer than a disc can be";
        return nullptr;
    }
    return std::make_unique<SoundFile>(std::move(fd), std::move(decoder), frames);
}

// libsndfile quietly takes a header that promises more than the file holds
// at the file's length, so every later file of the sheet would start too
// early; a FLAC file cut short keeps its header's length, and fails where
// its audio ends. Both must do the latter.
std::int64_t PromisedFrames(int fd, std::int64_t fileSize) {
    unsigned char head[12];
    auto readAt = [&](std::int64_t offset, unsigned char* to, std::size_t n) {
        return ::pread(fd, to, n, offset) == static_cast<ssize_t>(n);
    };
    if (!readAt(0, head, sizeof head))
        return -1;
    const bool riff = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
    const bool aiff = std::memcmp(head, "FORM", 4) == 0 && (std::memcmp(head + 8, "AIFF", 4) == 0 ||
                                                            std::memcmp(head + 8, "AIFC", 4) == 0);
    if (!riff && !aiff)
        return -1;
    auto number = [&](const unsigned char* b) { // RIFF is little-endian, AIFF big-endian
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | b[riff ? 3 - i : i];
        return value;
    };
    for (std::int64_t at = 12; at + 8 <= fileSize;) {
        unsigned char chunk[14];
        if (!readAt(at, chunk, 8))
            return -1;
        const std::uint32_t size = number(chunk + 4);
        if (riff && std::memcmp(chunk, "data", 4) == 0)
            return size == 0 || size == 0xFFFFFFFF ? -1 : size / 4; // 16-bit stereo, checked before
        if (aiff && std::memcmp(chunk, "COMM", 4) == 0)
            return readAt(at + 8, chunk, 6) ? number(chunk + 2) : -1;
        at += 8 + std::int64_t{size} + (size & 1);
    }
    return -1;
}

void LaidImage::Add(std::int64_t frames, ImageFile* file, std::int64_t fileFrame) {
    if (frames > 0)
        pieces.push_back({EndFrame(), frames, file, fileFrame});
}

bool LaidImage::ReadsFile(std::uint64_t device, std::uint64_t inode) {
    return std::any_of(read.begin(), read.end(),
                       [&](const auto& id) { return id.first == device && id.second == inode; });
}

bool LaidImage::Read(std::int32_t start, std::uint32_t count, unsigned char* out) {
    const std::int64_t first = std::int64_t{start} * kFramesPerSector;
    const std::int64_t end = first + std::int64_t{count} * kFramesPerSector;
    auto piece =
        std::upper_bound(pieces.begin(), pieces.end(), first,
                         [](std::int64_t frame, const Piece& p) { return frame < p.start; });
    --piece; // the caller keeps within the disc, whose first piece starts at 0
    for (std::int64_t at = first; at < end; ++piece) {
        const std::int64_t offset = at - piece->start;
        const std::int64_t n = std::min(end, piece->start + piece->frames) - at;
        unsigned char* into = out + (at - first) * 4;
        if (!piece->file)
            std::memset(into, 0, static_cast<std::size_t>(n) * 4);
        else if (!piece->file->Read(piece->fileFrame + offset, n, into))
            return false;
        at += n;
    }
    return true;
}

} // namespace akrip::detail
