#pragma once
// What the encoder tests share: a track's audio, an output into a real file
// that runs out of room, the MP3 settings, and the commands that read the
// files back.

#include "output/TrackEncoder.h"
#include "output/lame_enc.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "TestSupport.h"

namespace outputtest {

// A file on a disk that is full after `room` bytes: a write that does not
// fit writes what does, then fails.
struct FullDiskOutput final : ripengine::TrackOutput {
    int fd;
    std::uint64_t room;
    FullDiskOutput(const std::string& path, std::uint64_t bytes)
        : fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)), room(bytes) {}
    ~FullDiskOutput() override { ::close(fd); }
    FullDiskOutput(const FullDiskOutput&) = delete;
    FullDiskOutput& operator=(const FullDiskOutput&) = delete;
    bool Write(const void* data, std::size_t n) override {
        const std::uint64_t at = Tell(),
                            fits = at < room ? std::min<std::uint64_t>(n, room - at) : 0;
        return ::write(fd, data, fits) == static_cast<ssize_t>(fits) && fits == n;
    }
    bool Truncate(std::uint64_t size) override {
        return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    }
    bool Seek(std::uint64_t offset) override {
        return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
    }
    std::uint64_t Tell() const override {
        return static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_CUR));
    }
    void RequestFlush() override {}
};

// The encoder module's record for joint stereo at a bitrate, quality Normal.
inline lame_enc::BE_CONFIG Mp3Config(std::uint32_t kbps) {
    lame_enc::BE_CONFIG c{};
    c.dwConfig = lame_enc::kConfigLame;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof c;
    c.dwSampleRate = 44100;
    c.nMode = lame_enc::kModeJointStereo;
    c.dwBitrate = kbps;
    c.dwMpegVersion = 1;
    c.nVbrMethod = lame_enc::kVbrMethodNone;
    return c;
}

// Sectors of CD audio: a tone in each channel under some noise, which packs
// about as well as music does.
inline std::string Audio(int sectors) {
    std::string pcm(static_cast<std::size_t>(sectors) * 2352, '\0');
    std::uint32_t noise = 1;
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        noise = noise * 1664525 + 1013904223;
        const double tone = 8000 * std::sin(double(i / 2) * (i % 2 ? 0.031 : 0.047));
        const auto v = static_cast<std::int16_t>(tone + int(noise >> 23) - 256);
        pcm[2 * i] = static_cast<char>(v & 0xFF);
        pcm[2 * i + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    return pcm;
}

using testsupport::Command;
using testsupport::ReadAll;

// What encoding a track into a file did, and the file it left.
struct Encoded {
    bool begun = false, written = false, ended = false;
    std::string bytes;
};

// Encodes the track `pcm` into `file` on a disk with `room` bytes, 26
// sectors at a time as the reader hands them. Begin is told the whole track;
// when only `sectors` of it come, End is told that they were all.
inline Encoded Encode(ripengine::TrackEncoder& encoder, const std::string& file, std::uint64_t room,
                      const std::string& pcm, int sectors = -1) {
    if (sectors < 0)
        sectors = static_cast<int>(pcm.size() / 2352);
    Encoded r;
    {
        FullDiskOutput out(file, room);
        const auto* audio = reinterpret_cast<const unsigned char*>(pcm.data());
        r.begun = r.written = encoder.Begin(out, pcm.size());
        for (int s = 0; r.written && s < sectors; s += 26)
            r.written = encoder.Encode(out, audio + s * 2352, std::min(26, sectors - s));
        r.ended = encoder.End(out, std::uint64_t(sectors) * 2352);
    }
    r.bytes = ReadAll(file);
    return r;
}

} // namespace outputtest
