#pragma once
// The MP3 encoder module's interface: its configuration record, its four
// stream functions and beGetInfoTag. The module (lame_enc.so in the
// application folder) is loaded at run time, so a machine without it still
// extracts WAV files; this header is shared by the module and the program
// that loads it.

#include <cstddef>
#include <cstdint>

namespace lame_enc {

#pragma pack(push, 1)

// 331 bytes, little-endian, fields back to back. Flags hold -1 for on.
struct BE_CONFIG {
    std::uint32_t dwConfig;        // kConfigLame: the extended layout below
    std::uint32_t dwStructVersion; // 1
    std::uint32_t dwStructSize;    // 331
    std::uint32_t dwSampleRate;
    std::uint32_t dwReSampleRate; // 0: no resampling
    std::int32_t nMode;           // kModeStereo, kModeJointStereo or kModeMono
    std::uint32_t dwBitrate;      // kbit/s
    std::uint32_t dwMaxBitrate;
    std::int32_t nPreset;        // a quality preset code (kPreset...)
    std::uint32_t dwMpegVersion; // 1: MPEG-1
    std::uint32_t dwPsyModel;
    std::uint32_t dwEmphasis;
    std::int32_t bPrivate;
    std::int32_t bCRC;
    std::int32_t bCopyright;
    std::int32_t bOriginal;
    // On: the stream's first frame is a blank one, the Info frame's room, and
    // beGetInfoTag gives the frame for it.
    std::int32_t bWriteVBRHeader;
    std::int32_t bEnableVBR;
    std::int32_t nVBRQuality;
    std::uint32_t dwVbrAbr_bps;
    std::int32_t nVbrMethod; // -1: constant bitrate
    std::int32_t bNoRes;
    std::int32_t bStrictIso;
    std::uint16_t nQuality;
    std::uint8_t btReserved[237];
};

#pragma pack(pop)

static_assert(sizeof(BE_CONFIG) == 331);
static_assert(offsetof(BE_CONFIG, dwSampleRate) == 12);
static_assert(offsetof(BE_CONFIG, nMode) == 20);
static_assert(offsetof(BE_CONFIG, dwBitrate) == 24);
static_assert(offsetof(BE_CONFIG, nPreset) == 32);
static_assert(offsetof(BE_CONFIG, dwMpegVersion) == 36);
static_assert(offsetof(BE_CONFIG, dwEmphasis) == 44);
static_assert(offsetof(BE_CONFIG, bPrivate) == 48);
static_assert(offsetof(BE_CONFIG, bCRC) == 52);
static_assert(offsetof(BE_CONFIG, bCopyright) == 56);
static_assert(offsetof(BE_CONFIG, bOriginal) == 60);
static_assert(offsetof(BE_CONFIG, bWriteVBRHeader) == 64);
static_assert(offsetof(BE_CONFIG, dwVbrAbr_bps) == 76);
static_assert(offsetof(BE_CONFIG, nVbrMethod) == 80);
static_assert(offsetof(BE_CONFIG, bNoRes) == 84);
static_assert(offsetof(BE_CONFIG, bStrictIso) == 88);
static_assert(offsetof(BE_CONFIG, nQuality) == 92);
static_assert(offsetof(BE_CONFIG, btReserved) == 94);

constexpr std::uint32_t kConfigLame = 256;
constexpr std::int32_t kModeStereo = 0;
constexpr std::int32_t kModeJointStereo = 1;
constexpr std::int32_t kModeMono = 3;
constexpr std::int32_t kVbrMethodNone = -1;

// Result codes of the functions.
enum Result : std::uint32_t {
    BE_ERR_SUCCESSFUL = 0,
    BE_ERR_INVALID_FORMAT = 1,
    BE_ERR_INVALID_FORMAT_PARAMETERS = 2,
    BE_ERR_NO_MORE_HANDLES = 3,
    BE_ERR_INVALID_HANDLE = 4,
    BE_ERR_BUFFER_TOO_SMALL = 5,
};

// Quality preset codes (nPreset).
enum Preset : std::int32_t {
    kPresetNormal = 0,
    kPresetLow = 1,
    kPresetHigh = 2,
    kPresetVoice = 3,
    kPresetPhone = 1000,
    kPresetRadio = 6000,
    kPresetTape = 7000,
    kPresetHifi = 8000,
    kPresetCD = 9000,
    kPresetStudio = 10000,
};

using HBE_STREAM = std::uint32_t;

// beInitStream: samples per chunk the encoder prefers, the output buffer
// size the caller must allocate, and the stream handle.
using BeInitStream = std::uint32_t (*)(BE_CONFIG* config, std::uint32_t* samples,
                                       std::uint32_t* bufferSize, HBE_STREAM* stream);
// beEncodeChunk: samples counts 16-bit values, channels interleaved.
using BeEncodeChunk = std::uint32_t (*)(HBE_STREAM stream, std::uint32_t samples,
                                        const std::int16_t* pcm, std::uint8_t* output,
                                        std::uint32_t* outputBytes);
using BeDeinitStream = std::uint32_t (*)(HBE_STREAM stream, std::uint8_t* output,
                                         std::uint32_t* outputBytes);
using BeCloseStream = std::uint32_t (*)(HBE_STREAM stream);
// beGetInfoTag, after beDeinitStream: the Info frame (the LAME tag: frame
// count, encoder delay and padding, what gapless players read) that belongs
// in the room the stream started with; output has the size beInitStream
// asked for. No bytes when the stream has no such room (bWriteVBRHeader off,
// or a bitrate whose frame cannot hold the tag).
using BeGetInfoTag = std::uint32_t (*)(HBE_STREAM stream, std::uint8_t* output,
                                       std::uint32_t* outputBytes);

} // namespace lame_enc
