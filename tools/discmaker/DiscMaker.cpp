#include "DiscMaker.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <utility>

#include <sndfile.h>

namespace discmaker {
namespace {

constexpr int kFramesPerSector = kSectorBytes / 4; // stereo, 16 bit
constexpr int kSampleRate = 44100;
constexpr int kMaxPartials = 4;
constexpr int kTableBits = 12;
// Tracks must start by 99:59:74, the last position a CUE sheet can write.
constexpr std::int64_t kMaxSectors = 100 * 60 * kSectorsPerSecond;

// Everything is integer arithmetic so that a sample depends only on its
// position and the seed: FillSector of one sector and WriteCueBin of a whole
// disc then agree to the bit, whatever the compiler does with the loops.

std::uint64_t Mix(std::uint64_t x) { // splitmix64's finaliser
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint32_t Mix32(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    return x ^ (x >> 16);
}

// Random number in [lo, hi] picked by a key.
int Pick(std::uint64_t key, int lo, int hi) {
    return lo + static_cast<int>(Mix(key) % static_cast<std::uint64_t>(hi - lo + 1));
}

const std::array<std::int16_t, 1 << kTableBits>& SineTable() {
    static const auto table = [] {
        std::array<std::int16_t, 1 << kTableBits> t{};
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<std::int16_t>(
                std::lround(32767.0 * std::sin(2.0 * std::numbers::pi * static_cast<double>(i) /
                                               static_cast<double>(t.size()))));
        return t;
    }();
    return table;
}

int Sine(std::uint32_t phase) {
    return SineTable()[phase >> (32 - kTableBits)];
}

std::uint32_t PhaseStep(double hertz) {
    return static_cast<std::uint32_t>(std::llround(hertz / kSampleRate * 4294967296.0));
}

// The sound of one track: a few partials over a melody of plucked notes,
// under a slowly swelling level.
struct Voice {
    std::uint64_t key = 0;
    int partials = 0;
    std::array<int, kMaxPartials> ratioTimes4{};      // partial frequency / note frequency, times 4
    std::array<std::int32_t, kMaxPartials> ampLeft{}; // Q15
    std::array<std::int32_t, kMaxPartials> ampRight{};
    int baseNote = 0; // MIDI number
    std::int32_t noteFrames = 0;
    std::int32_t attackFrames = 0;
    std::uint32_t levelStep = 0;
};

struct Note {
    std::array<std::uint32_t, kMaxPartials> step{};
    std::array<std::uint32_t, kMaxPartials> phase{};
    std::int32_t velocity = 0;   // Q15
    std::int64_t decayScale = 0; // turns frames-to-go into Q15
};

Voice MakeVoice(std::uint32_t seed, int track) {
    static constexpr int kRatios[] = {4, 8, 12, 16, 6, 10, 20};
    Voice v;
    v.key = Mix(std::uint64_t{seed} << 8 | static_cast<std::uint64_t>(track));
    v.partials = Pick(v.key + 1, 3, kMaxPartials);
    v.baseNote = Pick(v.key + 2, 45, 60);
    v.noteFrames = kSampleRate * Pick(v.key + 3, 25, 60) / 100;
    v.attackFrames = kSampleRate * Pick(v.key + 4, 5, 30) / 1000;
    v.levelStep = PhaseStep(1.0 / Pick(v.key + 5, 6, 15));
    int weightSum = 0;
    std::array<int, kMaxPartials> weight{};
    for (int k = 0; k < v.partials; ++k) {
        v.ratioTimes4[static_cast<std::size_t>(k)] =
            k == 0 ? 4 : kRatios[Pick(v.key + 10 + static_cast<std::uint64_t>(k), 1, 6)];
        weight[static_cast<std::size_t>(k)] =
            Pick(v.key + 20 + static_cast<std::uint64_t>(k), 20, 100) / (k + 1);
        weightSum += weight[static_cast<std::size_t>(k)];
    }
    for (int k = 0; k < v.partials; ++k) {
        const auto i = static_cast<std::size_t>(k);
        // The partials together stay below 85% of full scale, so nothing clips.
        const std::int32_t amp = 27800 * weight[i] / weightSum;
        const int pan =
            Pick(v.key + 30 + static_cast<std::uint64_t>(k), 20, 80); // percent to the right
        v.ampLeft[i] = amp * (100 - pan) / 80;
        v.ampRight[i] = amp * pan / 80;
    }
    return v;
}

Note MakeNote(const Voice& v, std::int64_t index) {
    static constexpr int kScale[] = {0, 2, 4, 7, 9, 12, 14, 16}; // pentatonic
    const std::uint64_t key = Mix(v.key ^ (static_cast<std::uint64_t>(index) * 0x100000001b3ULL));
    const int midi = v.baseNote + kScale[key % 8];
    const double hertz = 440.0 * std::pow(2.0, (midi - 69) / 12.0);
    Note n;
    for (int k = 0; k < v.partials; ++k) {
        const auto i = static_cast<std::size_t>(k);
        n.step[i] = PhaseStep(hertz * v.ratioTimes4[i] / 4.0);
        n.phase[i] = static_cast<std::uint32_t>(Mix(key + i));
    }
    n.velocity = 19000 + static_cast<std::int32_t>((key >> 8) % 13000);
    n.decayScale = (std::int64_t{32767} << 16) / (v.noteFrames - v.attackFrames);
    return n;
}

struct Layout {
    std::vector<std::int32_t> starts; // track starts, then the lead-out
};

Layout MakeLayout(const DiscPlan& plan) {
    if (plan.trackSectors.empty() || plan.trackSectors.size() > kMaxTracks)
        throw std::invalid_argument("a disc needs 1 to 99 tracks, not " +
                                    std::to_string(plan.trackSectors.size()));
    Layout layout;
    std::int64_t at = plan.pregap ? kPregapSectors : 0;
    for (std::int32_t length : plan.trackSectors) {
        if (length < 1)
            throw std::invalid_argument("track length " + std::to_string(length) +
                                        " is not a positive number of sectors");
        layout.starts.push_back(static_cast<std::int32_t>(at));
        at += length;
        if (at > kMaxSectors)
            throw std::invalid_argument("the tracks do not fit on a 100-minute disc");
    }
    layout.starts.push_back(static_cast<std::int32_t>(at));
    return layout;
}

void PutSample(unsigned char*& out, std::int32_t value) {
    value = value > 32767 ? 32767 : value < -32768 ? -32768 : value;
    const auto bits = static_cast<std::uint16_t>(value);
    *out++ = static_cast<unsigned char>(bits & 0xff);
    *out++ = static_cast<unsigned char>(bits >> 8);
}

// Renders `count` sectors from `first` into out (count * 2352 bytes).
void Render(const DiscPlan& plan, const Layout& layout, std::int32_t first, std::int32_t count,
            unsigned char* out) {
    const std::uint32_t noiseKey = static_cast<std::uint32_t>(Mix(plan.seed));
    std::size_t track = 0;
    Voice voice;
    bool haveVoice = false;
    for (std::int32_t sector = first; sector < first + count; ++sector) {
        const std::int64_t frame0 = std::int64_t{sector} * kFramesPerSector;
        if (sector < layout.starts.front()) { // pregap: a quiet hiss only
            for (int i = 0; i < kFramesPerSector; ++i) {
                const std::uint32_t noise =
                    Mix32(static_cast<std::uint32_t>(frame0 + i) ^ noiseKey);
                PutSample(out, static_cast<std::int16_t>(noise & 0xffff) >> 12);
                PutSample(out, static_cast<std::int16_t>(noise >> 16) >> 12);
            }
            continue;
        }
        while (sector >= layout.starts[track + 1]) {
            ++track;
            haveVoice = false;
        }
        if (!haveVoice) {
            voice = MakeVoice(plan.seed, static_cast<int>(track));
            haveVoice = true;
        }
        const std::int64_t r0 = frame0 - std::int64_t{layout.starts[track]} * kFramesPerSector;
        std::int64_t noteIndex = r0 / voice.noteFrames;
        std::int32_t inNote = static_cast<std::int32_t>(r0 % voice.noteFrames);
        Note note = MakeNote(voice, noteIndex);
        for (int i = 0; i < kFramesPerSector; ++i, ++inNote) {
            if (inNote == voice.noteFrames) {
                note = MakeNote(voice, ++noteIndex);
                inNote = 0;
            }
            std::int32_t left = 0;
            std::int32_t right = 0;
            for (int k = 0; k < voice.partials; ++k) {
                const auto p = static_cast<std::size_t>(k);
                const int s =
                    Sine(note.phase[p] + note.step[p] * static_cast<std::uint32_t>(inNote));
                left += (s * voice.ampLeft[p]) >> 15;
                right += (s * voice.ampRight[p]) >> 15;
            }
            // Note envelope: a short rise, then a fall to nothing by the next note.
            std::int32_t env;
            if (inNote < voice.attackFrames) {
                env = 32767 * inNote / voice.attackFrames;
            } else {
                env = static_cast<std::int32_t>(((voice.noteFrames - inNote) * note.decayScale) >>
                                                16);
            }
            env = (env * note.velocity) >> 15;
            const std::uint32_t r = static_cast<std::uint32_t>(r0 + i);
            const std::int32_t level =
                22937 + ((Sine(r * voice.levelStep) * 9830) >> 15); // 0.4 .. 1.0
            const std::int32_t gain = (env * level) >> 15;
            const std::uint32_t noise = Mix32(static_cast<std::uint32_t>(frame0 + i) ^ noiseKey);
            PutSample(out,
                      ((left * gain) >> 15) + (static_cast<std::int16_t>(noise & 0xffff) >> 9));
            PutSample(out, ((right * gain) >> 15) + (static_cast<std::int16_t>(noise >> 16) >> 9));
        }
    }
}

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::runtime_error SystemError(const std::string& what, const std::string& path) {
    return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

// Writes the whole file, or throws; a failed close counts as a failed write
// (that is where a full disk may show).
class OutFile {
  public:
    explicit OutFile(std::string path)
        : path_(std::move(path)), file_(std::fopen(path_.c_str(), "wbe")) {
        if (!file_)
            throw SystemError("cannot create", path_);
    }
    void Write(const unsigned char* data, std::size_t size) {
        if (std::fwrite(data, 1, size, file_.get()) != size)
            throw SystemError("cannot write", path_);
    }
    void Close() {
        if (std::fclose(file_.release()) != 0)
            throw SystemError("cannot write", path_);
    }

  private:
    std::string path_;
    FilePtr file_;
};

struct SndfileCloser {
    void operator()(SNDFILE* f) const noexcept { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// One sink for rendered stereo frames, raw or through libsndfile.
class AudioSink {
  public:
    AudioSink(const std::string& path, FileType type, SoundForm form) : type_(type), form_(form) {
        if (type == FileType::Binary || type == FileType::Motorola) {
            raw_.emplace(path);
            return;
        }
        const int container = type == FileType::Wave   ? SF_FORMAT_WAV
                              : type == FileType::Aiff ? SF_FORMAT_AIFF
                                                       : SF_FORMAT_FLAC;
        const int samples = form.bits == 8    ? SF_FORMAT_PCM_S8
                            : form.bits == 24 ? SF_FORMAT_PCM_24
                                              : SF_FORMAT_PCM_16;
        SF_INFO info{};
        info.samplerate = form.rate;
        info.channels = form.channels;
        info.format = container | samples;
        sound_.reset(sf_open(path.c_str(), SFM_WRITE, &info));
        if (!sound_)
            throw std::runtime_error("cannot create " + path + ": " + sf_strerror(nullptr));
        path_ = path;
    }
    // frames * 4 bytes of 16-bit little-endian stereo.
    void Write(unsigned char* data, std::int64_t frames) {
        const auto bytes = static_cast<std::size_t>(frames) * 4;
        if (raw_) {
            if (type_ == FileType::Motorola)
                for (std::size_t i = 0; i + 1 < bytes; i += 2)
                    std::swap(data[i], data[i + 1]);
            raw_->Write(data, bytes);
            return;
        }
        samples_.resize(static_cast<std::size_t>(frames) *
                        static_cast<std::size_t>(form_.channels));
        for (std::int64_t f = 0; f < frames; ++f)
            for (int c = 0; c < form_.channels; ++c) {
                const std::size_t at =
                    static_cast<std::size_t>(f) * 4 + static_cast<std::size_t>(c) * 2;
                samples_[static_cast<std::size_t>(f * form_.channels + c)] =
                    static_cast<short>(data[at] | data[at + 1] << 8);
            }
        if (sf_writef_short(sound_.get(), samples_.data(), frames) != frames)
            throw std::runtime_error("cannot write " + path_ + ": " + sf_strerror(sound_.get()));
    }
    void Close() {
        if (raw_) {
            raw_->Close();
        } else if (sf_close(sound_.release()) != 0) {
            throw std::runtime_error("cannot write " + path_);
        }
    }

  private:
    FileType type_;
    SoundForm form_;
    std::optional<OutFile> raw_;
    SndfilePtr sound_;
    std::string path_;
    std::vector<short> samples_;
};

const char* Extension(FileType type) {
    switch (type) {
    case FileType::Binary:
    case FileType::Motorola:
        return ".bin";
    case FileType::Wave:
        return ".wav";
    case FileType::Aiff:
        return ".aiff";
    case FileType::Flac:
        return ".flac";
    }
    return ".bin";
}

// Rippers name a FLAC file WAVE in the sheet, so that is what we write too.
const char* Keyword(FileType type) {
    switch (type) {
    case FileType::Binary:
        return "BINARY";
    case FileType::Motorola:
        return "MOTOROLA";
    case FileType::Aiff:
        return "AIFF";
    case FileType::Wave:
    case FileType::Flac:
        return "WAVE";
    }
    return "BINARY";
}

std::string Msf(std::int32_t sector) {
    char text[40];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", sector / (60 * kSectorsPerSecond),
                  sector / kSectorsPerSecond % 60, sector % kSectorsPerSecond);
    return text;
}

} // namespace

std::int32_t TrackStart(const DiscPlan& plan, int index) {
    const Layout layout = MakeLayout(plan);
    if (index < 0 || static_cast<std::size_t>(index) >= layout.starts.size())
        throw std::out_of_range("no track " + std::to_string(index));
    return layout.starts[static_cast<std::size_t>(index)];
}

std::int32_t TotalSectors(const DiscPlan& plan) {
    return MakeLayout(plan).starts.back();
}

std::string WriteCueBin(const std::string& folder, const std::string& baseName,
                        const DiscPlan& plan) {
    if (baseName.empty() || baseName.find_first_of("/\"\n\r") != std::string::npos)
        throw std::invalid_argument("\"" + baseName + "\" cannot name a disc image");
    const Layout layout = MakeLayout(plan);
    const std::string stem = (folder.empty() ? std::string(".") : folder) + "/" + baseName;

    WriteAudioFile(stem + Extension(plan.type), plan, 0, layout.starts.back(), plan.type);

    std::string sheet = "REM made by makedisc, seed " + std::to_string(plan.seed) + "\n";
    sheet += "FILE \"" + baseName + Extension(plan.type) + "\" " + Keyword(plan.type) + "\n";
    for (std::size_t t = 0; t + 1 < layout.starts.size(); ++t) {
        char header[48];
        std::snprintf(header, sizeof header, "  TRACK %02zu AUDIO\n", t + 1);
        sheet += header;
        if (t == 0 && plan.pregap)
            sheet += "    INDEX 00 " + Msf(0) + "\n";
        sheet += "    INDEX 01 " + Msf(layout.starts[t]) + "\n";
    }
    OutFile cue(stem + ".cue");
    cue.Write(reinterpret_cast<const unsigned char*>(sheet.data()), sheet.size());
    cue.Close();
    return stem + ".cue";
}

std::string WriteWindowsRip(const std::string& folder, const std::string& baseName,
                            const DiscPlan& plan, bool dataTrack) {
    if (baseName.empty() || baseName.find_first_of("/\\\"\n\r") != std::string::npos)
        throw std::invalid_argument("\"" + baseName + "\" cannot name a disc image");
    if (plan.type == FileType::Binary || plan.type == FileType::Motorola)
        throw std::invalid_argument("a Windows ripper writes sound files, not raw audio");
    const Layout layout = MakeLayout(plan);
    const std::size_t tracks = plan.trackSectors.size();
    if (dataTrack && tracks == kMaxTracks)
        throw std::invalid_argument("no room for a data track after 99 tracks");
    const std::string base = (folder.empty() ? std::string(".") : folder) + "/" + baseName;
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    if (ec)
        throw std::runtime_error("cannot create " + base + ": " + ec.message());

    // File t holds the disc from track t's start (the pregap, for the
    // first) to the next track's, so the next track's gap ends it.
    std::string sheet = "REM made by makedisc, seed " + std::to_string(plan.seed) + "\r\n";
    sheet += "PERFORMER \"makedisc\"\r\nTITLE \"" + baseName + "\"\r\n";
    for (std::size_t t = 0; t < tracks; ++t) {
        const std::string n = std::to_string(t + 1);
        const std::string number = (t < 9 ? "0" : "") + n;
        const std::int32_t first = t == 0 ? 0 : layout.starts[t];
        WriteAudioFile(base + "/" + number + " - track " + n + Extension(plan.type), plan, first,
                       layout.starts[t + 1] - first, plan.type);
        const std::string file =
            "FILE \"" + baseName + "\\" + number + " - Track " + n + ".wav\" WAVE\r\n";
        if (t == 0)
            sheet += file;
        sheet += "  TRACK " + number + " AUDIO\r\n    TITLE \"Track " + n + "\"\r\n";
        if (t == 0 && plan.pregap)
            sheet += "    INDEX 00 " + Msf(0) + "\r\n";
        if (t > 0) {
            const std::int32_t previous = t == 1 ? 0 : layout.starts[t - 1];
            const std::int32_t gap =
                std::min(kPregapSectors, layout.starts[t] - layout.starts[t - 1] - 1);
            sheet += "    INDEX 00 " + Msf(layout.starts[t] - gap - previous) + "\r\n" + file;
        }
        sheet += "    INDEX 01 " + Msf(layout.starts[t] - first) + "\r\n";
    }
    if (dataTrack) {
        const std::int32_t lastFile =
            layout.starts[tracks] - (tracks == 1 ? 0 : layout.starts[tracks - 1]);
        sheet += "  TRACK " + std::string(tracks < 9 ? "0" : "") + std::to_string(tracks + 1) +
                 " MODE1/2352\r\n    INDEX 00 " + Msf(lastFile) + "\r\n";
    }
    OutFile cue(base + ".cue");
    cue.Write(reinterpret_cast<const unsigned char*>(sheet.data()), sheet.size());
    cue.Close();
    return base + ".cue";
}

void WriteAudioFile(const std::string& path, const DiscPlan& plan, std::int32_t first,
                    std::int32_t count, FileType type, std::int32_t cutFrames, SoundForm form) {
    const Layout layout = MakeLayout(plan);
    if (first < 0 || count < 0 || count > layout.starts.back() - first || cutFrames < 0 ||
        std::int64_t{cutFrames} > std::int64_t{count} * kFramesPerSector)
        throw std::out_of_range("sectors " + std::to_string(first) + " + " + std::to_string(count) +
                                " are not on the disc");
    if (form.channels < 1 || form.channels > 2 ||
        (form.bits != 8 && form.bits != 16 && form.bits != 24))
        throw std::invalid_argument("no such sound form");
    AudioSink sink(path, type, form);
    constexpr std::int32_t kBlock = 1024; // sectors per write: 2.4 MB
    std::vector<unsigned char> buffer(static_cast<std::size_t>(kBlock) * kSectorBytes);
    std::int64_t framesLeft = std::int64_t{count} * kFramesPerSector - cutFrames;
    for (std::int32_t at = first; at < first + count && framesLeft > 0; at += kBlock) {
        const std::int32_t sectors = std::min(kBlock, first + count - at);
        Render(plan, layout, at, sectors, buffer.data());
        const std::int64_t frames =
            std::min<std::int64_t>(framesLeft, std::int64_t{sectors} * kFramesPerSector);
        sink.Write(buffer.data(), frames);
        framesLeft -= frames;
    }
    sink.Close();
}

void FillSector(const DiscPlan& plan, std::int32_t sector, unsigned char out[kSectorBytes]) {
    const Layout layout = MakeLayout(plan);
    if (sector < 0 || sector >= layout.starts.back())
        throw std::out_of_range("sector " + std::to_string(sector) + " is not on the disc");
    Render(plan, layout, sector, 1, out);
}

} // namespace discmaker
