// The MP3 encoder module over libmp3lame: five exported functions behind the
// BE_CONFIG record. The program loads it at run time from its own folder.
//
// The file it helps to write holds the encoder's frames and no ID3 tag, so
// what the caller writes is exactly what LAME encodes; with bWriteVBRHeader
// the first frame is the Info frame, which the caller writes last, from
// beGetInfoTag. Input is always interleaved 16-bit stereo, as a CD delivers
// it.

#include "output/lame_enc.h"

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#define LAME_ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace lame_enc;

// How each quality preset maps onto LAME, keeping the caller's bitrate.
// quality: LAME's 0 (slowest, best) to 9 (fastest); lowpass in Hz, 0 for
// LAME's own choice for the bitrate, -1 for no filter at all.
struct PresetSetting {
    std::int32_t code;
    int quality;
    int lowpassHz;
};
constexpr std::array<PresetSetting, 10> kPresets = {{
    {kPresetNormal, 5, 0}, // LAME's usual balance of speed and quality
    {kPresetLow, 7, 0},    // faster
    {kPresetHigh, 2, 0},   // slower, better
    {kPresetVoice, 5, 10000},
    {kPresetPhone, 5, 3400},  // the telephone band
    {kPresetRadio, 5, 15000}, // what FM broadcasts carry
    {kPresetTape, 5, 14000},
    {kPresetHifi, 2, 19500}, // more treble than LAME keeps by default
    {kPresetCD, 2, -1},      // the whole band
    {kPresetStudio, 0, -1},
}};

constexpr std::array<std::uint32_t, 14> kMpeg1Layer3Bitrates = {32,  40,  48,  56,  64,  80,  96,
                                                                112, 128, 160, 192, 224, 256, 320};
constexpr std::array<std::uint32_t, 3> kMpeg1SampleRates = {32000, 44100, 48000};

// One MP3 frame of stereo samples: what the encoder prefers per chunk.
constexpr std::uint32_t kFrameSamples = 1152;
// LAME's own rule for an output buffer that one chunk of n samples per
// channel (or the final flush) always fits: 1.25 n + 7200 bytes.
constexpr std::uint32_t kOutputBytes = kFrameSamples * 5 / 4 + 7200;

struct LameClose {
    void operator()(lame_global_flags* flags) const noexcept { lame_close(flags); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameClose>;

// Each stream has a lock of its own, so streams encode side by side on every
// core; the table's lock is held only to find or change an entry. The table
// grows as streams are opened (a handle is its index + 1, and a closed one's
// slot is taken again), so the module holds as many as the program runs.
struct Stream {
    std::mutex mutex;
    LamePtr lame;
};

std::mutex streamsMutex;
std::vector<std::shared_ptr<Stream>> streams;

void Quiet(const char*, va_list) {}

template <typename T, std::size_t N> bool Contains(const std::array<T, N>& values, T value) {
    for (const T& v : values)
        if (v == value)
            return true;
    return false;
}

const PresetSetting* FindPreset(std::int32_t code) {
    for (const PresetSetting& preset : kPresets)
        if (preset.code == code)
            return &preset;
    return nullptr;
}

bool ValidParameters(const BE_CONFIG& c) {
    const std::int32_t mode = c.nMode;
    return c.dwMpegVersion == 1 && Contains(kMpeg1SampleRates, c.dwSampleRate) &&
           (c.dwReSampleRate == 0 || Contains(kMpeg1SampleRates, c.dwReSampleRate)) &&
           Contains(kMpeg1Layer3Bitrates, c.dwBitrate) &&
           (mode == kModeStereo || mode == kModeJointStereo || mode == kModeMono) &&
           c.dwEmphasis <= 3 && c.bEnableVBR == 0 && FindPreset(c.nPreset) != nullptr;
}

LamePtr Configure(const BE_CONFIG& c) {
    LamePtr lame(lame_init());
    if (!lame)
        return nullptr;
    lame_global_flags* f = lame.get();
    lame_set_errorf(f, Quiet);
    lame_set_debugf(f, Quiet);
    lame_set_msgf(f, Quiet);
    lame_set_num_channels(f, 2);
    lame_set_in_samplerate(f, static_cast<int>(c.dwSampleRate));
    lame_set_out_samplerate(f,
                            static_cast<int>(c.dwReSampleRate ? c.dwReSampleRate : c.dwSampleRate));
    lame_set_mode(f, c.nMode == kModeMono ? MONO : c.nMode == kModeStereo ? STEREO : JOINT_STEREO);
    lame_set_VBR(f, vbr_off);
    lame_set_brate(f, static_cast<int>(c.dwBitrate));
    const PresetSetting& preset = *FindPreset(c.nPreset);
    lame_set_quality(f, preset.quality);
    if (preset.lowpassHz != 0)
        lame_set_lowpassfreq(f, preset.lowpassHz);
    lame_set_extension(f, c.bPrivate != 0);
    lame_set_error_protection(f, c.bCRC != 0);
    lame_set_copyright(f, c.bCopyright != 0);
    lame_set_original(f, c.bOriginal != 0);
    lame_set_emphasis(f, static_cast<int>(c.dwEmphasis));
    // The bit reservoir, and how full it may get, stay the library's
    // defaults unless the record asks otherwise, as in the lame command
    // (bStrictIso is its --strictly-enforce-ISO): the library's "off" for
    // strict ISO is not its default, and gives other frames at high bitrates.
    if (c.bNoRes != 0)
        lame_set_disable_reservoir(f, 1);
    if (c.bStrictIso != 0)
        lame_set_strict_ISO(f, MDB_STRICT_ISO);
    lame_set_bWriteVbrTag(f, c.bWriteVBRHeader != 0);
    lame_set_write_id3tag_automatic(f, 0);
    lame_set_findReplayGain(f, 0);
    if (lame_init_params(f) < 0)
        return nullptr;
    return lame;
}

// The stream behind a handle, or null.
std::shared_ptr<Stream> Find(HBE_STREAM handle) {
    const std::lock_guard lock(streamsMutex);
    if (handle < 1 || handle > streams.size())
        return nullptr;
    return streams[handle - 1];
}

std::uint32_t Encoded(int bytes, std::uint32_t* outputBytes) {
    if (bytes < 0) {
        *outputBytes = 0;
        return bytes == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    *outputBytes = static_cast<std::uint32_t>(bytes);
    return BE_ERR_SUCCESSFUL;
}

} // namespace

LAME_ENC_EXPORT std::uint32_t beInitStream(BE_CONFIG* config, std::uint32_t* samples,
                                           std::uint32_t* bufferSize, HBE_STREAM* stream) {
    if (!config || !samples || !bufferSize || !stream)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config->dwConfig != kConfigLame)
        return BE_ERR_INVALID_FORMAT;
    if (!ValidParameters(*config))
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    // LAME is set up before the table is locked: that takes a while, and other
    // streams go on encoding meanwhile.
    auto made = std::make_shared<Stream>();
    made->lame = Configure(*config);
    if (!made->lame)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    const std::lock_guard lock(streamsMutex);
    const auto free = std::find(streams.begin(), streams.end(), nullptr);
    const auto slot = static_cast<std::size_t>(free - streams.begin());
    // A handle is 32 bits; the table never comes near that.
    if (slot >= std::numeric_limits<HBE_STREAM>::max())
        return BE_ERR_NO_MORE_HANDLES;
    if (free == streams.end())
        streams.push_back(std::move(made));
    else
        *free = std::move(made);
    *samples = kFrameSamples * 2;
    *bufferSize = kOutputBytes;
    *stream = static_cast<HBE_STREAM>(slot + 1);
    return BE_ERR_SUCCESSFUL;
}

namespace {

// What every call that hands bytes back does first: an output count to
// fill (zeroed), and a stream that is open, locked while work runs on it.
template <typename Work>
std::uint32_t OnStream(HBE_STREAM stream, std::uint32_t* outputBytes, Work work) {
    if (!outputBytes)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *outputBytes = 0;
    const std::shared_ptr<Stream> found = Find(stream);
    if (!found)
        return BE_ERR_INVALID_HANDLE;
    const std::lock_guard lock(found->mutex);
    return work(found->lame.get());
}

} // namespace

// At most the samples beInitStream reported per call: the output buffer is
// sized for that.
LAME_ENC_EXPORT std::uint32_t beEncodeChunk(HBE_STREAM stream, std::uint32_t samples,
                                            const std::int16_t* pcm, std::uint8_t* output,
                                            std::uint32_t* outputBytes) {
    return OnStream(stream, outputBytes, [&](lame_global_flags* lame) -> std::uint32_t {
        if (samples > kFrameSamples * 2)
            return BE_ERR_BUFFER_TOO_SMALL;
        if (samples % 2 != 0 || (samples > 0 && (!pcm || !output)))
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        if (samples == 0)
            return BE_ERR_SUCCESSFUL;
        // LAME takes the samples through a non-const pointer but only reads them.
        const int bytes = lame_encode_buffer_interleaved(lame, const_cast<short*>(pcm),
                                                         static_cast<int>(samples / 2), output,
                                                         static_cast<int>(kOutputBytes));
        return Encoded(bytes, outputBytes);
    });
}

LAME_ENC_EXPORT std::uint32_t beDeinitStream(HBE_STREAM stream, std::uint8_t* output,
                                             std::uint32_t* outputBytes) {
    return OnStream(stream, outputBytes, [&](lame_global_flags* lame) -> std::uint32_t {
        if (!output)
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        return Encoded(lame_encode_flush(lame, output, static_cast<int>(kOutputBytes)),
                       outputBytes);
    });
}

// LAME keeps the frame count and the stream's length and CRC as it encodes;
// the Info frame states them once the stream is flushed.
LAME_ENC_EXPORT std::uint32_t beGetInfoTag(HBE_STREAM stream, std::uint8_t* output,
                                           std::uint32_t* outputBytes) {
    return OnStream(stream, outputBytes, [&](lame_global_flags* lame) -> std::uint32_t {
        if (!output)
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        const std::size_t bytes = lame_get_lametag_frame(lame, output, kOutputBytes);
        if (bytes > kOutputBytes)
            return BE_ERR_BUFFER_TOO_SMALL;
        *outputBytes = static_cast<std::uint32_t>(bytes);
        return BE_ERR_SUCCESSFUL;
    });
}

LAME_ENC_EXPORT std::uint32_t beCloseStream(HBE_STREAM stream) {
    std::shared_ptr<Stream> closed;
    {
        const std::lock_guard lock(streamsMutex);
        if (stream < 1 || stream > streams.size() || !streams[stream - 1])
            return BE_ERR_INVALID_HANDLE;
        closed = std::move(streams[stream - 1]);
    }
    // An encode still running on it keeps it until that returns; LAME is
    // closed outside the table's lock.
    return BE_ERR_SUCCESSFUL;
}
