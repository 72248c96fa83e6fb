#pragma once
// What the verify tests share: running the independent tools and reading
// their answer, WAV files of given audio, audio that is music-like or made to
// hold zero samples, and the test's server on 127.0.0.1.

#include "DiscMaker.h"
#include "LocalServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace verifytest {

using testsupport::LocalServer;
using testsupport::Reply;

// An HTTP answer of 200 with body.
inline std::string Ok(const std::string& body) {
    return testsupport::Http(200, body).bytes;
}

// What the shell command prints on its standard output, trailing newline
// removed; empty when it fails.
inline std::string Capture(const std::string& command) {
    std::string out = testsupport::Command(command);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// text quoted for the shell.
inline std::string Quote(const std::string& text) {
    std::string q = "'";
    for (const char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A Python program run by the system's python3 (which has the Debian
// modules), its arguments quoted for the shell.
inline std::string Python(const std::string& program, const std::vector<std::string>& args = {}) {
    std::string command = VERIFY_PYTHON " -c " + Quote(program);
    for (const std::string& a : args)
        command += ' ' + Quote(a);
    return Capture(command);
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline std::string WavFile(const std::string& pcm) {
    std::string h(
        "RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data....", 44);
    const auto bytes = std::uint32_t(pcm.size());
    for (std::size_t i = 0; i < 4; ++i)
        h[4 + i] = char((bytes + 36) >> 8 * i), h[40 + i] = char(bytes >> 8 * i);
    return h + pcm;
}

// accuraterip-checksum's v2 (or v1) of a WAV file as track `track` of `total`.
inline std::uint32_t ToolArSum(const std::string& wav, int track, int total, bool v1) {
    const std::string out =
        Capture(std::string("accuraterip-checksum ") + (v1 ? "--accuraterip-v1 " : "") +
                Quote(wav) + " " + std::to_string(track) + " " + std::to_string(total));
    return std::uint32_t(std::stoul(out, nullptr, 16));
}

// Python's zlib.crc32 of a file's bytes from `skip` on; with noNulls, of its
// 16-bit samples that are not zero.
inline std::uint32_t ToolCrc(const std::string& file, std::size_t skip, bool noNulls) {
    const std::string program = "import sys, zlib, array\n"
                                "b = open(sys.argv[1], 'rb').read()[int(sys.argv[2]):]\n"
                                "if sys.argv[3] == '1':\n"
                                "    a = array.array('h', b)\n"
                                "    b = array.array('h', [x for x in a if x]).tobytes()\n"
                                "print('%08x' % zlib.crc32(b))\n";
    return std::uint32_t(std::stoul(
        Python(program, {file, std::to_string(skip), noNulls ? "1" : "0"}), nullptr, 16));
}

// Sectors [from, to) of a discmaker disc's audio.
inline std::string DiscAudioBytes(const discmaker::DiscPlan& plan, std::int32_t from,
                                  std::int32_t to) {
    std::string bytes(std::size_t(to - from) * discmaker::kSectorBytes, '\0');
    for (std::int32_t s = from; s < to; ++s)
        discmaker::FillSector(plan, s,
                              reinterpret_cast<unsigned char*>(
                                  &bytes[std::size_t(s - from) * discmaker::kSectorBytes]));
    return bytes;
}

inline const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

} // namespace verifytest
